#include "ui/main_window.h"

#include <commctrl.h>

#include <utility>

#include "app/app_state.h"
#include "app/command_line.h"
#include "res/resource.h"
#include "version.h"

namespace vexlo::ui {
namespace {

using win::ScreenTwipsPerPixel;
using win::TwipsBox;
using win::TwipsPerPixel;
using win::TwipsToPixels;

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

// Start-up's choices: the top edge 45 pixels below the top of the screen,
// and the face "ＭＳ Ｐゴシック" at 9 points for the window and its controls.
constexpr int kTopPixels = 45;
constexpr wchar_t kFontFace[] = L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF";
constexpr int kFontPoints = 9;
constexpr UINT kStartMilliseconds = 250;
constexpr UINT kIdleMilliseconds = 5000;
// Keeps position and size. Without SWP_NOACTIVATE the call also activates
// the window: at start-up, as the program always did; on a click on the box
// the window is active already.
constexpr UINT kZOrderOnly = SWP_NOMOVE | SWP_NOSIZE;
// A drop, run once the drag source has returned.
constexpr UINT WM_APP_DROP = WM_APP + 1;

HICON LoadProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_VEXLO), IMAGE_ICON,
                                           ::GetSystemMetrics(widthMetric), ::GetSystemMetrics(heightMetric),
                                           LR_SHARED));
}

}  // namespace

MainWindow::MainWindow()
    : runner_(app::BatchHooks{
          .processFile =
              [this](const std::wstring& path) {
                  // chkVIEW is read for every file: a click during a hop counts from the next one.
                  const int value = chkVIEW_ ? static_cast<int>(::SendMessageW(chkVIEW_, BM_GETCHECK, 0, 0)) : 0;
                  return engine_.ProcessFile(path, ViewerSettings{value, Hwnd()});
              },
          .setPicture =
              [this](int n) {
                  SetPicture(n);
                  if (Hwnd()) ::UpdateWindow(Hwnd());
              },
          .popUp = [this] { frmIMG_.WndPopUp(); },
          .windowState =
              [this] {
                  if (::IsIconic(Hwnd())) return app::WindowState::Minimized;
                  if (::IsZoomed(Hwnd())) return app::WindowState::Maximized;
                  return app::WindowState::Normal;
              },
          .armIdleTimer = [this] { Arm(tmrIDLE_); },
      }),
      dropTarget_([this](const std::optional<std::vector<std::wstring>>& files) {
          pendingDrops_.push_back(files);
          ::PostMessageW(Hwnd(), WM_APP_DROP, 0, 0);
      }) {}

// The drop target and the subclass procedures are members: they go first.
MainWindow::~MainWindow() { Destroy(); }

bool MainWindow::Create(HINSTANCE instance) {
    // Themed check boxes come from Common Controls 6 (see the manifest).
    const INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSEXW wc = {};
    wc.style = CS_DBLCLKS;
    wc.hInstance = instance;
    wc.hIcon = LoadProgramIcon(instance, SM_CXICON, SM_CYICON);
    wc.hIconSm = LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;

    const TwipsPerPixel tpp = ScreenTwipsPerPixel();
    RECT frame = {0, 0, TwipsToPixels(kClientTwips.cx, tpp.x), TwipsToPixels(kClientTwips.cy, tpp.y)};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    // The start-up places the window; until then the system's default does.
    if (!Window::Create(wc, kExStyle, kCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                        frame.bottom - frame.top)) {
        return false;
    }
    Form_Load(instance);
    RegisterDropTarget(&dropTarget_);
    return true;
}

LRESULT MainWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE: Form_Initialize(reinterpret_cast<const CREATESTRUCTW*>(lParam)->hInstance); return 0;
        case WM_CHAR: {
            int KeyAscii = static_cast<int>(wParam);
            Form_KeyPress(KeyAscii);
            return 0;
        }
        case WM_LBUTTONUP: Form_Click(); return 0;
        case WM_LBUTTONDBLCLK: Form_DblClick(); return 0;
        case WM_SETFONT: windowFont_ = reinterpret_cast<HFONT>(wParam); return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(windowFont_);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CHKTOP && HIWORD(wParam) == BN_CLICKED) chkTOP_Click();
            return 0;
        case WM_TIMER:
            if (wParam == tmrSTART_.id) tmrSTART_Timer();
            if (wParam == tmrIDLE_.id) tmrIDLE_Timer();
            return 0;
        case WM_APP_DROP: RunPendingDrop(); return 0;
        case WM_CLOSE:
            Form_Unload();
            // Reached only where the program's end was replaced (tests): the
            // window goes, and the message loop with it.
            Destroy();
            ::PostQuitMessage(0);
            return 0;
        default: return ::DefWindowProcW(Hwnd(), msg, wParam, lParam);
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
    chkTOP_ = CreateCheckBox(instance, kTopCaption, IDC_CHKTOP, kTopTwips);
    chkVIEW_ = CreateCheckBox(instance, kViewCaption, IDC_CHKVIEW, kViewTwips);
    if (chkTOP_) ::SendMessageW(chkTOP_, BM_SETCHECK, BST_CHECKED, 0);
    for (int n = 0; n < kPictureCount; ++n) {
        imgINFO_[static_cast<std::size_t>(n)] = win::Picture::FromResource(instance, IDG_INFO0 + n);
    }
}

