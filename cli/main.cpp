// vexlo-cli: the extraction engine for terminals and scripts. Same limits,
// names and result codes as the window; one line (or JSON object) per file.
// With --recover, the picture behind a cropped PNG's remnant instead.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/inputs.h"
#include "cli/json.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/recover_command.h"
#include "engine/extract.h"
#include "version.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using vexlo::ExtractReport;
using vexlo::ProcessResult;
using vexlo::platform::Path;
using vexlo::platform::ToUtf8;
namespace cli = vexlo::cli;

std::string Reason(ProcessResult result, std::uint64_t maxSize) {
    switch (result) {
        case vexlo::resNOFILE: return "no such file";
        case vexlo::resNOREAD:
            return maxSize == 0 ? "cannot be read"
                                : "cannot be read or larger than " + cli::WithSeparators(maxSize) + " bytes";
        case vexlo::resNOTPNG: return "not a PNG file";
        case vexlo::resNOTRAIL: return "nothing after the end of the image";
        case vexlo::resNONAME: return "no free output name";
        case vexlo::resNOWRITE: return "cannot write the output";
        case vexlo::resDONE: break;
    }
    return "unknown result";
}

// The plain line for one file, newline included: for standard output on
// success, else for standard error.
std::string PlainLine(const Path& file, const ExtractReport& report, const cli::Options& options) {
    const std::string name = ToUtf8(file);
    if (report.result != vexlo::resDONE) return name + ": " + Reason(report.result, options.maxSize) + "\n";
    const std::string length = std::to_string(report.trailer.length);
    const std::string out = ToUtf8(report.output);
    if (!options.check) return name + ": " + length + " bytes -> " + out + "\n";
    return name + ": " + length + " bytes of " + std::string(report.extension) + " data (" +
           std::string(report.kind) + "), would be written to " + out + "\n";
}

// Outcomes of one run, for the exit status and the summary line.
struct Tally {
    std::array<std::size_t, vexlo::resNOWRITE + 1> results{};
    std::size_t files = 0;
    std::size_t unreadable = 0;  // entries of walked folders

    bool AllDone() const { return unreadable == 0 && results[vexlo::resDONE] == files; }

    // "vexlo-cli: 5 files: 2 extracted, 1 no-file, 2 not-png", in the words of --json's "status".
    std::string Summary(bool check) const {
        std::string line = "vexlo-cli: " + cli::WithSeparators(files) + (files == 1 ? " file:" : " files:");
        const char* separator = " ";
        for (std::size_t code = 0; code < results.size(); ++code) {
            if (results[code] == 0) continue;
            line += separator + cli::WithSeparators(results[code]) + " " +
                    std::string(cli::StatusWord(static_cast<ProcessResult>(code), check));
            separator = ", ";
        }
        if (unreadable > 0) {
            line += "; " + cli::WithSeparators(unreadable) + (unreadable == 1 ? " entry" : " entries") +
                    " could not be read";
        }
        return line + "\n";
    }
};

int Extract(const cli::Options& options) {
    Tally tally;
    const cli::Inputs inputs = cli::CollectInputs(options.operands, options.recursive, [](const Path& entry) {
        std::fprintf(stderr, "%s: cannot be read\n", ToUtf8(entry).c_str());
    });
    tally.files = inputs.files.size();
    tally.unreadable = inputs.unreadable;

    cli::Progress progress(!options.json && !options.quiet && cli::StderrIsTerminal(), inputs.files.size());
    std::uint64_t bytesBefore = 0;  // trailing bytes of the files already done
    std::size_t done = 0;
    vexlo::ExtractOptions extract;
    extract.maxSize = options.maxSize;
    extract.write = !options.check;
    extract.open = options.open;
    // Plain extraction shows neither hash nor kind: the trailer is only copied.
    extract.describe = options.json || options.check;
    // Plain --check lines show the kind but not the hash.
    extract.hash = options.json;
    extract.progress = [&](std::uint64_t bytes) { progress.Update(done, bytesBefore + bytes); };

    vexlo::Extractor extractor;
    for (const Path& file : inputs.files) {
        const ExtractReport report = extractor.Examine(file, extract);
        progress.Clear();
        ++tally.results[static_cast<std::size_t>(report.result)];
        if (options.json) {
            std::fputs(cli::JsonLine(file, report, options.check).c_str(), stdout);
        } else {
            std::fputs(PlainLine(file, report, options).c_str(), report.result == vexlo::resDONE ? stdout : stderr);
        }
        if (report.hasTrailer) bytesBefore += report.trailer.length;
        progress.Update(++done, bytesBefore);
    }
    progress.Clear();
    std::fflush(stdout);
    if (tally.files > 1 && !options.quiet) std::fputs(tally.Summary(options.check).c_str(), stderr);
    return tally.AllDone() ? 0 : 1;
}

