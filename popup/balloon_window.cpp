#include "popup/balloon_window.h"

#include "app/app_state.h"
#include "res/resource.h"
#include "win/dialog_keys.h"

namespace vexlo::popup {
namespace {

using win::RoundHalfEven;
using win::TwipsToPixels;

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

bool BalloonWindow::Load(HINSTANCE instance, HWND mainWindow) {
    if (Hwnd()) return false;
    WNDCLASSEXW wc = {};
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;

    mainWindow_ = mainWindow;
    picture_ = win::Picture::FromResource(instance, IDG_BALLOON);
    // Read once: a hop converts 21 positions and should not ask the screen each time.
    screen_ = win::ScreenTwipsPerPixel();
    const DWORD style = WS_POPUP;
    RECT frame = {0, 0, TwipsToPixels(kClientTwips.cx, screen_.x), TwipsToPixels(kClientTwips.cy, screen_.y)};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    // Not owned by the main window, so the main window's keep-in-front box
    // can take it in and out of the topmost band on its own (an owner with
    // a topmost owned window does not become topmost again under Wine); a
    // tool window, so it has no task-bar button either way.
    if (!Create(wc, WS_EX_TOOLWINDOW, L"", style, 0, 0, frame.right - frame.left, frame.bottom - frame.top)) {
        return false;
    }
    Form_Load();
    return true;
}

LRESULT BalloonWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CHAR) {
        int KeyAscii = static_cast<int>(wParam);
        Form_KeyPress(KeyAscii);
        return 0;
    }
    return ::DefWindowProcW(Hwnd(), msg, wParam, lParam);
}

void BalloonWindow::Form_Load() {
    HopTable = kHopSteps;

    TwipsX = RoundHalfEven(screen_.x);
    TwipsY = RoundHalfEven(screen_.y);

    win32::UniqueGdi<HRGN> region(::CreatePolygonRgn(kOutline.data(), static_cast<int>(kOutline.size()), ALTERNATE));
    if (region && ::SetWindowRgn(Hwnd(), region.get(), TRUE)) {
        region.release();  // the system owns the region now and deletes it
    }

    ::SetWindowPos(Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void BalloonWindow::WndPopUp() {
    if (!Hwnd()) return;
    // Invisible to users; lets a test that watches the debug output count hops.
    ::OutputDebugStringA("vexlo: hop\n");
    RECT main = {};
    ::GetWindowRect(mainWindow_, &main);
    const double mainLeft = main.left * screen_.x;
    const double mainTop = main.top * screen_.y;

    const int BaseLeft = RoundHalfEven(mainLeft + kOffsetRight * TwipsX);
    const int BaseTop = RoundHalfEven(mainTop + kOffsetDown * TwipsY);
    MoveTo(BaseLeft, BaseTop);
    ::ShowWindow(Hwnd(), SW_SHOW);

    int offset = 0;
    for (int i = 0; i < kSteps; ++i) {
        offset += HopTable[static_cast<std::size_t>(i)] * TwipsY;
        // Always from BaseTop, never from where the balloon stands now.
        MoveTo(BaseLeft, BaseTop + offset);
        // The program is ending, or the handlers took the window with them.
        if (!PumpEvents() || !Hwnd()) return;
        if (hooks.stepDone) hooks.stepDone(i + 1);
        if (hooks.sleep) hooks.sleep(kStepMilliseconds);
    }

    if (app::StopFlag && hooks.beep) hooks.beep();
    // Hand the activation back to the main window if the hop took it.
    const bool wasActive = ::GetActiveWindow() == Hwnd();
    ::ShowWindow(Hwnd(), SW_HIDE);
    if (wasActive && mainWindow_) ::SetActiveWindow(mainWindow_);
}

void BalloonWindow::MoveTo(int leftTwips, int topTwips) {
    ::SetWindowPos(Hwnd(), nullptr, TwipsToPixels(leftTwips, screen_.x), TwipsToPixels(topTwips, screen_.y), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool BalloonWindow::PumpEvents() const {
    MSG msg = {};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        // As in the program's own loop: Tab is the main window's, not a key press.
        if (win::MoveFocusOnTab(mainWindow_, msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

void BalloonWindow::Paint(HDC hdc) const {
    if (picture_) picture_->Draw(hdc, 0, 0);
}

void BalloonWindow::Form_KeyPress(int& KeyAscii) {
    (void)KeyAscii;  // any character asks for the stop
    app::StopFlag = true;
}

}  // namespace vexlo::popup
