#include "ui/main_window.h"

#include <commctrl.h>

#include "res/resource.h"
#include "res/version.h"
#include "ui/twips.h"

namespace vexlo::ui {
namespace {

constexpr wchar_t kClassName[] = L"vexloMain";
constexpr wchar_t kCaption[] = L"" VEXLO_NAME " v" VEXLO_VERSION_TEXT;
// "手前に表示" (keep in front) and "Viewerを起動" (start the viewer).
constexpr wchar_t kTopCaption[] = L"\u624B\u524D\u306B\u8868\u793A";
constexpr wchar_t kViewCaption[] = L"Viewer\u3092\u8D77\u52D5";

// A fixed single frame with a title bar and a close box, nothing to size,
// minimize or maximize.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// Design-time geometry in twips: the client size, then left, top, width
// and height of each check box.
constexpr SIZE kClientTwips = {1920, 1635};
constexpr TwipsBox kTopTwips = {30, 1170, 1215, 195};
constexpr TwipsBox kViewTwips = {30, 1410, 1335, 195};

HICON LoadProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_VEXLO), IMAGE_ICON,
                                           ::GetSystemMetrics(widthMetric), ::GetSystemMetrics(heightMetric),
                                           LR_SHARED));
}

}  // namespace

MainWindow::~MainWindow() {
    // Teardown order: unsubclass the controls, keep the window procedure
    // from reaching this object, then destroy.
    if (!hwnd_) return;
    if (chkTOP_) ::RemoveWindowSubclass(chkTOP_, &ControlProc, IDC_CHKTOP);
    if (chkVIEW_) ::RemoveWindowSubclass(chkVIEW_, &ControlProc, IDC_CHKVIEW);
    ::SetWindowLongPtrW(hwnd_.get(), GWLP_USERDATA, 0);
    hwnd_.reset();
}

bool MainWindow::Create(HINSTANCE instance) {
    static bool const registered = [instance] {
        // Themed check boxes come from Common Controls 6 (see the manifest).
        INITCOMMONCONTROLSEX const controls = {sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &MainWindow::WndProc;
        wc.hInstance = instance;
        wc.hIcon = LoadProgramIcon(instance, SM_CXICON, SM_CYICON);
        wc.hIconSm = LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
        wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
        wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc) != 0;
    }();
    if (!registered || hwnd_) return false;

    TwipsPerPixel const tpp = ScreenTwipsPerPixel();
    RECT frame = {0, 0, TwipsToPixels(kClientTwips.cx, tpp.x), TwipsToPixels(kClientTwips.cy, tpp.y)};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    // The start-up places the window; until then the system's default does.
    HWND const hwnd = ::CreateWindowExW(kExStyle, kClassName, kCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                        instance, this);
    if (!hwnd) return false;
    Form_Load();
    return true;
}

LRESULT CALLBACK MainWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto const* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->hwnd_.reset(hwnd);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the window system.
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND const hwnd = hwnd_.get();
    switch (msg) {
    case WM_CREATE:
        Form_Initialize(reinterpret_cast<const CREATESTRUCTW*>(lParam)->hInstance);
        return 0;
    case WM_PAINT:
        Form_Paint();
        return 0;
    case WM_PRINTCLIENT:
        Form_PrintClient(reinterpret_cast<HDC>(wParam), lParam);
        return 0;
    case WM_CHAR: {
        int KeyAscii = static_cast<int>(wParam);
        Form_KeyPress(KeyAscii);
        return 0;
    }
    case WM_LBUTTONUP:
        Form_Click();
        return 0;
    case WM_LBUTTONDBLCLK:
        Form_DblClick();
        return 0;
    case WM_CLOSE: {
        int Cancel = 0;
        Form_Unload(Cancel);
        if (Cancel == 0) {
            ::DestroyWindow(hwnd);
            ::PostQuitMessage(0);
        }
        return 0;
    }
    case WM_NCDESTROY:
        // The window is gone; make sure nobody destroys it again.
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_.release();
        chkTOP_ = chkVIEW_ = nullptr;
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    default:
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindow::ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self) {
    if (msg == WM_CHAR) {
        // Key preview: the window sees the key first and may swallow it
        // by setting it to 0.
        int KeyAscii = static_cast<int>(wParam);
        try {
            reinterpret_cast<MainWindow*>(self)->Form_KeyPress(KeyAscii);
        } catch (...) {
        }
        if (KeyAscii == 0) return 0;
        wParam = static_cast<WPARAM>(KeyAscii);
    } else if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, &ControlProc, id);
    }
    return ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

