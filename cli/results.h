// vexlo-cli's words for every outcome, kept in one place: --json's
// "status", the summary's counts and the plain lines' reasons all read them.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "engine/engine.h"
#include "recover/recover.h"

namespace vexlo::cli {

struct ResultWords {
    ProcessResult result;
    std::string_view status;   // --json's "status" and the summary's word
    std::string_view checked;  // the same with --check, where nothing is written
    std::string_view reason;   // a failure's plain line, "NAME: REASON"
};

// One row per result code, in the codes' order.
inline constexpr std::array<ResultWords, resNOWRITE + 1> kResultWords = {{
    {resDONE, "extracted", "has-trailer", ""},
    {resNOFILE, "no-file", "no-file", "no such file"},
    {resNOREAD, "unreadable", "unreadable", "cannot be read"},
    {resNOTPNG, "not-png", "not-png", "not a PNG file"},
    {resNOTRAIL, "no-trailer", "no-trailer", "nothing after the end of the image"},
    {resNONAME, "no-name", "no-name", "no free output name"},
    {resNOWRITE, "write-failed", "write-failed", "cannot write the output"},
}};

// With --recover, for a file that was examined: "recover"'s "status" in
// --json, the summary's word, and the plain line's opening words.
struct RecoverWords {
    recover::Status status;
    std::string_view word;
};

inline constexpr std::array<RecoverWords, 3> kRecoverWords = {{
    {recover::Status::Recovered, "recovered"},
    {recover::Status::NotARemnant, "nothing to recover"},
    {recover::Status::NothingRebuilt, "nothing rebuilt"},
}};

static_assert(
    [] {
        for (std::size_t code = 0; code < kResultWords.size(); ++code) {
            if (kResultWords[code].result != static_cast<ProcessResult>(code)) return false;
        }
        return true;
    }(),
    "kResultWords is indexed by the result code");

// The row of a result code; nullptr for a value no code has.
constexpr const ResultWords* WordsOf(ProcessResult result) {
    const auto code = static_cast<std::size_t>(result);
    return result >= 0 && code < kResultWords.size() ? &kResultWords[code] : nullptr;
}

constexpr std::string_view StatusWord(ProcessResult result, bool check) {
    const ResultWords* words = WordsOf(result);
    if (words == nullptr) return "unknown";
    return check ? words->checked : words->status;
}

constexpr std::string_view RecoverWord(recover::Status status) {
    for (const RecoverWords& words : kRecoverWords) {
        if (words.status == status) return words.word;
    }
    return "unknown";
}

}  // namespace vexlo::cli
