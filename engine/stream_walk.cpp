// The chunk walk over an open source: signature, then only chunk headers.
#include "engine/stream_walk.h"

#include <array>

#include "png/format.h"

namespace vexlo {
namespace {

// Reads exactly bytes.size() bytes: a short read inside the measured size
// means the file shrank, which is as bad as a failed read.
bool ReadExactly(const platform::SourceFile& source, std::uint64_t offset, std::span<std::uint8_t> bytes) {
    const std::optional<std::size_t> got = source.ReadAt(offset, bytes);
    return got && *got == bytes.size();
}

}  // namespace

// CheckPNGEnd's steps; only its 2^31 bound is left out, which within
// kMaxSourceSize can only fire when the chunk runs past the end anyway.
ProcessResult WalkSource(const platform::SourceFile& source, TrailerSpan& trailer) {
    trailer = {};
    const std::uint64_t size = source.Size();
    std::array<std::uint8_t, png::kSignature.size()> signature{};
    if (size < signature.size()) return resNOTPNG;
    if (!ReadExactly(source, 0, signature)) return resNOREAD;
    if (signature != png::kSignature) return resNOTPNG;

    std::array<std::uint8_t, png::kHeaderSize> header{};
    for (std::uint64_t at = png::kFirstChunk; png::HeaderFits(at, size);) {
        if (!ReadExactly(source, at, header)) return resNOREAD;
        const png::Step step = png::ChunkStep(header, at, size);
        if (step.kind == png::Step::Kind::Stop) return resNOTRAIL;
        if (step.kind == png::Step::Kind::Trailer) {
            trailer.offset = step.at;
            trailer.length = size - step.at;
            return resDONE;
        }
        at = step.at;
    }
    return resNOTRAIL;
}

}  // namespace vexlo
