// The chunk walk over an open source: signature, then only chunk headers.
#include "engine/stream_walk.h"

#include <array>
#include <cstring>

namespace vexlo {
namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::array<std::uint8_t, 4> kIEND = {0x49, 0x45, 0x4E, 0x44};

// Reads exactly bytes.size() bytes: a short read inside the measured size
// means the file shrank, which is as bad as a failed read.
bool ReadExactly(const platform::SourceFile& source, std::uint64_t offset, std::span<std::uint8_t> bytes) {
    const std::optional<std::size_t> got = source.ReadAt(offset, bytes);
    return got && *got == bytes.size();
}

}  // namespace

// CheckPNGEnd's rules with 0-based offsets (p = sp - 1): a header is read
// only while at least 9 bytes remain from it; IEND needs 13 (its 12 bytes
// and one trailing byte); a length with the top bit set ends the walk; a
// chunk that runs past the end ends it too. That last test stands in for
// CheckPNGEnd's 2^31 bound, which within kMaxSourceSize can only fire when
// the chunk runs past the end anyway; beyond, there is no bound.
ProcessResult WalkSource(const platform::SourceFile& source, TrailerSpan& trailer) {
    trailer = {};
    const std::uint64_t size = source.Size();
    std::array<std::uint8_t, 8> header{};
    if (size < header.size()) return resNOTPNG;
    if (!ReadExactly(source, 0, header)) return resNOREAD;
    if (header != kPngSignature) return resNOTPNG;

    std::uint64_t p = header.size();  // always <= size, so size - p never wraps
    while (size - p >= 9) {
        if (!ReadExactly(source, p, header)) return resNOREAD;
        if (std::memcmp(header.data() + 4, kIEND.data(), kIEND.size()) == 0) {
            // IEND is always 12 bytes: its length field is not trusted.
            if (size - p <= 12) return resNOTRAIL;
            trailer.offset = p + 12;
            trailer.length = size - trailer.offset;
            return resDONE;
        }
        if (header[0] >= 0x80) return resNOTRAIL;
        const std::uint64_t length = (std::uint64_t{header[0]} << 24) | (std::uint64_t{header[1]} << 16) |
                                     (std::uint64_t{header[2]} << 8) | std::uint64_t{header[3]};
        if (length + 12 > size - p) return resNOTRAIL;
        p += length + 12;
    }
    return resNOTRAIL;
}

}  // namespace vexlo
