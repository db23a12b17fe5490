// A picture decoded from one of our GIF resources, kept as a 32-bit
// bitmap with premultiplied alpha so that drawing it lets whatever is
// already on the DC show through the GIF's transparent pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>

#include "platform/win32/handles.h"

namespace vexlo::win {

class Picture {
public:
    static std::optional<Picture> FromGif(std::span<const std::uint8_t> bytes);
    // A resource of type "GIF" in the module.
    static std::optional<Picture> FromResource(HMODULE module, int id);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // At natural size with its top left corner at (x, y).
    void Draw(HDC hdc, int x, int y) const;

private:
    Picture(win32::UniqueGdi<HBITMAP> bitmap, int width, int height)
        : bitmap_(std::move(bitmap)), width_(width), height_(height) {}

    win32::UniqueGdi<HBITMAP> bitmap_;
    int width_ = 0;
    int height_ = 0;
};

// The raw bytes of a resource of type "GIF"; empty when it is missing.
// Resources stay mapped as long as the module is loaded.
std::span<const std::uint8_t> GifResourceBytes(HMODULE module, int id);

}  // namespace vexlo::win
