// A small PNG writer for the pictures the recovery rebuilds: 8-bit RGBA,
// compressed with zlib, portable.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vexlo::codec {

// The whole file of a width × height picture given as rows × width × 4 bytes
// of RGBA, top row first. Empty when the sizes disagree, either is zero or
// beyond PNG's 2^31 - 1, or zlib fails.
std::vector<std::uint8_t> EncodeRgbaPng(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba);

}  // namespace vexlo::codec
