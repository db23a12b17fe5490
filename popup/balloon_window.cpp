#include "popup/balloon_window.h"

#include "res/resource.h"
#include "app/app_state.h"
#include "win/dialog_keys.h"
#include "win/twips.h"

namespace vexlo::popup {
namespace {

constexpr wchar_t kClassName[] = L"vexloBalloon";

// Client area at design time, in twips.
constexpr SIZE kClientTwips = {1620, 510};

// Vertical step of the hop for each animation step, in pixels (negative
// is up). They add up to 0, so the balloon ends where it started.
constexpr std::array<int, BalloonWindow::kSteps> kHopSteps = {-3, -3, -3, -2, -2, -1, -1, -1, -1, -1,
                                                              1,  1,  1,  1,  1,  2,  2,  3,  3,  3};

// The outline of the sheet and its pencil, in window pixels.
constexpr std::array<POINT, 10> kOutline = {
    {{0, 0}, {18, 0}, {23, 5}, {24, 6}, {29, 1}, {32, 1}, {32, 3}, {24, 11}, {24, 32}, {0, 32}}};

// Where the hop starts, in pixels from the main window's outer top left.
constexpr int kOffsetRight = 53;
constexpr int kOffsetDown = 28;
constexpr DWORD kStepMilliseconds = 25;

}  // namespace

BalloonWindow::~BalloonWindow() {
    if (!hwnd_) return;
    ::SetWindowLongPtrW(hwnd_.get(), GWLP_USERDATA, 0);
    hwnd_.reset();
}

bool BalloonWindow::Load(HINSTANCE instance, HWND mainWindow) {
    static bool const registered = [instance] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &ui::WindowProcedure<BalloonWindow>;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
        wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc) != 0;
    }();
    if (!registered || hwnd_) return false;

    mainWindow_ = mainWindow;
    picture_ = ui::Picture::FromResource(instance, IDG_BALLOON);
    // Read once: a hop converts 21 positions and should not ask the screen each time.
    screen_ = ui::ScreenTwipsPerPixel();
    DWORD const style = WS_POPUP;
    RECT frame = {0, 0, ui::TwipsToPixels(kClientTwips.cx, screen_.x), ui::TwipsToPixels(kClientTwips.cy, screen_.y)};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    // Not owned by the main window, so the main window's keep-in-front box
    // can take it in and out of the topmost band on its own (an owner with
    // a topmost owned window does not become topmost again under Wine); a
    // tool window, so it has no task-bar button either way.
    HWND const hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", style, 0, 0, frame.right - frame.left,
                                        frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (!hwnd) return false;
    Form_Load();
    return true;
}

LRESULT BalloonWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND const hwnd = hwnd_.get();
    switch (msg) {
    case WM_PAINT:
        Form_Paint();
        return 0;
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_CHAR: {
        int KeyAscii = static_cast<int>(wParam);
        Form_KeyPress(KeyAscii);
        return 0;
    }
    case WM_NCDESTROY:
        // The window is gone; make sure nobody destroys it again.
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_.release();
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    default:
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

void BalloonWindow::Form_Load() {
    HopTable = kHopSteps;

    TwipsX = ui::RoundHalfEven(screen_.x);
    TwipsY = ui::RoundHalfEven(screen_.y);

    win32::UniqueGdi<HRGN> region(::CreatePolygonRgn(kOutline.data(), static_cast<int>(kOutline.size()), ALTERNATE));
    if (region && ::SetWindowRgn(hwnd_.get(), region.get(), TRUE)) {
        region.release();  // the system owns the region now and deletes it
    }

    ::SetWindowPos(hwnd_.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void BalloonWindow::WndPopUp() {
    if (!hwnd_) return;
    // Invisible to users; lets a test that watches the debug output count hops.
    ::OutputDebugStringA("vexlo: hop\n");
    RECT main = {};
    ::GetWindowRect(mainWindow_, &main);
    double const mainLeft = main.left * screen_.x;
    double const mainTop = main.top * screen_.y;

    int const BaseLeft = ui::RoundHalfEven(mainLeft + kOffsetRight * TwipsX);
    int const BaseTop = ui::RoundHalfEven(mainTop + kOffsetDown * TwipsY);
    MoveTo(BaseLeft, BaseTop);
    ::ShowWindow(hwnd_.get(), SW_SHOW);

    int offset = 0;
    for (int i = 0; i < kSteps; ++i) {
        offset += HopTable[static_cast<std::size_t>(i)] * TwipsY;
        // Always from BaseTop, never from where the balloon stands now.
        MoveTo(BaseLeft, BaseTop + offset);
        // The program is ending, or the handlers took the window with them.
        if (!PumpEvents() || !hwnd_) return;
        if (hooks.stepDone) hooks.stepDone(i + 1);
        if (hooks.sleep) hooks.sleep(kStepMilliseconds);
    }

    if (app::StopFlag && hooks.beep) hooks.beep();
    // Hand the activation back to the main window if the hop took it.
    bool const wasActive = ::GetActiveWindow() == hwnd_.get();
    ::ShowWindow(hwnd_.get(), SW_HIDE);
    if (wasActive && mainWindow_) ::SetActiveWindow(mainWindow_);
}

void BalloonWindow::MoveTo(int leftTwips, int topTwips) {
    ::SetWindowPos(hwnd_.get(), nullptr, ui::TwipsToPixels(leftTwips, screen_.x), ui::TwipsToPixels(topTwips, screen_.y),
                   0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool BalloonWindow::PumpEvents() const {
    MSG msg = {};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        // As in the program's own loop: Tab is the main window's, not a key press.
        if (ui::MoveFocusOnTab(mainWindow_, msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

void BalloonWindow::Paint(HDC hdc) const {
    if (picture_) picture_->Draw(hdc, 0, 0);
}

void BalloonWindow::Form_Paint() {
    win32::PaintScope const paint(hwnd_.get());
    Paint(paint.get());
}

void BalloonWindow::Form_KeyPress(int& KeyAscii) {
    (void)KeyAscii;  // any character asks for the stop
    app::StopFlag = true;
}

}  // namespace vexlo::popup