HWND MainWindow::CreateCheckBox(HINSTANCE instance, const wchar_t* caption, int id, const TwipsBox& twips) {
    const TwipsPerPixel tpp = ScreenTwipsPerPixel();
    const HWND box = ::CreateWindowExW(0, WC_BUTTONW, caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                                       TwipsToPixels(twips.left, tpp.x), TwipsToPixels(twips.top, tpp.y),
                                       TwipsToPixels(twips.width, tpp.x), TwipsToPixels(twips.height, tpp.y), Hwnd(),
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!box) return nullptr;
    // The platform's own dialog font until start-up chooses one.
    ::SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    Subclass(box, &ControlProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
    return box;
}

void MainWindow::Form_Load(HINSTANCE instance) {
    // Each step on its own: one that fails is skipped, the next still runs.
    const HWND hwnd = Hwnd();
    SetPicture(kIdlePicture);

    Disarm(tmrSTART_);
    tmrSTART_.Interval = kStartMilliseconds;
    Disarm(tmrIDLE_);
    tmrIDLE_.Interval = kIdleMilliseconds;

    // Right edge on the primary screen's right edge, size kept.
    RECT frame = {};
    if (::GetWindowRect(hwnd, &frame)) {
        ::SetWindowPos(hwnd, nullptr, ::GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left), kTopPixels, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // The window's own font and that of every control that has one.
    {
        LOGFONTW face = {};
        const win32::WindowDc screen(nullptr);
        face.lfHeight = -::MulDiv(kFontPoints, screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96, 72);
        face.lfWeight = FW_NORMAL;
        face.lfCharSet = DEFAULT_CHARSET;
        ::lstrcpynW(face.lfFaceName, kFontFace, LF_FACESIZE);
        font_.reset(::CreateFontIndirectW(&face));
    }
    if (font_) {
        const auto font = reinterpret_cast<WPARAM>(font_.get());
        ::SendMessageW(hwnd, WM_SETFONT, font, FALSE);
        for (const HWND control : {chkTOP_, chkVIEW_}) {
            if (control) ::SendMessageW(control, WM_SETFONT, font, TRUE);
        }
    }

    ::SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, kZOrderOnly);
    if (chkVIEW_) ::SendMessageW(chkVIEW_, BM_SETCHECK, BST_CHECKED, 0);
    Arm(tmrSTART_);
    frmIMG_.Load(instance, hwnd);
}

void MainWindow::chkTOP_Click() {
    // Ticked: in front of all others; unticked or greyed: not.
    const auto value = ::SendMessageW(chkTOP_, BM_GETCHECK, 0, 0);
    ::SetWindowPos(Hwnd(), value == BST_CHECKED ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, kZOrderOnly);
}

void MainWindow::tmrSTART_Timer() {
    Disarm(tmrSTART_);
    runner_.tmrSTART_Timer(app::ArgumentText(::GetCommandLineW()));
}

void MainWindow::tmrIDLE_Timer() {
    Disarm(tmrIDLE_);
    runner_.tmrIDLE_Timer();
}

// A drop is run from the window's queue rather than inside the drop
// notification, so the program the files came from (which waits for that
// notification) is not frozen for the whole batch. A drop arriving while a
// batch runs is still handed over at once, from the balloon's pump, and
// ignored there as busy.
void MainWindow::RunPendingDrop() {
    if (pendingDrops_.empty()) return;
    const std::optional<std::vector<std::wstring>> files = std::move(pendingDrops_.front());
    pendingDrops_.pop_front();
    runner_.Form_OLEDragDrop(files);
}

const win::Picture* MainWindow::StatusPicture(int n) const {
    if (n < 0 || n >= kPictureCount) return nullptr;
    const auto& picture = imgINFO_[static_cast<std::size_t>(n)];
    return picture ? &*picture : nullptr;
}

void MainWindow::SetPicture(int n) {
    const win::Picture* const picture = StatusPicture(n);
    if (!picture) return;
    picture_ = picture;
    if (Hwnd()) ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void MainWindow::Paint(HDC hdc) const {
    // The picture at natural size in the top left corner; its transparent
    // pixels leave the background that is already there.
    if (picture_) picture_->Draw(hdc, 0, 0);
}

// The stop gestures ask a running batch to stop after its current file,
// and do nothing else.
void MainWindow::Form_KeyPress(int& KeyAscii) {
    app::StopFlag = true;
    if (hooks.keyPress) hooks.keyPress(KeyAscii);
}

void MainWindow::Form_Click() {
    app::StopFlag = true;
    if (hooks.click) hooks.click();
}

void MainWindow::Form_DblClick() {
    app::StopFlag = true;
    if (hooks.dblClick) hooks.dblClick();
}

void MainWindow::Form_Unload() {
    // Closing ends the program at once, also from inside a hop in the
    // middle of a batch: nothing of the batch runs on.
    app::StopFlag = true;
    frmIMG_.Unload();
    if (hooks.endProgram) hooks.endProgram();
}

}  // namespace vexlo::ui
