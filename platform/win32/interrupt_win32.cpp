#include <windows.h>

#include "platform/interrupt.h"

namespace vexlo::platform {
namespace {

// What a POSIX shell reports for SIGINT; Windows itself has no convention
// but STATUS_CONTROL_C_EXIT, which scripts cannot tell from a crash.
constexpr UINT kInterruptedStatus = 130;

// Runs on a thread of its own while the program goes on: the files being
// written are open with FILE_SHARE_DELETE, so they go when the process ends.
BOOL WINAPI OnControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: detail::RemoveListedFiles(); ::ExitProcess(kInterruptedStatus);
        default: return FALSE;
    }
}

}  // namespace

void detail::RemoveFileNow(const Char* path) { ::DeleteFileW(path); }

void RemoveOnInterrupt() { ::SetConsoleCtrlHandler(OnControl, TRUE); }

}  // namespace vexlo::platform
