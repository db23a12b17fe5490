#include "cli/progress.h"

#include <string>

#include "cli/report_lines.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/tick_count.h"
#else
#include <unistd.h>
#endif

namespace vexlo::cli {
namespace {

// Monotonic milliseconds. On Windows from the performance counter, which the
// programs import already: std::chrono's clocks would bring in the threading
// library's clock functions and their imports.
std::uint64_t Milliseconds() {
#ifdef _WIN32
    LARGE_INTEGER count = {}, frequency = {};
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return win32::CounterToMilliseconds(static_cast<std::uint64_t>(count.QuadPart),
                                        static_cast<std::uint64_t>(frequency.QuadPart));
#else
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
#endif
}

}  // namespace

bool StderrIsTerminal() {
#ifdef _WIN32
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

Progress::Progress(Output& output, bool enabled, std::size_t total)
    : output_(output), enabled_(enabled), total_(total), start_(Milliseconds()) {}

void Progress::Update(std::size_t done, std::uint64_t bytes) {
    if (!enabled_) return;
    const std::uint64_t now = Milliseconds();
    const auto since = [now](std::uint64_t then, std::chrono::milliseconds span) {
        return now - then >= static_cast<std::uint64_t>(span.count());
    };
    if (!since(start_, kProgressDelay) || (shown_ > 0 && !since(lastDraw_, kProgressInterval))) return;
    lastDraw_ = now;
    std::string line = "\rvexlo-cli: ";
    line += WithSeparators(done) + " of " + WithSeparators(total_);
    line += total_ == 1 ? " file, " : " files, ";
    line += WithSeparators(bytes) + " bytes";
    const std::size_t length = line.size() - 1;
    // Spaces over the rest of a longer previous line: no terminal escape codes needed.
    if (length < shown_) line.append(shown_ - length, ' ');
    output_.Write(Stream::Err, line);
    shown_ = length;
}

void Progress::Clear() {
    if (shown_ == 0) return;
    std::string blank(shown_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    output_.Write(Stream::Err, blank);
    shown_ = 0;
}

}  // namespace vexlo::cli
