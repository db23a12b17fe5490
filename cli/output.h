// Everything vexlo-cli writes passes through one Output: results on standard
// output; failures, progress, the summary and messages on standard error.
// A write that fails (a full disk, a closed pipe) is remembered: the run
// stops after the file in hand and ends with one line saying why.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vexlo::cli {

enum class Stream { Out, Err };

// A console is written as UTF-16 through its own call, so no code page is
// set (and left behind) and characters are never cut; a file or a pipe
// gets UTF-8 bytes. `is` tells a console from the rest; `write` sends text
// to one: 0, or the system's error code.
struct Console {
    std::function<bool(std::FILE*)> is;
    std::function<platform::OsError(std::FILE*, std::u16string_view)> write;
};

// The system's console on Windows; none elsewhere.
Console SystemConsole();

// UTF-8 text as UTF-16, U+FFFD for each byte outside a valid sequence.
std::u16string Utf16Of(std::string_view utf8);

class Output {
public:
    Output(std::FILE* out, std::FILE* err, const Console& console = SystemConsole());
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // The text as it is, sent at once: a message is never held back behind
    // a long file, and a failure shows while the run can still stop. After a
    // failure nothing more is written.
    void Write(Stream stream, std::string_view text);
    // Sends what the stream holds.
    void Flush(Stream stream);

    // A write or flush failed; the run is to stop.
    bool Failed() const { return !failure_.empty(); }

    // The exit status of a run that would end with `status`: once a write
    // failed, 1 after "vexlo-cli: write error: REASON" on standard error
    // (unless standard error is what failed).
    int Finish(int status);

private:
    struct Sink {
        std::FILE* file;
        bool console;
    };

    Sink& SinkOf(Stream stream) { return stream == Stream::Out ? out_ : err_; }
    // Records the first failure: `reason` for the line, whether stderr failed.
    void Fail(Stream stream, std::string reason);

    Sink out_;
    Sink err_;
    std::function<platform::OsError(std::FILE*, std::u16string_view)> writeConsole_;
    std::string failure_;
    bool errFailed_ = false;
};

}  // namespace vexlo::cli
