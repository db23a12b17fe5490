// A small reader for the GIF files that hold our pictures: the first frame,
// its palette and its transparent colour. Portable, and strict about
// lengths, so a damaged resource fails to load instead of reading past its
// end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vexlo::codec {

struct GifImage {
    int width = 0;
    int height = 0;
    // Row by row from the top, 0xAARRGGBB. Transparent pixels keep their
    // palette colour with alpha 0, so both the colour and the mask survive.
    std::vector<std::uint32_t> pixels;
};

std::optional<GifImage> DecodeGif(std::span<const std::uint8_t> bytes);

}  // namespace vexlo::codec
