// The PNG format's primitives, written once: the signature, big-endian
// fields and the five row predictors.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace vexlo::png {

inline constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// The big-endian 32-bit value at bytes[at..at+3]; the caller checks the bounds.
inline std::uint32_t ReadBe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           std::uint32_t{bytes[at + 3]};
}

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

}  // namespace vexlo::png
