// The progress line: on standard error, only when it is a terminal, and only
// once a run has taken longer than kProgressDelay; updated in place with \r
// and erased before any other output and at the end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "cli/output.h"

namespace vexlo::cli {

inline constexpr std::chrono::milliseconds kProgressDelay{1000};
// Redraws are at most this often, so a fast run does not flood the terminal.
inline constexpr std::chrono::milliseconds kProgressInterval{100};

bool StderrIsTerminal();

class Progress {
public:
    Progress(Output& output, bool enabled, std::size_t total);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress() { Clear(); }

    // `done` files finished, `bytes` trailing bytes handled in all.
    void Update(std::size_t done, std::uint64_t bytes);
    // Erases the line if one is shown (before other output goes to the terminal).
    void Clear();

private:
    Output& output_;
    const bool enabled_;
    const std::size_t total_;
    const std::uint64_t start_;  // milliseconds of a monotonic clock
    std::uint64_t lastDraw_ = 0;
    std::size_t shown_ = 0;  // characters of the line on screen, 0 when none
};

}  // namespace vexlo::cli
