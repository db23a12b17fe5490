#include "win/twips.h"

#include <windows.h>

#include <cmath>

namespace vexlo::win {

TwipsPerPixel ScreenTwipsPerPixel() {
    TwipsPerPixel result;
    if (const HDC screen = ::GetDC(nullptr)) {
        const int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX);
        const int dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
        ::ReleaseDC(nullptr, screen);
        if (dpiX > 0) result.x = 1440.0 / dpiX;
        if (dpiY > 0) result.y = 1440.0 / dpiY;
    }
    return result;
}

int RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double diff = value - floor;
    double rounded = floor;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(floor, 2.0) != 0.0)) rounded = floor + 1.0;
    return static_cast<int>(rounded);
}

int TwipsToPixels(double twips, double twipsPerPixel) { return static_cast<int>(std::lround(twips / twipsPerPixel)); }

}  // namespace vexlo::win
