// Milliseconds from a performance counter, without the overflow of
// count * 1000 (a 3 GHz counter passes 2^64 / 1000 after 71 days).
#pragma once

#include <cstdint>

namespace vexlo::win32 {

constexpr std::uint64_t CounterToMilliseconds(std::uint64_t count, std::uint64_t frequency) {
    return frequency == 0 ? 0 : count / frequency * 1000 + count % frequency * 1000 / frequency;
}

}  // namespace vexlo::win32
