// The steps of Recover(), apart so each reads on its own: taking the chunk
// structure off the trailer, finding where a deflate block starts, inflating
// with every byte's origin tracked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "codec/png_decode.h"
#include "png/format.h"

namespace vexlo::recover::detail {

using png::Paeth;
using png::Predict;

// The bounds that keep one call's time and memory in check whatever the input.
inline constexpr std::size_t kMaxTrailerBytes = std::size_t{64} << 20;       // only the trailer's last 64 MiB
inline constexpr std::size_t kMaxStartBytes = std::size_t{256} << 10;        // block starts sought in the first 256 KiB
inline constexpr std::uint64_t kMaxSearchWork = std::uint64_t{256} << 20;    // bytes in and out over all candidates
inline constexpr std::uint64_t kMaxInflateTotal = std::uint64_t{128} << 20;  // bytes inflated per run
inline constexpr std::size_t kMaxKeptBytes = std::size_t{32} << 20;          // scanline bytes kept (the last ones)
inline constexpr std::size_t kLongRunBytes = 2048;  // a stream that does not end must decode this far
inline constexpr std::size_t kWindowSize = 32768;

// The remnant's compressed data with chunk headers and CRCs taken off: the
// cut chunk's end and the IDATs of the chain that leads to the final IEND.
struct Dechunked {
    bool remnant = false;  // the trailer ends as a remnant does (png::EndsWithIendChunk)
    std::vector<std::uint8_t> data;
};
Dechunked Dechunk(std::span<const std::uint8_t> trailer);

struct Start {
    bool found = false;
    bool ended = false;  // the stream ran to its end with only the Adler-32 after it
    std::uint64_t bit = 0;
    std::string why;  // when not found
};
// The earliest bit from which raw inflating reaches the stream's end (or, when
// no start does, runs cleanly to the end of the data for kLongRunBytes at least).
Start FindBlockStart(std::span<const std::uint8_t> data);

// Scanlines inflated from a start with the lost window's bytes tracked: every
// byte is known, or a copy of one window byte whose position is kept.
struct Tracked {
    std::vector<std::uint8_t> value;   // the byte where known; else the window position's low 8 bits
    std::vector<std::uint8_t> source;  // kKnown where known; else the window position's high 7 bits
    bool ended = false;
    bool complete = false;                 // inflating met no error and stayed within the bounds
    std::uint64_t total = 0;               // bytes inflated (value keeps only the last kMaxKeptBytes)
    std::uint64_t firstBlockEnd = 0;       // output offset where the first block ends (0: unknown)
    std::uint64_t firstBlockEndBit = 0;    // and the bit where the next block starts
    std::vector<std::uint32_t> distances;  // matches per distance (MatchDistances)
    static constexpr std::uint8_t kKnown = 0xFF;

    std::size_t Dropped() const { return static_cast<std::size_t>(total - value.size()); }
    bool Known(std::size_t i) const { return source[i] == kKnown; }
    std::size_t WindowPos(std::size_t i) const { return static_cast<std::size_t>(source[i]) << 8 | value[i]; }
};
Tracked InflateTracked(std::span<const std::uint8_t> data, std::uint64_t startBit, bool ended);

// How many of the stream's matches copy from each distance (index 1 to
// kWindowSize), read from `startBit` until `maxOutput` bytes are produced,
// the data ends or a code is invalid: rows that repeat show their length.
struct Matches {
    std::vector<std::uint32_t> perDistance;
    std::uint64_t produced = 0;  // bytes the codes read stand for
    bool ended = false;          // the last block's end was read
};
Matches MatchDistances(std::span<const std::uint8_t> data, std::uint64_t startBit, std::uint64_t maxOutput);

// Pixels counted by colour, a colour being its bpp bytes as one number.
// Bounded however many colours a hostile picture has: past kMaxColours only
// those already seen count on (the common ones show up early).
using ColourCounts = std::unordered_map<std::uint64_t, std::size_t>;
inline constexpr std::size_t kMaxColours = 65536;
inline std::uint64_t PixelKey(const std::uint8_t* pixel, std::size_t bpp) {
    std::uint64_t key = 0;
    for (std::size_t k = 0; k < bpp; ++k) key = key << 8 | pixel[k];
    return key;
}
// A colour's bytes back from its number.
inline void KeyPixel(std::uint64_t key, std::size_t bpp, std::uint8_t* pixel) {
    for (std::size_t k = 0; k < bpp; ++k) pixel[k] = static_cast<std::uint8_t>(key >> (8 * (bpp - 1 - k)));
}
// Whether `counts` holds colour `key` at least `least` times.
inline bool ShownAtLeast(const ColourCounts& counts, std::uint64_t key, std::size_t least) {
    const auto it = counts.find(key);
    return it != counts.end() && it->second >= least;
}
inline void CountColour(ColourCounts& counts, std::uint64_t key) {
    if (counts.size() < kMaxColours || counts.count(key) != 0) ++counts[key];
}
ColourCounts CountColours(const codec::DecodedPng& picture, std::size_t bpp);

// The `count` most common colours (their bpp bytes), most common first.
std::vector<std::vector<std::uint8_t>> CommonPixels(const ColourCounts& counts, std::size_t bpp, std::size_t count);

}  // namespace vexlo::recover::detail
