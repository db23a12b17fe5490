// TrailerKind's edge rules over hand-made trailers, each fed whole, byte by
// byte and split in two at every position. Real files of every kind are in
// kind_samples_test.py.
#include "engine/trailer_kind.h"

#include <gtest/gtest.h>

#include "tests/support/png_bytes.h"

namespace vexlo::test {
namespace {

std::string_view KindOf(const std::vector<std::span<const std::uint8_t>>& pieces) {
    TrailerKind kind;
    for (const auto piece : pieces) kind.Feed(piece);
    return kind.Kind();
}

// Bytes with no structure, standing in for compressed image data.
Bytes Noise(std::size_t size) {
    Bytes b(size);
    std::uint32_t x = 0x2545F491;
    for (std::uint8_t& v : b) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>(x >> 24);
    }
    b[0] = 0x5A;  // no signature at the start
    return b;
}

Bytes Le32(std::uint32_t v) {
    const Bytes be = Be32(v);
    return {be.rbegin(), be.rend()};
}

// `size` bytes: "MZ", e_lfanew, and "PE\0\0" where it points when that fits.
Bytes Exe(std::uint32_t lfanew, std::size_t size) {
    Bytes b(size, 0);
    b[0] = 'M';
    b[1] = 'Z';
    const Bytes field = Le32(lfanew);
    std::copy(field.begin(), field.end(), b.begin() + 0x3C);
    const Bytes pe = {'P', 'E', 0, 0};
    if (std::uint64_t{lfanew} + 4 <= size) {
        std::copy(pe.begin(), pe.end(), b.begin() + static_cast<std::ptrdiff_t>(lfanew));
    }
    return b;
}

// An MPEG 1 layer III frame, 128 kbit/s at 44.1 kHz: 417 bytes.
Bytes Mp3Frame(std::uint8_t third = 0x90) {
    Bytes b(417, 0);
    b[0] = 0xFF;
    b[1] = 0xFB;
    b[2] = third;
    return b;
}

TEST(TrailerKind, EdgeRulesInAnyPieces) {
    const Bytes idatTail = Noise(300);
    // An IDAT header in the cut-off data whose chain runs past the end, overlapping the real one.
    const Bytes falseIdat = Noise(40) + Be32(5000) + Ascii("IDAT") + Noise(30);
    const Bytes bmp = Ascii("BM") + Le32(70) + Le32(0) + Le32(54) + Le32(40) + Bytes(50, 0);
    const NamedBytes<std::string_view> cases[] = {
        {"empty", {}, "data"},
        {"zeros", Bytes(3000, 0), "zeros"},
        {"zeros then one byte", Bytes(3000, 0) + Bytes{1}, "data"},
        {"text with tab, CR, LF, FF", Ascii("line 1\tx\r\nline 2\f"), "text"},
        {"BOM, two-, three- and four-byte characters",
         Ascii("\xEF\xBB\xBF"
               "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
         "text"},
        {"a control byte",
         Ascii("abc\x01"
               "def"),
         "data"},
        // Eight ASCII bytes are checked at once: bad bytes at either end of such a run.
        {"a control byte after 8 ASCII bytes",
         Ascii("12345678\x1F"
               "12345678"),
         "data"},
        {"DEL ending 8 ASCII bytes",
         Ascii("1234567\x7F"
               "12345678"),
         "data"},
        {"9 ASCII bytes, then a C1 control", Ascii("123456789\xC2\x80"), "data"},
        {"DEL", Ascii("abc\x7F"), "data"},
        {"a C1 control", Ascii("abc\xC2\x85"), "data"},
        {"overlong slash", Ascii("a\xC0\xAF"), "data"},
        {"surrogate", Ascii("a\xED\xA0\x80"), "data"},
        {"past U+10FFFF", Ascii("a\xF4\x90\x80\x80"), "data"},
        {"stray continuation byte",
         Ascii("a\x80"
               "b"),
         "data"},
        {"character cut at the end", Ascii("price \xE2\x82"), "data"},
        {"bmp", bmp, "bmp"},
        {"bmp with an unknown header size", Ascii("BM") + Le32(70) + Le32(0) + Le32(54) + Le32(41), "data"},
        {"empty zip archive", Ascii("PK\x05\x06") + Bytes(18, 0), "zip"},
        {"rar 4", Ascii("Rar!\x1A\x07") + Bytes{0} + Noise(20), "rar"},
        {"bzip2 level out of range",
         Ascii("BZh0"
               "1AY&SY") +
             Bytes{0},
         "data"},
        {"mov without ftyp", Be32(108) + Ascii("moov") + Noise(100), "mp4"},
        {"ftyp with an impossible box size", Be32(4) + Ascii("ftypisom"), "data"},
        {"ID3 with a bad size byte", Ascii("ID3") + Bytes{3, 0, 0, 0x80, 0, 0, 0}, "data"},
        {"two mp3 frames", Mp3Frame() + Mp3Frame(), "mp3"},
        {"mp3 frame, next beyond the bytes", Mp3Frame(), "mp3"},
        {"mp3 frame, then no frame", Mp3Frame() + Noise(10), "data"},
        {"mp3 frame at another sample rate", Mp3Frame() + Mp3Frame(0x94), "data"},
        {"exe, PE header at the end of the head", Exe(TrailerKind::kHeadSize - 4, 1100), "exe"},
        {"MZ, PE header past the head", Exe(TrailerKind::kHeadSize, 1100), "data"},
        {"MZ, e_lfanew near 2^32", Exe(0xFFFF'FFFE, 0x100), "data"},
        {"MZ, short", Ascii("MZ") + Bytes(20, 0), "data"},
        {"png-remnant, IDAT chain", idatTail + Chunk("IDAT", Noise(100)) + Chunk("IDAT", Noise(7)) + Iend(),
         "png-remnant"},
        {"png-remnant, chain through tEXt",
         idatTail + Chunk("IDAT", Noise(9)) + Chunk("tEXt", Bytes{'a', 0, 'b'}) + Iend(), "png-remnant"},
        {"png-remnant, false IDAT before the chain", falseIdat + Chunk("IDAT", Noise(50)) + Iend(), "png-remnant"},
        {"png-remnant, tail of one big IDAT", idatTail + Iend(), "png-remnant"},
        {"png-remnant, CRC and IEND", Noise(4) + Iend(), "png-remnant"},
        {"png-remnant, IEND alone", Iend(), "png-remnant"},
        {"IDAT chain that misses the end", idatTail + Chunk("IDAT", Noise(5), 6) + Iend(), "data"},
        {"false IDAT only", falseIdat + Iend(), "data"},
        {"IDAT chain through a bad chunk type", Chunk("IDAT", Noise(5)) + Chunk("t3Xt", Noise(3)) + Iend(), "data"},
        {"too short for a CRC", Noise(3) + Iend(), "data"},
        {"a second IEND", idatTail + Iend() + Noise(20) + Iend(), "data"},
        {"IEND, then a whole PNG", Noise(4) + Iend() + test::SmallPng(), "data"},
        {"IEND of another length, then an IDAT chain", Be32(3) + Ascii("IEND") + Chunk("IDAT", Noise(9)) + Iend(),
         "png-remnant"},
        {"IEND with a wrong CRC", idatTail + Be32(0) + Ascii("IEND") + Be32(0xAE426083), "data"},
        {"IEND, then a byte", idatTail + Iend() + Bytes{0}, "data"},
        {"text then IEND", Ascii("hello") + Iend(), "png-remnant"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::span<const std::uint8_t> all(c.bytes);
        EXPECT_EQ(KindOf({all}), c.expected);
        std::vector<std::span<const std::uint8_t>> single;
        for (std::size_t i = 0; i < all.size(); ++i) single.push_back(all.subspan(i, 1));
        EXPECT_EQ(KindOf(single), c.expected) << "byte by byte";
        for (std::size_t at = 0; at <= all.size(); ++at) {
            if (KindOf({all.first(at), {}, all.subspan(at)}) != c.expected) {
                ADD_FAILURE() << "split at " << at;
                break;
            }
        }
    }
}

TEST(TrailerKind, LongTrailersInBoundedState) {
    // Zeros and text are judged on every byte, far past the head.
    const Bytes block(1 << 16, 0);
    TrailerKind zeros;
    for (int i = 0; i < 160; ++i) zeros.Feed(block);
    EXPECT_EQ(zeros.Kind(), "zeros");
    zeros.Feed(Ascii("x"));
    EXPECT_EQ(zeros.Kind(), "data");

    const Bytes line = Ascii("\xE2\x82\xAC and more text\n");
    TrailerKind text;
    for (int i = 0; i < 100'000; ++i) text.Feed(line);
    EXPECT_EQ(text.Kind(), "text");
    text.Feed(Bytes{0});
    EXPECT_EQ(text.Kind(), "data");

    // An IDAT chain whose chunks lie megabytes apart.
    const Bytes idat = Chunk("IDAT", Bytes(3'000'000, 0x11));
    TrailerKind remnant;
    remnant.Feed(Noise(1000));
    remnant.Feed(idat);
    remnant.Feed(idat);
    remnant.Feed(Iend());
    EXPECT_EQ(remnant.Kind(), "png-remnant");
}

}  // namespace
}  // namespace vexlo::test