// The plain line for one file with --recover: on standard output when both
// pictures were written, else on standard error.
std::string RecoverLine(const Path& file, const cli::RecoverReport& report, const cli::Options& options) {
    const std::string name = ToUtf8(file);
    const vexlo::recover::Result& result = report.result;
    if (!report.Examined()) return name + ": " + Reason(report.extraction.result, options.maxSize) + "\n";
    if (result.status == vexlo::recover::Status::NotARemnant) return name + ": nothing to recover (" + result.message + ")\n";
    if (result.status == vexlo::recover::Status::NothingRebuilt) return name + ": nothing rebuilt: " + result.message + "\n";
    const std::string rebuilt = cli::WithSeparators(result.rows) + " rows of " + cli::WithSeparators(result.width) +
                                " pixels rebuilt (width " + (result.widthFound ? "found" : "given") + ")";
    if (!report.Written()) return name + ": " + rebuilt + ", but " + Reason(report.extraction.result, options.maxSize) + "\n";
    std::array<char, 16> share{};
    std::snprintf(share.data(), share.size(), "%.1f%%", result.knownShare * 100);
    return name + ": " + rebuilt + ", " + share.data() + " known for certain -> " + ToUtf8(report.picture) + ", " +
           ToUtf8(report.guess) + "\n";
}

int Recover(const cli::Options& options) {
    const cli::Inputs inputs = cli::CollectInputs(options.operands, options.recursive, [](const Path& entry) {
        std::fprintf(stderr, "%s: cannot be read\n", ToUtf8(entry).c_str());
    });
    cli::RecoverOptions recover;
    recover.maxSize = options.maxSize;
    recover.width = options.width;
    recover.open = options.open;
    recover.hash = options.json;
    // "recovered", "nothing to recover", "nothing rebuilt", then the words of the failures.
    std::vector<std::pair<std::string, std::size_t>> counts;
    std::size_t written = 0;
    cli::Recoverer recoverer;
    for (const Path& file : inputs.files) {
        const cli::RecoverReport report = recoverer.Examine(file, recover);
        if (options.json) {
            std::fputs(cli::JsonLine(file, report).c_str(), stdout);
        } else {
            std::fputs(RecoverLine(file, report, options).c_str(), report.Written() ? stdout : stderr);
        }
        if (report.Written()) ++written;
        const std::string word(report.Examined() && report.extraction.result == vexlo::resDONE
                                   ? cli::RecoverWord(report)
                                   : cli::StatusWord(report.extraction.result, true));
        const auto counted = std::find_if(counts.begin(), counts.end(), [&word](const auto& c) { return c.first == word; });
        if (counted == counts.end()) {
            counts.emplace_back(word, 1);
        } else {
            ++counted->second;
        }
    }
    std::fflush(stdout);
    const std::size_t files = inputs.files.size();
    if (files > 1 && !options.quiet) {
        std::string line = "vexlo-cli: " + cli::WithSeparators(files) + " files:";
        const char* separator = " ";
        for (const auto& [word, count] : counts) {
            line += separator + cli::WithSeparators(count) + " " + word;
            separator = ", ";
        }
        if (inputs.unreadable > 0) {
            line += "; " + cli::WithSeparators(inputs.unreadable) +
                    (inputs.unreadable == 1 ? " entry" : " entries") + " could not be read";
        }
        std::fputs((line + "\n").c_str(), stderr);
    }
    return inputs.unreadable == 0 && written == files ? 0 : 1;
}

int Run(const std::vector<Path>& args) {
    const auto parsed = cli::ParseOptions(args);
    if (const auto* stop = std::get_if<cli::Stop>(&parsed)) {
        std::fputs(*stop == cli::Stop::Help ? cli::kUsage : VEXLO_NAME " " VEXLO_VERSION_TEXT "\n", stdout);
        return 0;
    }
    if (const auto* error = std::get_if<cli::UsageError>(&parsed)) {
        std::fprintf(stderr, "vexlo-cli: %s\n%s", error->message.c_str(), cli::kUsage);
        return 2;
    }
    const cli::Options& options = std::get<cli::Options>(parsed);
    return options.recover ? Recover(options) : Extract(options);
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
