// What an interrupted console run leaves behind: nothing. Files that are
// ours to remove (an output being written, a picture claimed before its
// partner) are listed in a small table set aside before any signal can
// come; the handlers vexlo-cli installs remove them and end the process as
// the interruption would have.
#pragma once

#include "platform/path.h"

namespace vexlo::platform {

// POSIX: SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the listed files, then
// the signal is raised again with its default action (status 128 + n); a
// signal ignored when the program started stays ignored. Windows: Ctrl-C,
// Ctrl-Break, closing the console, logoff and shutdown remove them and end
// the process with status 130. Only the console program calls this: the
// window program has no console and its own way to be closed.
void RemoveOnInterrupt();

// One entry of the table: Arm() lists a path, Disarm() takes it off again.
// Arming only copies into the table, so it is safe to do while writing.
class InterruptCleanup {
public:
    InterruptCleanup() = default;
    InterruptCleanup(const InterruptCleanup&) = delete;
    InterruptCleanup& operator=(const InterruptCleanup&) = delete;
    InterruptCleanup(InterruptCleanup&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
    InterruptCleanup& operator=(InterruptCleanup&& other) noexcept {
        if (this != &other) {
            Disarm();
            slot_ = other.slot_;
            other.slot_ = -1;
        }
        return *this;
    }
    ~InterruptCleanup() { Disarm(); }

    // False when the table is full or the path too long for it: the file is
    // then left to the ordinary cleanup only.
    bool Arm(const Path& path);
    void Disarm();

private:
    int slot_ = -1;
};

namespace detail {
// Removes every listed file; for the handlers: lock-free, no allocation.
void RemoveListedFiles();
// Removes one file: unlink() / DeleteFileW(), both safe in a handler.
void RemoveFileNow(const Char* path);
}  // namespace detail

}  // namespace vexlo::platform
