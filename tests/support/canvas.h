// Reading back what something draws: a 32-bit bitmap read as RGB pixels,
// and the pixels where it differs from what was expected.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/win32/handles.h"

namespace vexlo::test {

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

inline Rgb FromColorref(COLORREF c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }
inline Rgb FromArgb(std::uint32_t c) {
    return {static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF)};
}

// A 32-bit top-down bitmap that something draws into, read back as RGB.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), dc_(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        bits_ = static_cast<std::uint32_t*>(bits);
        if (dc_ && bitmap_) selected_.emplace(dc_.get(), bitmap_.get());
    }
    HDC dc() const { return dc_.get(); }
    bool ok() const { return dc_ && bits_; }
    void Fill(Rgb c) {
        const win32::UniqueGdi<HBRUSH> brush(::CreateSolidBrush(RGB(c.r, c.g, c.b)));
        const RECT all = {0, 0, width_, height_};
        ::FillRect(dc(), &all, brush.get());
    }
    Rgb At(int x, int y) const {
        ::GdiFlush();
        return FromArgb(
            bits_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)]);
    }
    // Every pixel, row by row.
    std::vector<Rgb> Pixels() const {
        std::vector<Rgb> pixels;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) pixels.push_back(At(x, y));
        return pixels;
    }
    // Where in `area` `same(x, y, pixel)` fails, row by row.
    template <class Same>
    std::vector<POINT> Differences(RECT area, Same same) const {
        std::vector<POINT> found;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (!same(x, y, At(x, y))) found.push_back({x, y});
        return found;
    }
    // How many pixels in `area` are what `is` looks for.
    template <class Is>
    int Count(RECT area, Is is) const {
        int n = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) n += is(At(x, y)) ? 1 : 0;
        return n;
    }

private:
    int width_, height_;
    win32::UniqueDc dc_;
    win32::UniqueGdi<HBITMAP> bitmap_;
    std::optional<win32::ScopedSelect> selected_;  // put back before the bitmap and the DC go
    std::uint32_t* bits_ = nullptr;
};

}  // namespace vexlo::test
