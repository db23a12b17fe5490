// The chunk walk and the type sniffing over crafted byte arrays.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/support/png_bytes.h"

namespace vexlo::test {
namespace {

struct WalkCase {
    const char* name;
    Bytes file;
    bool found;
    std::int32_t Fstp;
    std::int32_t OUTBUFSIZE;
};

TEST(CheckPNGEnd, WalksChunkHeadersToTheFirstIend) {
    const Bytes small = test::SmallPng();
    const auto smallSize = static_cast<std::int32_t>(small.size());
    const WalkCase cases[] = {
        {"signature, IEND, 3 bytes", kSignature + Iend() + Bytes{1, 2, 3}, true, 21, 3},
        {"signature and IEND only", kSignature + Iend(), false, 0, 0},
        {"signature only", kSignature, false, 0, 0},
        {"IEND header without its CRC", kSignature + Be32(0) + Ascii("IEND"), false, 0, 0},
        {"IEND with CRC cut short", kSignature + Be32(0) + Ascii("IEND") + Bytes{1, 2, 3}, false, 0, 0},
        {"complete PNG, one byte after", small + Bytes{0x42}, true, smallSize + 1, 1},
        {"IEND length field ignored", kSignature + Chunk("IEND", {}, 1000) + Ascii("xyz"), true, 21, 3},
        {"IEND bytes inside another chunk's data",
         kSignature + Chunk("tEXt", Ascii("IENDIENDIEND")) + Iend() + Ascii("ok"), true, 45, 2},
        {"second IEND is trailing data", kSignature + Iend() + Iend(), true, 21, 12},
        {"no IEND at all", kSignature + Chunk("IHDR", Bytes(13, 0)) + Chunk("IDAT", Bytes(5, 1)), false, 0, 0},
        {"length FFFFFFFF", kSignature + Chunk("IDAT", Bytes(4, 0), 0xFFFFFFFF) + Iend() + Ascii("x"), false, 0, 0},
        {"length with top bit set", kSignature + Chunk("IDAT", {}, 0x80000000) + Iend() + Ascii("x"), false, 0, 0},
        {"length past the end of the file", kSignature + Chunk("IDAT", {}, 0x10) + Iend(), false, 0, 0},
        {"length that would pass 2^31-1", kSignature + Chunk("IDAT", {}, 0x7FFFFFF0) + Iend() + Ascii("x"), false, 0,
         0},
        {"chunk header cut after 7 bytes", kSignature + Bytes{0, 0, 0, 0, 'I', 'E', 'N'}, false, 0, 0},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::int32_t Fstp = -1;
        std::int32_t OUTBUFSIZE = -1;
        EXPECT_EQ(CheckPNGEnd(c.file, Fstp, OUTBUFSIZE), c.found);
        EXPECT_EQ(Fstp, c.Fstp);
        EXPECT_EQ(OUTBUFSIZE, c.OUTBUFSIZE);
    }
}

// Every prefix of a valid PNG-with-trailer, and every single-byte damage of
// it, must end the walk cleanly with a self-consistent answer.
TEST(CheckPNGEnd, EveryPrefixAndSingleByteDamageEndsCleanly) {
    const Bytes png = test::SmallPng();
    const Bytes full = png + test::Jfif(40);
    const std::size_t trailerStart = png.size();  // 0-based offset of the first trailing byte

    for (std::size_t n = 0; n <= full.size(); ++n) {
        const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        std::int32_t Fstp = 0;
        std::int32_t OUTBUFSIZE = 0;
        const bool found = n >= 8 && CheckPNGEnd(prefix, Fstp, OUTBUFSIZE);
        ASSERT_EQ(found, n > trailerStart) << "prefix of " << n << " bytes";
        if (found) {
            EXPECT_EQ(static_cast<std::size_t>(Fstp), trailerStart + 1);
            EXPECT_EQ(static_cast<std::size_t>(OUTBUFSIZE), n - trailerStart);
        }
    }

    for (std::size_t i = 8; i < full.size(); ++i) {
        for (const std::uint8_t damage : {std::uint8_t{0x00}, std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
            Bytes bad = full;
            bad[i] = damage;
            std::int32_t Fstp = 0;
            std::int32_t OUTBUFSIZE = 0;
            if (CheckPNGEnd(bad, Fstp, OUTBUFSIZE)) {
                // Whatever was found, the trailer must lie inside the file and reach its end.
                ASSERT_GE(Fstp, 21);
                ASSERT_GE(OUTBUFSIZE, 1);
                ASSERT_EQ(static_cast<std::size_t>(Fstp - 1 + OUTBUFSIZE), bad.size()) << "byte " << i;
                EXPECT_FALSE(GetFileType(std::span(bad).subspan(static_cast<std::size_t>(Fstp - 1))).empty());
            } else {
                ASSERT_EQ(Fstp, 0);
                ASSERT_EQ(OUTBUFSIZE, 0);
            }
        }
    }
}

TEST(GetFileType, FirstMatchingTestInOrderDecides) {
    const Bytes pngSig = kSignature;
    Bytes jfifAt17(16, 0);
    jfifAt17 = jfifAt17 + Ascii("JFIF");
    Bytes jfifAt18(17, 0);
    jfifAt18 = jfifAt18 + Ascii("JFIF") + Bytes(5, 0);
    Bytes exif = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f'};
    exif.resize(64, 0);
    const Bytes jfif = test::Jfif(20);

    const NamedBytes<std::string_view> cases[] = {
        {"empty", {}, ".dat"},
        {"one byte B", Ascii("B"), ".dat"},
        {"BM, 2 bytes", Ascii("BM"), ".bmp"},
        {"BM wins over everything", Ascii("BMGIF") + pngSig, ".bmp"},
        {"GI, 2 bytes", Ascii("GI"), ".dat"},
        {"GIF, exactly 3 bytes", Ascii("GIF"), ".gif"},
        {"GIF of any version", Ascii("GIF12a-whatever"), ".gif"},
        {"PNG signature", pngSig, ".png"},
        {"7 bytes of the PNG signature", Bytes(pngSig.begin(), pngSig.begin() + 7), ".dat"},
        {"JFIF JPEG, 20 bytes", Bytes(jfif.begin(), jfif.begin() + 20), ".jpg"},
        {"JFIF JPEG cut to 19 bytes", Bytes(jfif.begin(), jfif.begin() + 19), ".dat"},
        {"Exif-only JPEG", exif, ".dat"},
        {"JFIF at position 17", jfifAt17, ".jpg"},
        {"JFIF at position 18", jfifAt18, ".dat"},
        {"text", Ascii("hello, this is a plain text payload"), ".dat"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GetFileType(c.bytes), c.expected);
    }
}

TEST(IsImageType, OnlyTheFourImageTypesOpenTheViewer) {
    for (const std::string_view type : {".bmp", ".gif", ".png", ".jpg"}) EXPECT_TRUE(IsImageType(type)) << type;
    for (const std::string_view type : {".dat", "", ".JPG", "jpg"}) EXPECT_FALSE(IsImageType(type)) << type;
}

}  // namespace
}  // namespace vexlo::test
