// The whole recovery on hostile bytes, as vexlo-cli --recover runs it: the
// first byte picks the cropped picture's header given as the hint, the second
// the width asked for (0: found from the data), the rest is the trailer. Then
// the rebuilt pictures are encoded as the command writes them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/png_encode.h"
#include "engine/recover.h"

namespace {

using vexlo::recover::Hint;

// No header, then 8-bit grey, RGB, palette, grey with alpha, RGBA, and 16-bit RGB and RGBA.
constexpr std::array<Hint, 8> kHints = {{
    {0, 0, 8, 2},
    {320, 40, 8, 0},
    {320, 40, 8, 2},
    {320, 40, 8, 3},
    {320, 40, 8, 4},
    {320, 40, 8, 6},
    {320, 40, 16, 2},
    {320, 40, 16, 6},
}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const Hint& hint = kHints[data[0] % kHints.size()];
    vexlo::recover::Options options;
    options.width = data[1];
    const std::span<const std::uint8_t> trailer(data + 2, size - 2);

    const vexlo::recover::Result result = vexlo::recover::Recover(trailer, hint, options);
    const std::uint64_t bytes = std::uint64_t{result.width} * result.rows * 4;
    if (result.status != vexlo::recover::Status::Recovered) {
        // Nothing rebuilt must say why and hold no picture.
        if (result.message.empty() || result.rows != 0 || !result.known.empty() || !result.guess.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    const bool widthAsAsked = options.width == 0 ? result.widthFound : !result.widthFound && result.width == options.width;
    if (result.rows == 0 || result.width == 0 || !widthAsAsked || result.known.size() != bytes ||
        result.guess.size() != bytes || !(result.knownShare >= 0 && result.knownShare <= 1) ||
        result.bytesPerPixel == 0 || result.inflatedBytes == 0 || !result.message.empty()) {
        __builtin_trap();
    }
    if (vexlo::EncodeRgbaPng(result.width, result.rows, result.known).empty() ||
        vexlo::EncodeRgbaPng(result.width, result.rows, result.guess).empty()) {
        __builtin_trap();
    }
    return 0;
}
