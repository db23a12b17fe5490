// A small PNG reader for a cropped picture the recovery looks at: 8-bit,
// non-interlaced, not palette, unfiltered into plain pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vexlo::codec {

struct DecodedPng {
    std::uint32_t width = 0, height = 0;  // from its header
    std::size_t rows = 0;                 // decoded: height unless cut short
    std::vector<std::uint8_t> pixels;     // rows × width × bpp
};

// The rows of a whole 8-bit, non-interlaced PNG of `wanted` bytes per pixel
// (an RGB one read as RGBA, an RGBA one as RGB) that decode within `maxBytes`
// of scanlines, without filter bytes; none when it is not one.
DecodedPng DecodePng(std::span<const std::uint8_t> bytes, std::size_t wanted, std::size_t maxBytes);

}  // namespace vexlo::codec
