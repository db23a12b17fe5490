// The small PNG reader behind the recovery's use of a cropped picture.
#include "codec/png_decode.h"

#include <algorithm>
#include <array>

#define ZLIB_CONST
#include <zlib.h>

#include "png/format.h"

namespace vexlo::codec {
namespace {

using Bytes = std::vector<std::uint8_t>;

bool IsIdat(std::span<const std::uint8_t> t, std::size_t at) {
    return t[at + 4] == 'I' && t[at + 5] == 'D' && t[at + 6] == 'A' && t[at + 7] == 'T';
}

}  // namespace

DecodedPng DecodePng(std::span<const std::uint8_t> bytes, std::size_t bpp, std::size_t maxBytes) {
    if (bytes.size() < 33 || !std::equal(png::kSignature.begin(), png::kSignature.end(), bytes.begin())) return {};
    const std::uint32_t width = png::ReadBe32(bytes, 16), height = png::ReadBe32(bytes, 20);
    static constexpr std::array<std::uint8_t, 7> kBpp = {1, 0, 3, 1, 2, 0, 4};
    const std::uint8_t depth = bytes[24], colour = bytes[25], interlace = bytes[28];
    if (depth != 8 || colour >= kBpp.size() || kBpp[colour] != bpp || colour == 3 || interlace != 0 || width == 0 ||
        width > (std::uint64_t{maxBytes} - 1) / bpp)
        return {};
    const std::size_t stride = std::size_t{width} * bpp + 1;
    z_stream z = {};
    if (inflateInit(&z) != Z_OK) return {};
    Bytes rows(static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{height} * stride, maxBytes / stride * stride)));
    z.next_out = rows.data();
    z.avail_out = static_cast<uInt>(rows.size());
    for (std::size_t at = 8; at + 12 <= bytes.size() && z.avail_out > 0;) {
        const std::uint64_t len = png::ReadBe32(bytes, at);
        if (len > bytes.size() - at - 12) break;
        if (IsIdat(bytes, at)) {
            z.next_in = bytes.data() + at + 8;
            z.avail_in = static_cast<uInt>(len);
            const int r = inflate(&z, Z_NO_FLUSH);
            if (r != Z_OK && r != Z_BUF_ERROR && r != Z_STREAM_END) break;
        }
        at += 12 + static_cast<std::size_t>(len);
    }
    const std::size_t got = (rows.size() - z.avail_out) / stride;
    inflateEnd(&z);
    // Unfiltered in place, each row moved up over the filter bytes.
    const std::size_t len = stride - 1;
    Bytes prior(len, 0);
    for (std::size_t y = 0; y < got; ++y) {
        const std::uint8_t f = rows[y * stride];
        if (f > 4) return {};
        std::uint8_t* row = &rows[y * len];
        std::copy(rows.begin() + static_cast<std::ptrdiff_t>(y * stride + 1),
                  rows.begin() + static_cast<std::ptrdiff_t>((y + 1) * stride), row);
        for (std::size_t i = 0; i < len; ++i) {
            const std::uint8_t a = i >= bpp ? row[i - bpp] : 0, c = i >= bpp ? prior[i - bpp] : 0;
            row[i] = static_cast<std::uint8_t>(row[i] + png::Predict(f, a, prior[i], c));
        }
        prior.assign(row, row + len);
    }
    rows.resize(got * len);
    return DecodedPng{width, height, got, std::move(rows)};
}

}  // namespace vexlo::codec
