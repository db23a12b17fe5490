#include "cli/options.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "cli/shown_name.h"

namespace vexlo::cli {

const char* const kUsage =
    "usage: vexlo-cli [OPTION]... [--] FILE...\n"
    "Writes the data hidden after the end of each PNG image to a new file beside it.\n"
    "  --check           write nothing; report what each file holds and the name it would get\n"
    "  --open            open extracted images in the default viewer\n"
    "  --json            one JSON object per file on standard output (JSON Lines)\n"
    "  -r, --recursive   walk folders given as FILE: every file starting with the PNG\n"
    "                    signature, in byte order of names; links inside are not followed\n"
    "  --max-size BYTES  largest source read (default 2048000; with --recover none, the\n"
    "                    recovery's own bound applies: a remnant over 64 MiB is not read;\n"
    "                    0: no limit)\n"
    "  -q, --quiet       no summary and no progress line on standard error\n"
    "  --recover         instead of extracting: when the data after the image is the rest of\n"
    "                    a larger PNG that a cropping tool wrote over (a remnant), rebuild\n"
    "                    that picture's last rows as NAME.recovered.png (only pixels known\n"
    "                    for certain, the others transparent) and NAME.guessed.png (a best\n"
    "                    guess for every pixel); with --open the guess is opened\n"
    "  --width N         with --recover: the original picture's width in pixels (default: found)\n"
    "  -h, --help        show this text\n"
    "  --version         show the version\n"
    "A FILE named \"-\" is the file of that name, not standard input.\n"
    "Names are shown with control characters and stray bytes escaped (\\n, \\x1b, \\xe9).\n"
    "Exit status: 0 every file extracted (with --check: every file has trailing data\n"
    "and a free output name; with --recover: both pictures written for every file),\n"
    "1 any not or a report could not be written, 2 usage error.\n";

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

// An option that takes a value, as "--name VALUE" or "--name=VALUE".
struct Valued {
    bool matched = false;       // the argument is this option
    std::optional<Path> value;  // none when "--name" is the last argument
};

// `i` moves past a separate value.
Valued OptionValue(const std::vector<Path>& args, std::size_t& i, std::string_view name) {
    const Path& arg = args[i];
    const Path joined = Path(name.begin(), name.end()) + Char('=');
    if (arg.starts_with(joined)) return {true, arg.substr(joined.size())};
    if (!Is(arg, name)) return {};
    if (i + 1 == args.size()) return {true, std::nullopt};
    return {true, args[++i]};
}

}  // namespace

std::variant<Options, Stop, UsageError> ParseOptions(const std::vector<Path>& args) {
    Options options;
    bool optionsEnded = false;
    bool sizeGiven = false;
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
        } else if (const Valued size = OptionValue(args, i, "--max-size"); size.matched) {
            if (!size.value) return UsageError{"--max-size needs a number of bytes"};
            const std::optional<std::uint64_t> bytes = ParseSize(*size.value);
            if (!bytes) return UsageError{"--max-size takes a number of bytes, not " + ShownName(*size.value)};
            options.maxSize = *bytes;
            sizeGiven = true;
        } else if (Is(arg, "--recover")) {
            options.recover = true;
        } else if (const Valued width = OptionValue(args, i, "--width"); width.matched) {
            if (!width.value) return UsageError{"--width needs a number of pixels"};
            // PNG's own bound on a width; 0 would mean "find it", the default anyway.
            const std::optional<std::uint64_t> pixels = ParseSize(*width.value);
            if (!pixels || *pixels == 0 || *pixels > 0x7FFF'FFFF) {
                return UsageError{"--width takes a number of pixels from 1 to 2147483647, not " +
                                  ShownName(*width.value)};
            }
            options.width = static_cast<std::uint32_t>(*pixels);
        } else if (Is(arg, "-h") || Is(arg, "--help")) {
            return Stop::Help;
        } else if (Is(arg, "--version")) {
            return Stop::Version;
        } else {
            return UsageError{"unknown option " + ShownName(arg)};
        }
    }
    if (options.operands.empty()) return UsageError{"no FILE given"};
    if (options.width != 0 && !options.recover) return UsageError{"--width goes with --recover"};
    if (options.recover && options.check) return UsageError{"--recover writes pictures; --check cannot go with it"};
    // The window program's limit is not the recovery's: that one bounds what it reads itself.
    if (options.recover && !sizeGiven) options.maxSize = 0;
    return options;
}

}  // namespace vexlo::cli
