#include "cli/options.h"

#include <charconv>
#include <optional>
#include <string_view>

namespace vexlo::cli {

const char* const kUsage =
    "usage: vexlo-cli [OPTION]... [--] FILE...\n"
    "Writes the data hidden after the end of each PNG image to a new file beside it.\n"
    "  --check           write nothing; report what each file holds and the name it would get\n"
    "  --open            open extracted images in the default viewer\n"
    "  --json            one JSON object per file on standard output (JSON Lines)\n"
    "  -r, --recursive   walk folders given as FILE: every file starting with the PNG\n"
    "                    signature, in byte order of names; links inside are not followed\n"
    "  --max-size BYTES  largest source read (default 2048000; 0: no limit)\n"
    "  -q, --quiet       no summary and no progress line on standard error\n"
    "  -h, --help        show this text\n"
    "  --version         show the version\n"
    "A FILE named \"-\" is the file of that name, not standard input.\n"
    "Exit status: 0 every file extracted (with --check: every file has trailing data),\n"
    "1 any not, 2 usage error.\n";

namespace {

using platform::Char;
using platform::Path;

bool Is(const Path& arg, std::string_view option) { return arg == Path(option.begin(), option.end()); }

// Decimal digits only: no sign, no suffix, nothing past 2^64 - 1.
std::optional<std::uint64_t> ParseSize(const Path& text) {
    const std::string ascii = platform::ToUtf8(text);
    std::uint64_t value = 0;
    const char* end = ascii.data() + ascii.size();
    const auto [ptr, error] = std::from_chars(ascii.data(), end, value);
    if (ascii.empty() || error != std::errc() || ptr != end) return std::nullopt;
    return value;
}

}  // namespace

std::variant<Options, Stop, UsageError> ParseOptions(const std::vector<Path>& args) {
    Options options;
    const Path maxSizeEq = [] {
        constexpr std::string_view text = "--max-size=";
        return Path(text.begin(), text.end());
    }();
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Path& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != Char('-')) {
            options.operands.push_back(arg);
        } else if (Is(arg, "--")) {
            optionsEnded = true;
        } else if (Is(arg, "--check")) {
            options.check = true;
        } else if (Is(arg, "--open")) {
            options.open = true;
        } else if (Is(arg, "--json")) {
            options.json = true;
        } else if (Is(arg, "-r") || Is(arg, "--recursive")) {
            options.recursive = true;
        } else if (Is(arg, "-q") || Is(arg, "--quiet")) {
            options.quiet = true;
        } else if (Is(arg, "--max-size") || arg.starts_with(maxSizeEq)) {
            const bool joined = arg.starts_with(maxSizeEq);
            if (!joined && i + 1 == args.size()) return UsageError{"--max-size needs a number of bytes"};
            const Path& value = joined ? arg.substr(maxSizeEq.size()) : args[++i];
            const std::optional<std::uint64_t> size = ParseSize(value);
            if (!size) return UsageError{"--max-size takes a number of bytes, not " + platform::ToUtf8(value)};
            options.maxSize = *size;
        } else if (Is(arg, "-h") || Is(arg, "--help")) {
            return Stop::Help;
        } else if (Is(arg, "--version")) {
            return Stop::Version;
        } else {
            return UsageError{"unknown option " + platform::ToUtf8(arg)};
        }
    }
    if (options.operands.empty()) return UsageError{"no FILE given"};
    return options;
}

}  // namespace vexlo::cli
