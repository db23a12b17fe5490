#include "cli/output.h"

#include <cerrno>
#include <cstring>

#include "engine/utf8.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#endif

namespace vexlo::cli {

#ifdef _WIN32
namespace {

HANDLE HandleOf(std::FILE* file) { return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file))); }

}  // namespace

Console SystemConsole() {
    return {[](std::FILE* file) {
                DWORD mode = 0;
                return ::GetConsoleMode(HandleOf(file), &mode) != 0;
            },
            [](std::FILE* file, std::u16string_view text) -> platform::OsError {
                const HANDLE console = HandleOf(file);
                while (!text.empty()) {
                    // Well below the console's own bound on one call's buffer.
                    const DWORD chunk = text.size() > 8192 ? 8192 : static_cast<DWORD>(text.size());
                    DWORD written = 0;
                    if (!::WriteConsoleW(console, text.data(), chunk, &written, nullptr)) return ::GetLastError();
                    if (written == 0) return ERROR_WRITE_FAULT;
                    text.remove_prefix(written);
                }
                return 0;
            }};
}
#else
Console SystemConsole() { return {}; }
#endif

std::u16string Utf16Of(std::string_view utf8) {
    std::u16string units;
    units.reserve(utf8.size());
    while (!utf8.empty()) {
        const std::size_t length = utf8::SequenceLength(utf8);
        if (length == 0) {
            units.push_back(u'\uFFFD');
            utf8.remove_prefix(1);
            continue;
        }
        const char32_t c = utf8::CodePoint(utf8, length);
        if (c >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(c));
        }
        utf8.remove_prefix(length);
    }
    return units;
}

Output::Output(std::FILE* out, std::FILE* err, const Console& console)
    : out_{out, console.is && console.write && console.is(out)},
      err_{err, console.is && console.write && console.is(err)},
      writeConsole_(console.write) {}

void Output::Write(Stream stream, std::string_view text) {
    if (Failed()) return;
    Sink& sink = SinkOf(stream);
    if (sink.console) {
        const platform::OsError error = writeConsole_(sink.file, Utf16Of(text));
        if (error != 0) Fail(stream, platform::ErrorText(error));
        return;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), sink.file) != text.size() || std::fflush(sink.file) != 0) {
        Fail(stream, std::strerror(errno != 0 ? errno : EIO));
    }
}

void Output::Flush(Stream stream) {
    Sink& sink = SinkOf(stream);
    if (Failed() || sink.console) return;
    errno = 0;
    if (std::fflush(sink.file) != 0 || std::ferror(sink.file) != 0)
        Fail(stream, std::strerror(errno != 0 ? errno : EIO));
}

void Output::Fail(Stream stream, std::string reason) {
    failure_ = reason.empty() ? std::string("unknown error") : std::move(reason);
    errFailed_ = stream == Stream::Err;
}

int Output::Finish(int status) {
    Flush(Stream::Out);
    Flush(Stream::Err);
    if (!Failed()) return status;
    if (!errFailed_) {
        const std::string line = "vexlo-cli: write error: " + failure_ + "\n";
        Sink& sink = err_;
        if (sink.console) {
            writeConsole_(sink.file, Utf16Of(line));
        } else {
            std::fwrite(line.data(), 1, line.size(), sink.file);
            std::fflush(sink.file);
        }
    }
    return 1;
}

}  // namespace vexlo::cli