void MainWindow::Form_Initialize(HINSTANCE instance) {
    // Design time: the controls in their creation (and tab) order, and
    // the five pictures that imgINFO holds.
    chkTOP_ = CreateCheckBox(instance, kTopCaption, IDC_CHKTOP,
                             kTopTwips);
    chkVIEW_ = CreateCheckBox(instance, kViewCaption, IDC_CHKVIEW,
                              kViewTwips);
    if (chkTOP_) ::SendMessageW(chkTOP_, BM_SETCHECK, BST_CHECKED, 0);
    for (int n = 0; n < kPictureCount; ++n) {
        imgINFO_[static_cast<std::size_t>(n)] = Picture::FromResource(instance, IDG_INFO0 + n);
    }
}

HWND MainWindow::CreateCheckBox(HINSTANCE instance, const wchar_t* caption, int id, const TwipsBox& twips) {
    TwipsPerPixel const tpp = ScreenTwipsPerPixel();
    HWND const box = ::CreateWindowExW(
        0, WC_BUTTONW, caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
        TwipsToPixels(twips.left, tpp.x), TwipsToPixels(twips.top, tpp.y), TwipsToPixels(twips.width, tpp.x),
        TwipsToPixels(twips.height, tpp.y), hwnd_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        instance, nullptr);
    if (!box) return nullptr;
    // The platform's own dialog font until start-up chooses one.
    ::SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    ::SetWindowSubclass(box, &ControlProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
    return box;
}

void MainWindow::Form_Load() {
    SetPicture(kIdlePicture);
}

const Picture* MainWindow::StatusPicture(int n) const {
    if (n < 0 || n >= kPictureCount) return nullptr;
    auto const& picture = imgINFO_[static_cast<std::size_t>(n)];
    return picture ? &*picture : nullptr;
}

void MainWindow::SetPicture(int n) {
    const Picture* const picture = StatusPicture(n);
    if (!picture) return;
    picture_ = picture;
    if (hwnd_) ::InvalidateRect(hwnd_.get(), nullptr, TRUE);
}

void MainWindow::EraseBackground(HDC hdc) const {
    RECT client = {};
    ::GetClientRect(hwnd_.get(), &client);
    ::FillRect(hdc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
}

void MainWindow::Paint(HDC hdc) const {
    // The picture at natural size in the top left corner; its transparent
    // pixels leave the background that is already there.
    if (picture_) picture_->Draw(hdc, 0, 0);
}

void MainWindow::Form_Paint() {
    win32::PaintScope const paint(hwnd_.get());
    Paint(paint.get());
}

void MainWindow::Form_PrintClient(HDC hdc, LPARAM flags) {
    if (flags & PRF_ERASEBKGND) EraseBackground(hdc);
    Paint(hdc);
}

void MainWindow::Form_KeyPress(int& KeyAscii) {
    if (hooks.keyPress) hooks.keyPress(KeyAscii);
}

void MainWindow::Form_Click() {
    if (hooks.click) hooks.click();
}

void MainWindow::Form_DblClick() {
    if (hooks.dblClick) hooks.dblClick();
}

void MainWindow::Form_Unload(int& Cancel) {
    // Closing is never refused.
    (void)Cancel;
}

}  // namespace vexlo::ui
