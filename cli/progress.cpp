#include "cli/progress.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vexlo::cli {

bool StderrIsTerminal() {
#ifdef _WIN32
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

std::string WithSeparators(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

Progress::Progress(bool enabled, std::size_t total) : enabled_(enabled), total_(total) {}

void Progress::Update(std::size_t done, std::uint64_t bytes) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now - start_ < kProgressDelay || (shown_ > 0 && now - lastDraw_ < kProgressInterval)) return;
    lastDraw_ = now;
    std::string line = "vexlo-cli: " + WithSeparators(done) + " of " + WithSeparators(total_) +
                       (total_ == 1 ? " file, " : " files, ") + WithSeparators(bytes) + " bytes";
    const std::size_t length = line.size();
    // Spaces over the rest of a longer previous line: no terminal escape codes needed.
    if (length < shown_) line.append(shown_ - length, ' ');
    std::fputs(("\r" + line).c_str(), stderr);
    std::fflush(stderr);
    shown_ = length;
}

void Progress::Clear() {
    if (shown_ == 0) return;
    std::fputs(("\r" + std::string(shown_, ' ') + "\r").c_str(), stderr);
    std::fflush(stderr);
    shown_ = 0;
}

}  // namespace vexlo::cli
