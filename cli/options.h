// vexlo-cli's command line.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "engine/engine.h"
#include "platform/platform.h"

namespace vexlo::cli {

extern const char* const kUsage;

struct Options {
    bool check = false;
    bool open = false;
    bool json = false;
    bool recursive = false;
    bool quiet = false;
    bool recover = false;
    std::uint32_t width = 0;                 // --width: the original's width for --recover; 0: find it
    std::uint64_t maxSize = kMaxSourceSize;  // 0: no limit
    std::vector<platform::Path> operands;    // as given; "-" is a file of that name
};

// What the command line asks for besides a run.
enum class Stop { Help, Version };
// A usage error: the message, without the program's name.
struct UsageError {
    std::string message;
};

std::variant<Options, Stop, UsageError> ParseOptions(const std::vector<platform::Path>& args);

}  // namespace vexlo::cli
