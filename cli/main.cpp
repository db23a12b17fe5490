// vexlo-cli: the extraction engine for terminals and scripts. Same limits,
// names and result codes as the window; one line per file.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "res/version.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using vexlo::platform::Char;
using vexlo::platform::Path;

constexpr const char* kUsage =
    "usage: vexlo-cli [--check] [--open] [--] FILE...\n"
    "Writes the data hidden after the end of each PNG image to a new file beside it.\n"
    "  --check    write nothing; report what each file holds and the name it would get\n"
    "  --open     open extracted images in the default viewer\n"
    "  -h, --help show this text\n"
    "  --version  show the version\n";

const char* Reason(vexlo::ProcessResult result) {
    switch (result) {
        case vexlo::resNOFILE: return "no such file";
        case vexlo::resNOREAD: return "cannot be read or larger than 2,048,000 bytes";
        case vexlo::resNOTPNG: return "not a PNG file";
        case vexlo::resNOTRAIL: return "nothing after the end of the image";
        case vexlo::resNONAME: return "no free output name";
        case vexlo::resNOWRITE: return "cannot write the output";
        case vexlo::resDONE: break;
    }
    return "unknown result";
}

bool Is(const Path& arg, std::string_view option) { return arg == Path(option.begin(), option.end()); }

int Run(const std::vector<Path>& args) {
    bool check = false;
    bool open = false;
    std::vector<Path> files;
    bool optionsEnded = false;
    for (const Path& arg : args) {
        if (optionsEnded || arg.size() < 2 || arg[0] != Char('-')) {
            files.push_back(arg);
        } else if (Is(arg, "--")) {
            optionsEnded = true;
        } else if (Is(arg, "--check")) {
            check = true;
        } else if (Is(arg, "--open")) {
            open = true;
        } else if (Is(arg, "-h") || Is(arg, "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (Is(arg, "--version")) {
            std::puts(VEXLO_NAME " " VEXLO_VERSION_TEXT);
            return 0;
        } else {
            std::fprintf(stderr, "vexlo-cli: unknown option %s\n%s", vexlo::platform::ToUtf8(arg).c_str(), kUsage);
            return 2;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "vexlo-cli: no FILE given\n%s", kUsage);
        return 2;
    }

    vexlo::Engine engine;
    const vexlo::ViewerSettings viewer{open ? vexlo::kChecked : 0, nullptr};
    bool allDone = true;
    for (const Path& file : files) {
        const std::string name = vexlo::platform::ToUtf8(file);
        const vexlo::ProcessResult result = check ? engine.Prepare(file) : engine.ProcessFile(file, viewer);
        if (result != vexlo::resDONE) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), Reason(result));
            allDone = false;
            continue;
        }
        const std::string out = vexlo::platform::ToUtf8(engine.OutFileName);
        if (check) {
            std::printf("%s: %ld bytes of %.*s data, would be written to %s\n", name.c_str(),
                        static_cast<long>(engine.OUTBUFSIZE), static_cast<int>(engine.FileType.size()),
                        engine.FileType.data(), out.c_str());
        } else {
            std::printf("%s: %ld bytes -> %s\n", name.c_str(), static_cast<long>(engine.OUTBUFSIZE), out.c_str());
        }
    }
    return allDone ? 0 : 1;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    ::SetConsoleOutputCP(CP_UTF8);
#else
int main(int argc, char** argv) {
#endif
    const std::vector<Path> args(argv + 1, argv + argc);
    return Run(args);
}
