// The PNG format's primitives, written once: the signature, big-endian
// fields, chunk headers and the extraction's walk over them, IHDR, the five
// row predictors, and the remnant a cropping tool leaves behind.
//
// A PNG is the 8-byte signature, then chunks: a 4-byte length (top bit
// clear), a 4-byte type, that many data bytes and a 4-byte CRC, so a chunk
// takes its length plus 12 bytes. Offsets here are 0-based.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string_view>

namespace vexlo::png {

// The signature as text, for tables of signatures, and as bytes.
inline constexpr std::string_view kSignatureText{"\x89PNG\r\n\x1A\n", 8};
inline constexpr std::array<std::uint8_t, 8> kSignature = [] {
    std::array<std::uint8_t, 8> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(kSignatureText[i]);
    return bytes;
}();

// True when `bytes` begins with the signature.
inline bool HasSignature(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kSignature.size() && std::equal(kSignature.begin(), kSignature.end(), bytes.begin());
}

// The big-endian 32-bit value at bytes[at..at+3]; the caller checks the bounds.
inline std::uint32_t ReadBe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           std::uint32_t{bytes[at + 3]};
}

// Chunk types as ReadBe32 reads them.
inline constexpr std::uint32_t kIHDR = 0x49484452;
inline constexpr std::uint32_t kIDAT = 0x49444154;
inline constexpr std::uint32_t kIEND = 0x49454E44;

inline constexpr std::uint64_t kFirstChunk = kSignature.size();
inline constexpr std::size_t kHeaderSize = 8;      // length and type; the data follows
inline constexpr std::size_t kChunkOverhead = 12;  // header and CRC
inline constexpr std::uint32_t kMaxLength = 0x7FFF'FFFF;

struct ChunkHeader {
    std::uint32_t length = 0;
    std::uint32_t type = 0;
};

// The header at `at` when its 8 bytes lie in `bytes`.
inline std::optional<ChunkHeader> HeaderAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < kHeaderSize) return std::nullopt;
    return ChunkHeader{ReadBe32(bytes, at), ReadBe32(bytes, at + 4)};
}

// The chunk at `at`: its data starts 8 bytes in, its CRC right after the
// data, and the next chunk after the CRC.
inline std::uint64_t CrcAt(std::uint64_t at, std::uint32_t length) { return at + kHeaderSize + length; }
inline std::uint64_t NextChunk(std::uint64_t at, std::uint32_t length) { return at + kChunkOverhead + length; }

// True when the whole chunk at `at`, CRC included, lies within `size` bytes.
inline bool ChunkFits(std::uint64_t at, std::uint32_t length, std::uint64_t size) {
    return at <= size && std::uint64_t{length} + kChunkOverhead <= size - at;
}

// The walk from the signature to the first IEND that extraction makes, over
// chunk headers only, wherever its bytes come from: while HeaderFits, read
// the 8 header bytes at `at` and take ChunkStep. A header is read only while
// at least 9 bytes remain from it; IEND is always 12 bytes, whatever its
// length field holds, and needs one trailing byte after it; a length with
// the top bit set, or a chunk that runs past the end, ends the walk.
struct Step {
    enum class Kind { Next, Trailer, Stop };
    Kind kind = Kind::Stop;
    std::uint64_t at = 0;  // Next: the next chunk; Trailer: the first trailing byte
};
inline bool HeaderFits(std::uint64_t at, std::uint64_t size) { return at <= size && size - at >= kHeaderSize + 1; }
Step ChunkStep(std::span<const std::uint8_t, kHeaderSize> header, std::uint64_t at, std::uint64_t size);

// IHDR's fields, in the order of its 13 data bytes.
struct Ihdr {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t bitDepth = 0;
    std::uint8_t colourType = 0;
    std::uint8_t compression = 0;
    std::uint8_t filter = 0;
    std::uint8_t interlace = 0;
};
inline constexpr std::uint32_t kIhdrLength = 13;
// The signature, IHDR's header and its data: where a PNG's first CRC starts.
inline constexpr std::size_t kIhdrEnd = kSignature.size() + kHeaderSize + kIhdrLength;
inline constexpr std::uint8_t kPalette = 3;

// The fields of IHDR's data at `data` (at least 13 bytes), values unchecked.
Ihdr ParseIhdr(std::span<const std::uint8_t> data);
// The first chunk of a PNG's first bytes as IHDR: none when it is not a
// 13-byte IHDR whose data lies in `head`. The signature is not checked.
std::optional<Ihdr> ReadIhdr(std::span<const std::uint8_t> head);
// Samples per pixel of a colour type (grey 1, RGB 3, palette 1, grey and
// alpha 2, RGBA 4); 0 for a value that is no colour type.
std::uint8_t Channels(std::uint8_t colourType);

inline std::uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// The predictor of filter type `filter` (0 None .. 4 Paeth) for one byte of a
// row, from its left, upper and upper-left neighbours.
inline std::uint8_t Predict(std::uint8_t filter, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    switch (filter) {
        case 1: return a;
        case 2: return b;
        case 3: return static_cast<std::uint8_t>((a + b) / 2);
        case 4: return Paeth(a, b, c);
        default: return 0;
    }
}

// A remnant: the tail of a longer PNG's chunk stream, as a cropping tool that
// rewrites a file in place without truncating it leaves behind its new IEND.
// It ends exactly with an empty IEND chunk (kIendChunk); before that lie the
// end of a chunk cut through (typically the original's one big IDAT) and
// whole chunks whose headers pass IsChainHeader, each leading by its length
// to the next. The recovery needs only the end and follows the chain it
// finds; the trailer kind "png-remnant" asks for a plain chain (its rules in
// engine/trailer_kind.h).
inline constexpr std::array<std::uint8_t, kChunkOverhead> kIendChunk = {0,   0,   0,    0,    'I',  'E',
                                                                        'N', 'D', 0xAE, 0x42, 0x60, 0x82};
inline bool EndsWithIendChunk(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kIendChunk.size() && std::equal(kIendChunk.begin(), kIendChunk.end(), bytes.end() - 12);
}
// A header a remnant's chain goes through: a length below 2^31 and a type
// of four ASCII letters.
bool IsChainHeader(const ChunkHeader& header);

}  // namespace vexlo::png
