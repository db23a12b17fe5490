// Twips, the layout's unit (1440 per inch), and their conversion to the
// pixels the window system works in.
#pragma once

namespace vexlo::win {

struct TwipsPerPixel {
    double x = 15.0;
    double y = 15.0;
};

// A control's place in twips, as the layout gives it.
struct TwipsBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The screen's factors: 1440 divided by its logical dots per inch.
TwipsPerPixel ScreenTwipsPerPixel();

// Nearest integer, halves going to the even neighbour (2.5 -> 2, 3.5 -> 4).
int RoundHalfEven(double value);

// A length or position in twips as whole pixels, nearest pixel.
int TwipsToPixels(double twips, double twipsPerPixel);

}  // namespace vexlo::win
