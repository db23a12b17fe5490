#include "cli/run.h"

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/inputs.h"
#include "cli/json.h"
#include "cli/progress.h"
#include "cli/recover_command.h"
#include "cli/report_lines.h"
#include "cli/results.h"
#include "engine/extract.h"

namespace vexlo::cli {
namespace {

// What one input gave, as the run loop needs it.
struct Outcome {
    std::string line;                // plain or JSON, newline included
    bool succeeded = false;          // a plain line goes to standard output
    std::string_view word;           // the summary's
    std::uint64_t trailerBytes = 0;  // handled, for the progress line
    std::string openFailure;         // why the viewer was not started, else empty
};

// Extraction or --check, else --recover: one input at a time.
class Examiner {
public:
    Examiner(const Options& options, std::function<void(std::uint64_t)> progress) : options_(options) {
        extract_.maxSize = options.maxSize;
        extract_.write = !options.check;
        extract_.open = options.open;
        // Plain extraction shows neither hash nor kind: the trailer is only copied.
        extract_.describe = options.json || options.check;
        // Plain --check lines show the kind but not the hash.
        extract_.hash = options.json;
        extract_.progress = std::move(progress);
        recover_.maxSize = options.maxSize;
        recover_.width = options.width;
        recover_.open = options.open;
        recover_.hash = options.json;
    }

    Outcome operator()(const platform::Path& file) { return options_.recover ? Recovery(file) : Extraction(file); }

private:
    Outcome Extraction(const platform::Path& file) {
        const ExtractReport report = extractor_.Examine(file, extract_);
        return {options_.json ? JsonLine(file, report, options_.check)
                              : PlainLine(file, report, options_.check, options_.maxSize),
                report.result == resDONE, StatusWord(report.result, options_.check),
                report.hasTrailer ? report.trailer.length : 0, report.openFailure};
    }

    Outcome Recovery(const platform::Path& file) {
        const RecoverReport report = recoverer_.Examine(file, recover_);
        const bool examined = report.Examined() && report.extraction.result == resDONE;
        return {options_.json ? JsonLine(file, report) : RecoverLine(file, report, options_.maxSize), report.Written(),
                examined ? RecoverWord(report.result.status) : StatusWord(report.extraction.result, true), 0,
                report.extraction.openFailure};
    }

    const Options& options_;
    ExtractOptions extract_;
    RecoverOptions recover_;
    Extractor extractor_;
    Recoverer recoverer_;
};

}  // namespace

int Run(const Options& options, Output& output) {
    const Inputs inputs = CollectInputs(options.operands, options.recursive,
                                        [&output](const platform::Path& entry, platform::OsError error) {
                                            output.Write(Stream::Err, UnreadableLine(entry, error));
                                        });
    // Extraction's counts in the codes' order; --recover's as first met.
    std::vector<std::string_view> order;
    for (const ResultWords& words : kResultWords) {
        if (!options.recover) order.push_back(options.check ? words.checked : words.status);
    }
    Tally tally(inputs.unreadable, order);

    // --recover reports its files without a progress line.
    Progress progress(output, !options.recover && !options.json && !options.quiet && StderrIsTerminal(),
                      inputs.files.size());
    std::size_t done = 0;
    std::uint64_t bytesBefore = 0;  // trailing bytes of the files already done
    Examiner examine(options, [&](std::uint64_t bytes) { progress.Update(done, bytesBefore + bytes); });
    for (const platform::Path& file : inputs.files) {
        // A report that cannot be delivered stops the run: the file in hand is
        // done (committed or removed), no more are taken.
        if (output.Failed()) break;
        const Outcome outcome = examine(file);
        progress.Clear();
        if (!outcome.openFailure.empty()) output.Write(Stream::Err, "vexlo-cli: " + outcome.openFailure + "\n");
        output.Write(options.json || outcome.succeeded ? Stream::Out : Stream::Err, outcome.line);
        tally.Add(outcome.word, outcome.succeeded);
        bytesBefore += outcome.trailerBytes;
        progress.Update(++done, bytesBefore);
    }
    progress.Clear();
    output.Flush(Stream::Out);
    if (output.Failed()) return 1;
    if (tally.Files() > 1 && !options.quiet) output.Write(Stream::Err, tally.Summary());
    return tally.ExitStatus();
}

int Guarded(Output& output, const std::function<int()>& main) {
    // Pieces written as they are: after bad_alloc, building a string may fail again.
    const auto fail = [&output](std::string_view what) {
        output.Write(Stream::Err, "vexlo-cli: ");
        output.Write(Stream::Err, what);
        output.Write(Stream::Err, "\n");
        return 2;
    };
    try {
        return main();
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    } catch (const std::exception& error) {
        return fail(error.what());
    } catch (...) {
        return fail("unexpected failure");
    }
}

}  // namespace vexlo::cli
