#include "platform/win32/tick_count.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using vexlo::win32::CounterToMilliseconds;

TEST(CounterToMilliseconds, ExactWithoutOverflow) {
    constexpr std::uint64_t kDay = 86'400;
    struct Case {
        std::uint64_t count, frequency, milliseconds;
    };
    const Case cases[] = {
        {0, 10'000'000, 0},
        {9'999, 10'000'000, 0},  // under a millisecond
        {10'000, 10'000'000, 1},
        {3'579'545 * 3 + 3'580, 3'579'545, 3'001},                        // the old ACPI timer
        {3'000'000'000 * kDay * 365, 3'000'000'000, 1'000 * kDay * 365},  // count * 1000 wraps here
        {UINT64_MAX, 1'000, UINT64_MAX},
        {12'345, 0, 0},  // no counter
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CounterToMilliseconds(c.count, c.frequency), c.milliseconds) << c.count << " / " << c.frequency;
    }
}

}  // namespace
