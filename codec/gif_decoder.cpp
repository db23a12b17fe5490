#include "codec/gif_decoder.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace vexlo::codec {
namespace {

constexpr int kMaxSide = 4096;   // far above anything we ship; bounds the allocation
constexpr int kMaxCodes = 4096;  // GIF's LZW codes are at most 12 bits

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool Has(std::size_t n) const { return bytes_.size() - pos_ >= n; }
    std::uint8_t Byte() { return bytes_[pos_++]; }
    int Word() {
        const int low = Byte();
        return low | (Byte() << 8);
    }
    void Skip(std::size_t n) { pos_ += n; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

using Palette = std::vector<std::uint32_t>;

bool ReadPalette(Reader& in, int flags, Palette& palette) {
    if ((flags & 0x80) == 0) return true;
    const std::size_t count = std::size_t{1} << ((flags & 0x07) + 1);
    if (!in.Has(count * 3)) return false;
    palette.resize(count);
    for (auto& colour : palette) {
        const std::uint32_t r = in.Byte(), g = in.Byte(), b = in.Byte();
        colour = 0xFF000000u | (r << 16) | (g << 8) | b;
    }
    return true;
}

// Concatenates a chain of data sub-blocks, which ends with an empty block.
bool ReadSubBlocks(Reader& in, std::vector<std::uint8_t>* out) {
    for (;;) {
        if (!in.Has(1)) return false;
        const std::size_t size = in.Byte();
        if (size == 0) return true;
        if (!in.Has(size)) return false;
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint8_t b = in.Byte();
            if (out) out->push_back(b);
        }
    }
}

// Variable-width LZW as GIF uses it: codes packed least significant bit
// first, a clear code that resets the table, the width growing by one bit
// each time the table fills the current width, up to 12 bits.
bool DecodeLzw(std::span<const std::uint8_t> data, int minCodeSize, std::size_t pixelCount,
               std::vector<std::uint8_t>& out) {
    if (minCodeSize < 2 || minCodeSize > 8) return false;
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint8_t, kMaxCodes> suffix{};
    std::array<std::uint8_t, kMaxCodes> first{};
    std::array<std::uint8_t, kMaxCodes> stack{};
    for (int c = 0; c < clear; ++c) {
        suffix[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c);
        first[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c);
    }
    int codeSize = minCodeSize + 1;
    int next = end + 1;
    int previous = -1;
    std::size_t bitPos = 0;
    const std::size_t totalBits = data.size() * 8;

    out.clear();
    out.reserve(pixelCount);
    while (out.size() < pixelCount) {
        if (totalBits - bitPos < static_cast<std::size_t>(codeSize)) return false;
        int code = 0;
        for (int i = 0; i < codeSize; ++i, ++bitPos) {
            const int bit = (data[bitPos >> 3] >> (bitPos & 7)) & 1;
            code |= bit << i;
        }
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code == end) break;
        if (previous < 0) {
            if (code > clear) return false;
            out.push_back(static_cast<std::uint8_t>(code));
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= kMaxCodes)) return false;
        // A code one past the table ("KwKwK") stands for the previous
        // string followed by its own first byte.
        const std::uint8_t head =
            code == next ? first[static_cast<std::size_t>(previous)] : first[static_cast<std::size_t>(code)];
        std::size_t depth = 0;
        if (code == next) stack[depth++] = head;
        for (int c = code == next ? previous : code;; c = prefix[static_cast<std::size_t>(c)]) {
            stack[depth++] = suffix[static_cast<std::size_t>(c)];
            if (c < clear) break;
        }
        while (depth > 0 && out.size() < pixelCount) out.push_back(stack[--depth]);
        if (next < kMaxCodes) {
            const auto slot = static_cast<std::size_t>(next);
            prefix[slot] = static_cast<std::uint16_t>(previous);
            suffix[slot] = head;
            first[slot] = first[static_cast<std::size_t>(previous)];
            ++next;
            if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
        }
        previous = code;
    }
    return out.size() == pixelCount;
}

