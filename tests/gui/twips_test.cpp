// Conversions behind the balloon's place, for screens other than this one.
#include <gtest/gtest.h>

#include <string>

#include "win/twips.h"

namespace {

TEST(TwipsTest, FactorsRoundHalfToEvenAndPixelMotionIsTheSameOnEveryScreen) {
    struct Case {
        int dpi;
        int twipsPerPixel;  // 1440 / dpi, halves to the even neighbour
    };
    const Case cases[] = {{96, 15}, {120, 12}, {144, 10}, {72, 20}, {100, 14}, {192, 8}, {576, 2}, {160, 9}};
    for (const Case& c : cases) {
        SCOPED_TRACE("dpi " + std::to_string(c.dpi));
        const double exact = 1440.0 / c.dpi;
        const int rounded = vexlo::win::RoundHalfEven(exact);
        EXPECT_EQ(rounded, c.twipsPerPixel);
        if (exact != rounded) continue;  // only whole factors keep pixel sizes exact
        // The main window at pixel (640, 45): the balloon's base and every
        // hop step (in pixels) land on the same pixels whatever the factor.
        const int baseTop = vexlo::win::RoundHalfEven(45 * exact + 28 * rounded);
        int pixels = 0;
        for (const int hop : {-3, -3, -3, -2, -2, -1, -1, -1, -1, -1, 1, 1, 1, 1, 1, 2, 2, 3, 3, 3}) {
            pixels += hop;
            EXPECT_EQ(vexlo::win::TwipsToPixels(baseTop + pixels * rounded, exact), 45 + 28 + pixels);
        }
        EXPECT_EQ(vexlo::win::TwipsToPixels(vexlo::win::RoundHalfEven(640 * exact + 53 * rounded), exact), 693);
    }
    struct Half {
        double value;
        int rounded;
    };
    for (const Half h : {Half{2.5, 2}, Half{3.5, 4}, Half{-2.5, -2}, Half{-3.5, -4}, Half{7.4999, 7}, Half{0.5, 0}})
        EXPECT_EQ(vexlo::win::RoundHalfEven(h.value), h.rounded) << h.value;
}

}  // namespace
