// The whole recovery on hostile bytes, as vexlo-cli --recover runs it: the
// first byte picks the cropped picture's header given as the hint, the second
// the width asked for (0: found from the data), the rest is the trailer. With
// the first byte's high bit set, the cropped picture itself comes too (its
// size from the third and fourth bytes, as wide as the width asked for when
// the third is odd; its pixels the trailer's bytes over again), so the guess
// from the picture's rows and colours is reached. Then the rebuilt pictures
// are encoded as the command writes them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/png_encode.h"
#include "recover/recover.h"

namespace {

using vexlo::recover::Hint;

// No header, then 8-bit grey, RGB, palette, grey with alpha, RGBA, and 16-bit RGB and RGBA.
Hint PickHint(std::uint8_t pick) {
    constexpr std::array<std::array<std::uint8_t, 2>, 8> kFormats = {
        {{8, 2}, {8, 0}, {8, 2}, {8, 3}, {8, 4}, {8, 6}, {16, 2}, {16, 6}}};
    const std::size_t index = pick % kFormats.size();
    Hint hint;
    hint.width = index == 0 ? 0 : 320;
    hint.height = index == 0 ? 0 : 40;
    hint.bitDepth = kFormats[index][0];
    hint.colourType = kFormats[index][1];
    return hint;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    Hint hint = PickHint(data[0]);
    vexlo::recover::Options options;
    options.width = data[1];
    const std::span<const std::uint8_t> trailer(data + 2, size - 2);
    std::vector<std::uint8_t> picture;
    if ((data[0] & 0x80) != 0 && size >= 4) {
        const std::uint32_t width = (data[2] & 1) != 0 && data[1] != 0 ? data[1] : 1 + data[2] % 64u;
        const std::uint32_t height = 1 + data[3] % 64u;
        std::vector<std::uint8_t> rgba(std::size_t{width} * height * 4, 0);
        for (std::size_t i = 0; size > 4 && i < rgba.size(); ++i) rgba[i] = data[4 + i % (size - 4)];
        picture = vexlo::codec::EncodeRgbaPng(width, height, rgba);
        hint = Hint{width, height, 8, 6, picture};
    }

    const vexlo::recover::Result result = vexlo::recover::Recover(trailer, hint, options);
    const std::uint64_t bytes = std::uint64_t{result.width} * result.rows * 4;
    if (result.status != vexlo::recover::Status::Recovered) {
        // Nothing rebuilt must say why and hold no picture.
        if (result.message.empty() || result.rows != 0 || !result.known.empty() || !result.guess.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    const bool widthAsAsked =
        options.width == 0 ? result.widthFound : !result.widthFound && result.width == options.width;
    if (result.rows == 0 || result.width == 0 || !widthAsAsked || result.known.size() != bytes ||
        result.guess.size() != bytes || !(result.knownShare >= 0 && result.knownShare <= 1) ||
        result.bytesPerPixel == 0 || result.inflatedBytes == 0 || !result.message.empty()) {
        __builtin_trap();
    }
    if (vexlo::codec::EncodeRgbaPng(result.width, result.rows, result.known).empty() ||
        vexlo::codec::EncodeRgbaPng(result.width, result.rows, result.guess).empty()) {
        __builtin_trap();
    }
    return 0;
}
