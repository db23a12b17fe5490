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

// RGB rows as RGBA (opaque) or RGBA rows as RGB (alpha dropped): editors
// often save a crop in the other of the two formats.
Bytes Converted(const Bytes& pixels, std::size_t from, std::size_t to) {
    const std::size_t count = pixels.size() / from;
    Bytes out(count * to, 0xFF);
    for (std::size_t p = 0; p < count; ++p) std::copy_n(&pixels[p * from], 3, &out[p * to]);
    return out;
}

}  // namespace

DecodedPng DecodePng(std::span<const std::uint8_t> bytes, std::size_t wanted, std::size_t maxBytes) {
    // The first chunk's data is read as IHDR's without looking at its type.
    if (bytes.size() < png::kIhdrEnd + 4 || !png::HasSignature(bytes)) return {};
    const png::Ihdr ihdr = png::ParseIhdr(bytes.subspan(png::kFirstChunk + png::kHeaderSize));
    const std::uint32_t width = ihdr.width, height = ihdr.height;
    const std::size_t bpp = png::Channels(ihdr.colourType);
    const bool convertible = std::min(bpp, wanted) == 3 && std::max(bpp, wanted) == 4;
    if (ihdr.bitDepth != 8 || bpp == 0 || (bpp != wanted && !convertible) || ihdr.colourType == png::kPalette ||
        ihdr.interlace != 0 || width == 0 || width > (std::uint64_t{maxBytes} - 1) / bpp)
        return {};
    const std::size_t stride = std::size_t{width} * bpp + 1;
    z_stream z = {};
    if (inflateInit(&z) != Z_OK) return {};
    Bytes rows(
        static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{height} * stride, maxBytes / stride * stride)));
    z.next_out = rows.data();
    z.avail_out = static_cast<uInt>(rows.size());
    for (std::size_t at = png::kFirstChunk; at + png::kChunkOverhead <= bytes.size() && z.avail_out > 0;) {
        const png::ChunkHeader header = *png::HeaderAt(bytes, at);
        if (!png::ChunkFits(at, header.length, bytes.size())) break;
        if (header.type == png::kIDAT) {
            z.next_in = bytes.data() + at + png::kHeaderSize;
            z.avail_in = static_cast<uInt>(header.length);
            const int r = inflate(&z, Z_NO_FLUSH);
            if (r != Z_OK && r != Z_BUF_ERROR && r != Z_STREAM_END) break;
        }
        at = static_cast<std::size_t>(png::NextChunk(at, header.length));
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
    if (bpp != wanted) rows = Converted(rows, bpp, wanted);
    return DecodedPng{width, height, got, std::move(rows)};
}

}  // namespace vexlo::codec
