// Rebuilding the picture a cropping tool left behind: when an editor writes a
// smaller PNG over the original file without truncating it, the bytes after
// the new IEND are the tail of the original's chunk stream, the end of its
// compressed scanlines. Recover() takes that tail and rebuilds the original's
// last rows: exactly where every byte they depend on is known, and as a best
// guess everywhere.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vexlo::recover {

// What the cropped picture's own header says (its IHDR), as a hint for the
// original's pixel format; zero width when the header could not be read.
struct Hint {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t bitDepth = 8;
    std::uint8_t colourType = 2;
    // The cropped picture's own PNG bytes (the file up to its IEND), when at
    // hand: the best guess takes its most common colours for what the lost
    // bytes leave open (the row above the first rebuilt one, rows' first
    // pixels). Not owned; empty when not given.
    std::span<const std::uint8_t> picture;
};

struct Options {
    std::uint32_t width = 0;  // the original's width in pixels; 0: find it
};

enum class Status {
    Recovered,      // at least one whole row rebuilt
    NotARemnant,    // the trailer is not the tail of a PNG chunk stream
    NothingRebuilt  // a remnant, but no deflate block or no whole row could be found
};

struct Result {
    Status status = Status::NotARemnant;
    std::string message;              // why nothing was rebuilt; empty when Recovered
    std::uint32_t width = 0;          // pixels per row of the pictures below
    bool widthFound = false;          // true: found from the data; false: from Options
    std::uint8_t bytesPerPixel = 0;   // of the original's scanlines (3 RGB, 4 RGBA, ...)
    std::uint32_t rows = 0;           // rows rebuilt, ending with the original's last row
    std::uint64_t startBit = 0;       // where inflating began, counted in bits from the first
                                      // byte of the original's compressed data in the trailer
    std::uint64_t inflatedBytes = 0;  // scanline bytes inflated from there
    double knownShare = 0;            // share of the pixels of `known` that are known for certain
    // Both rows × width × 4 bytes, 8-bit RGBA, top row first.
    std::vector<std::uint8_t> known;  // exact pixels; alpha 0 where a pixel is not known for certain
    std::vector<std::uint8_t> guess;  // every pixel filled in with the best guess
};

// Never throws on any input; time and memory are bounded (see the .cpp).
Result Recover(std::span<const std::uint8_t> trailer, const Hint& hint, const Options& options);

}  // namespace vexlo::recover
