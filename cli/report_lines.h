// vexlo-cli's plain text: the line for each file, the summary, numbers with
// separators. Every name shown passes through ShownName, and every word and
// reason comes from cli/results.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/recover_command.h"
#include "cli/shown_name.h"
#include "engine/extract.h"
#include "platform/platform.h"

namespace vexlo::cli {

// "1,234,567": groups of three digits.
std::string WithSeparators(std::uint64_t value);

// Why a file failed; resNOREAD under a size limit names the limit too, since
// a larger file is refused with the same code.
std::string Reason(ProcessResult result, std::uint64_t maxSize);
// The same for one report, in its own words where the code alone would
// mislead: the system's reason for a file that cannot be read, the length
// limit for a full path beyond it (no name fits, though every name is free).
std::string Reason(const ExtractReport& report, std::uint64_t maxSize);

// The line for one file, newline included: for standard output on success,
// else for standard error.
std::string PlainLine(const platform::Path& file, const ExtractReport& report, bool check, std::uint64_t maxSize);
// The same with --recover, where success is both pictures written.
std::string RecoverLine(const platform::Path& file, const RecoverReport& report, std::uint64_t maxSize);
// An entry of a walked folder that could not be read, with the system's
// reason unless `error` is 0.
std::string UnreadableLine(const platform::Path& entry, platform::OsError error);

// Outcomes of one run, for the summary line and the exit status.
class Tally {
public:
    // `unreadable`: entries of walked folders. Words in `order` are counted
    // in that order, others after them as first met.
    explicit Tally(std::size_t unreadable, const std::vector<std::string_view>& order = {});

    void Add(std::string_view word, bool succeeded);
    std::size_t Files() const { return files_; }
    // 0 when every file succeeded and every entry could be read, else 1.
    int ExitStatus() const { return unreadable_ == 0 && succeeded_ == files_ ? 0 : 1; }
    // "vexlo-cli: 5 files: 2 extracted, 1 no-file, 2 not-png; 1 entry could
    // not be read", newline included; words counted 0 times are left out.
    std::string Summary() const;

private:
    std::vector<std::pair<std::string_view, std::size_t>> counts_;
    std::size_t files_ = 0;
    std::size_t succeeded_ = 0;
    std::size_t unreadable_;
};

}  // namespace vexlo::cli
