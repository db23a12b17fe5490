// Program entry: the main window with the idle picture, the balloon loaded
// and hidden, and the message loop until the window is closed.
#include <windows.h>

#include "popup/balloon_window.h"
#include "ui/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    vexlo::ui::MainWindow frmMAIN;
    if (!frmMAIN.Create(instance)) return 1;
    vexlo::popup::BalloonWindow frmIMG;
    frmIMG.Load(instance, frmMAIN.Hwnd());
    ::ShowWindow(frmMAIN.Hwnd(), show);

    MSG msg = {};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Tab moves between the check boxes as in a dialog. Only Tab: the
        // dialog manager would swallow Enter and Escape, which are key
        // presses for the window like any other.
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && frmMAIN.Hwnd() &&
            ::IsDialogMessageW(frmMAIN.Hwnd(), &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
