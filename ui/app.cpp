// Program entry: one instance only, then the main window (which loads the
// balloon and starts the command-line batch from its start timer), and the
// message loop until the window is closed.
#include <windows.h>

#include "ui/main_window.h"
#include "ui/single_instance.h"
#include "win/com_ptr.h"
#include "win/dialog_keys.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    // A second start ends here, silently, before any window or argument.
    const vexlo::ui::SingleInstance single;
    if (!single.IsFirst()) return 0;

    const vexlo::win::OleSession ole;
    vexlo::ui::MainWindow frmMAIN;
    if (!frmMAIN.Create(instance)) return 1;
    ::ShowWindow(frmMAIN.Hwnd(), show);

    MSG msg = {};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (vexlo::win::MoveFocusOnTab(frmMAIN.Hwnd(), msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
