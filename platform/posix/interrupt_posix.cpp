#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/interrupt.h"

namespace vexlo::platform {
namespace {

// SA_RESETHAND has restored the default action by now, and the signal is
// blocked until this returns: raised again, it ends the process as it
// would have without us.
extern "C" void OnInterrupt(int signal) {
    const int saved = errno;
    detail::RemoveListedFiles();
    ::raise(signal);
    errno = saved;
}

}  // namespace

void detail::RemoveFileNow(const Char* path) { ::unlink(path); }

void RemoveOnInterrupt() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction previous {};
        // A signal ignored by whoever started us (nohup, a shell's trap '' PIPE) stays ignored.
        if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigfillset(&action.sa_mask);  // no second interruption while the first cleans up
        action.sa_flags = static_cast<int>(SA_RESETHAND);
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace vexlo::platform
