#include "cli/report_lines.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "cli/results.h"
#include "engine/paths.h"

namespace vexlo::cli {

std::string WithSeparators(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string Reason(ProcessResult result, std::uint64_t maxSize) {
    const ResultWords* words = WordsOf(result);
    if (words == nullptr || words->reason.empty()) return "unknown result";
    std::string reason(words->reason);
    if (result == resNOREAD && maxSize != 0) reason += " or larger than " + WithSeparators(maxSize) + " bytes";
    return reason;
}

std::string Reason(const ExtractReport& report, std::uint64_t maxSize) {
    if (report.result == resNONAME && report.fullPath.size() > kMaxFullPath) {
        return "the full path is longer than " + std::to_string(kMaxFullPath) + " characters";
    }
    if (report.result == resNOREAD && report.osError != 0) {
        return std::string(WordsOf(resNOREAD)->reason) + ": " + platform::ErrorText(report.osError);
    }
    return Reason(report.result, maxSize);
}

std::string PlainLine(const platform::Path& file, const ExtractReport& report, bool check, std::uint64_t maxSize) {
    const std::string name = ShownName(file) + ": ";
    if (report.result != resDONE) return name + Reason(report, maxSize) + "\n";
    const std::string length = std::to_string(report.trailer.length);
    const std::string out = ShownName(report.output);
    if (!check) return name + length + " bytes -> " + out + "\n";
    return name + length + " bytes of " + std::string(report.extension) + " data (" + std::string(report.kind) +
           "), would be written to " + out + "\n";
}

std::string RecoverLine(const platform::Path& file, const RecoverReport& report, std::uint64_t maxSize) {
    const std::string name = ShownName(file) + ": ";
    const recover::Result& result = report.result;
    if (!report.Examined()) return name + Reason(report.extraction, maxSize) + "\n";
    const std::string word(RecoverWord(result.status));
    if (result.status == recover::Status::NotARemnant) return name + word + " (" + result.message + ")\n";
    if (result.status == recover::Status::NothingRebuilt) return name + word + ": " + result.message + "\n";
    const std::string rebuilt = WithSeparators(result.rows) + " rows of " + WithSeparators(result.width) +
                                " pixels rebuilt (width " + (result.widthFound ? "found" : "given") + ")";
    if (!report.Written()) return name + rebuilt + ", but " + Reason(report.extraction, maxSize) + "\n";
    std::array<char, 16> share{};
    std::snprintf(share.data(), share.size(), "%.1f%%", result.knownShare * 100);
    return name + rebuilt + ", " + share.data() + " known for certain -> " + ShownName(report.picture) + ", " +
           ShownName(report.guess) + "\n";
}

std::string UnreadableLine(const platform::Path& entry, platform::OsError error) {
    ExtractReport report;
    report.result = resNOREAD;
    report.osError = error;
    return ShownName(entry) + ": " + Reason(report, 0) + "\n";
}

Tally::Tally(std::size_t unreadable, const std::vector<std::string_view>& order) : unreadable_(unreadable) {
    for (const std::string_view word : order) counts_.emplace_back(word, 0);
}

void Tally::Add(std::string_view word, bool succeeded) {
    ++files_;
    if (succeeded) ++succeeded_;
    const auto counted =
        std::find_if(counts_.begin(), counts_.end(), [word](const auto& c) { return c.first == word; });
    if (counted == counts_.end()) {
        counts_.emplace_back(word, 1);
    } else {
        ++counted->second;
    }
}

std::string Tally::Summary() const {
    std::string line = "vexlo-cli: " + WithSeparators(files_) + (files_ == 1 ? " file:" : " files:");
    const char* separator = " ";
    for (const auto& [word, count] : counts_) {
        if (count == 0) continue;
        line += separator + WithSeparators(count) + " ";
        line += word;
        separator = ", ";
    }
    if (unreadable_ > 0) {
        line += "; " + WithSeparators(unreadable_) + (unreadable_ == 1 ? " entry" : " entries") + " could not be read";
    }
    return line + "\n";
}

}  // namespace vexlo::cli
