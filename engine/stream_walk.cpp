// The chunk walk over an open source: signature, then only chunk headers.
#include "engine/stream_walk.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "png/format.h"

namespace vexlo {
namespace {

// A file of empty chunks is one header every 12 bytes: reading each with its
// own system call costs about 35 s per GiB, so headers come from a window
// read ahead in one piece.
constexpr std::size_t kReadAhead = 64 * 1024;

class HeaderReader {
public:
    HeaderReader(const platform::SourceFile& source, std::uint64_t size)
        : source_(source), size_(size), window_(kReadAhead) {}

    // Exactly bytes.size() bytes at `offset`: a short read inside the measured
    // size means the file shrank, which is as bad as a failed read.
    bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) {
        if (offset < start_ || offset - start_ > filled_ || filled_ - (offset - start_) < bytes.size()) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), size_ - offset));
            const std::optional<std::size_t> got = source_.ReadAt(offset, std::span(window_).first(want));
            start_ = offset;
            filled_ = got.value_or(0);
            if (filled_ < bytes.size()) return false;
        }
        std::memcpy(bytes.data(), window_.data() + (offset - start_), bytes.size());
        return true;
    }

private:
    const platform::SourceFile& source_;
    const std::uint64_t size_;
    std::vector<std::uint8_t> window_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
};

}  // namespace

// CheckPNGEnd's steps; only its 2^31 bound is left out, which within
// kMaxSourceSize can only fire when the chunk runs past the end anyway.
ProcessResult WalkSource(const platform::SourceFile& source, TrailerSpan& trailer) {
    trailer = {};
    const std::uint64_t size = source.Size();
    std::array<std::uint8_t, png::kSignature.size()> signature{};
    if (size < signature.size()) return resNOTPNG;
    HeaderReader reader(source, size);
    if (!reader.Read(0, signature)) return resNOREAD;
    if (signature != png::kSignature) return resNOTPNG;

    std::array<std::uint8_t, png::kHeaderSize> header{};
    for (std::uint64_t at = png::kFirstChunk; png::HeaderFits(at, size);) {
        if (!reader.Read(at, header)) return resNOREAD;
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
