// Builders for PNG byte streams, for the tests and the benchmark.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "tests/support/files.h"

namespace vexlo::test {

inline Bytes Ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A row of a test's table: named bytes and what is expected of them.
template <class Expected>
struct NamedBytes {
    const char* name;
    Bytes bytes;
    Expected expected;
};

inline Bytes Repeat(const Bytes& piece, std::size_t times) {
    Bytes all;
    for (std::size_t i = 0; i < times; ++i) all = std::move(all) + piece;
    return all;
}

inline const Bytes kSignature = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

inline std::uint32_t Crc32(const Bytes& data, std::size_t from) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = from; i < data.size(); ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline Bytes Be32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

// One chunk; `length` overrides the length field when given.
inline Bytes Chunk(std::string_view type, const Bytes& data, std::int64_t length = -1) {
    Bytes body = Ascii(type) + data;
    const auto field = static_cast<std::uint32_t>(length >= 0 ? length : static_cast<std::int64_t>(data.size()));
    return Be32(field) + body + Be32(Crc32(body, 0));
}

inline Bytes Iend() { return Chunk("IEND", {}); }

// A whole 8-bit PNG of `width` by `height` pixels of `colourType`, its
// compressed scanlines `idat` in one chunk.
inline Bytes Png(std::uint32_t width, std::uint32_t height, std::uint8_t colourType, const Bytes& idat) {
    return kSignature + Chunk("IHDR", Be32(width) + Be32(height) + Bytes{8, colourType, 0, 0, 0}) +
           Chunk("IDAT", idat) + Iend();
}

// A small but complete-looking PNG (1x1 grey), without trailer.
inline Bytes SmallPng() { return Png(1, 1, 0, {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01}); }

// A JFIF JPEG header padded with `extra` bytes.
inline Bytes Jfif(std::size_t extra = 20) {
    Bytes b = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00};
    for (std::size_t i = 0; i < extra; ++i) b.push_back(static_cast<std::uint8_t>(i * 7));
    return b;
}

}  // namespace vexlo::test