// Row order of an interlaced frame: every 8th row from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1.
std::vector<int> RowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y) rows.push_back(y);
        return rows;
    }
    constexpr int kStart[] = {0, 4, 2, 1};
    constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
    return rows;
}

}  // namespace

std::optional<GifImage> DecodeGif(std::span<const std::uint8_t> bytes) {
    Reader in(bytes);
    if (!in.Has(13)) return std::nullopt;
    std::array<std::uint8_t, 6> signature{};
    for (auto& b : signature) b = in.Byte();
    constexpr std::array<std::uint8_t, 6> kGif87{'G', 'I', 'F', '8', '7', 'a'};
    constexpr std::array<std::uint8_t, 6> kGif89{'G', 'I', 'F', '8', '9', 'a'};
    if (signature != kGif87 && signature != kGif89) return std::nullopt;

    GifImage image;
    image.width = in.Word();
    image.height = in.Word();
    if (image.width <= 0 || image.height <= 0 || image.width > kMaxSide || image.height > kMaxSide) return std::nullopt;
    const int screenFlags = in.Byte();
    in.Skip(2);  // background colour index and aspect ratio
    Palette globalPalette;
    if (!ReadPalette(in, screenFlags, globalPalette)) return std::nullopt;

    int transparent = -1;
    for (;;) {
        if (!in.Has(1)) return std::nullopt;
        const std::uint8_t introducer = in.Byte();
        if (introducer == 0x3B) return std::nullopt;  // trailer before any frame
        if (introducer == 0x21) {
            if (!in.Has(1)) return std::nullopt;
            const std::uint8_t label = in.Byte();
            if (label == 0xF9) {
                // Graphic control: flags, delay, transparent index.
                if (!in.Has(6) || in.Byte() != 4) return std::nullopt;
                const int flags = in.Byte();
                in.Skip(2);
                const int index = in.Byte();
                if (flags & 0x01) transparent = index;
                if (in.Byte() != 0) return std::nullopt;
            } else if (!ReadSubBlocks(in, nullptr)) {
                return std::nullopt;
            }
            continue;
        }
        if (introducer != 0x2C) return std::nullopt;
        break;
    }

    if (!in.Has(9)) return std::nullopt;
    const int left = in.Word();
    const int top = in.Word();
    const int width = in.Word();
    const int height = in.Word();
    const int frameFlags = in.Byte();
    if (width <= 0 || height <= 0 || left + width > image.width || top + height > image.height) return std::nullopt;
    Palette localPalette;
    if (!ReadPalette(in, frameFlags, localPalette)) return std::nullopt;
    const Palette& palette = localPalette.empty() ? globalPalette : localPalette;
    if (palette.empty()) return std::nullopt;

    if (!in.Has(1)) return std::nullopt;
    const int minCodeSize = in.Byte();
    std::vector<std::uint8_t> data;
    if (!ReadSubBlocks(in, &data)) return std::nullopt;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> indices;
    if (!DecodeLzw(data, minCodeSize, count, indices)) return std::nullopt;

    // Outside the frame the picture is see-through.
    image.pixels.assign(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height), 0);
    const std::vector<int> rows = RowOrder(height, (frameFlags & 0x40) != 0);
    auto index = indices.begin();
    for (const int row : rows) {
        const auto rowStart = static_cast<std::size_t>(top + row) * static_cast<std::size_t>(image.width) +
                              static_cast<std::size_t>(left);
        for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x, ++index) {
            const std::size_t i = *index;
            if (i >= palette.size()) return std::nullopt;
            std::uint32_t colour = palette[i];
            if (static_cast<int>(i) == transparent) colour &= 0x00FFFFFFu;
            image.pixels[rowStart + x] = colour;
        }
    }
    return image;
}

}  // namespace vexlo::codec
