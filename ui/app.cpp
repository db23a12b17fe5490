// Program entry: one instance only, then the main window (which loads the
// balloon and starts the command-line batch from its start timer), and the
// message loop until the window is closed.
#include <windows.h>

#include "ui/com_ptr.h"
#include "ui/main_window.h"
#include "ui/single_instance.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    // A second start ends here, silently, before any window or argument.
    vexlo::ui::SingleInstance const single;
    if (!single.IsFirst()) return 0;

    vexlo::win32::OleSession const ole;
    vexlo::ui::MainWindow frmMAIN;
    if (!frmMAIN.Create(instance)) return 1;
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
