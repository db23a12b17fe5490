// The GIF reader on our own pictures and on damaged copies of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codec/gif_decoder.h"
#include "tests/support/files.h"

namespace {

using vexlo::codec::DecodeGif;

// The pictures the program carries as resources, read from res/.
std::vector<std::uint8_t> Resource(const char* name) {
    return vexlo::test::ReadFileBytes(std::string(VEXLO_RES_DIR "/") + name);
}

struct Shipped {
    const char* id;
    int width, height;
    bool transparent;
};
constexpr Shipped kShipped[] = {
    {"info0.gif", 80, 61, true}, {"info1.gif", 80, 61, true}, {"info2.gif", 80, 61, true},
    {"info3.gif", 80, 61, true}, {"info4.gif", 80, 61, true}, {"balloon.gif", 32, 32, false},
};

TEST(GifDecoderTest, ReadsEveryShippedPictureWithItsSizeAndTransparency) {
    for (const Shipped& s : kShipped) {
        SCOPED_TRACE(s.id);
        const auto image = DecodeGif(Resource(s.id));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, s.width);
        EXPECT_EQ(image->height, s.height);
        ASSERT_EQ(image->pixels.size(), static_cast<std::size_t>(s.width * s.height));
        std::size_t clear = 0;
        for (const std::uint32_t p : image->pixels) {
            if ((p >> 24) == 0) {
                ++clear;
                EXPECT_EQ(p & 0xFFFFFFu, 0xC0C0C0u) << "only the light grey is see-through";
            }
        }
        EXPECT_EQ(clear > 0, s.transparent);
    }
}

TEST(GifDecoderTest, SmallestTransparentGif) {
    // One pixel, palette white/black, index 0 transparent.
    const std::vector<std::uint8_t> gif = {'G',  'I', 'F', '8', '9',  'a',  1, 0, 1, 0,    0x80, 0, 0,    0xFF, 0xFF,
                                           0xFF, 0,   0,   0,   0x21, 0xF9, 4, 1, 0, 0,    0,    0, 0x2C, 0,    0,
                                           0,    0,   1,   0,   1,    0,    0, 2, 2, 0x44, 0x01, 0, 0x3B};
    const auto image = DecodeGif(gif);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->pixels.size(), 1u);
    EXPECT_EQ(image->pixels[0], 0x00FFFFFFu);
}

TEST(GifDecoderTest, CutOrDamagedCopiesFailCleanlyOrDecodeTheSamePicture) {
    for (const Shipped& s : kShipped) {
        SCOPED_TRACE(s.id);
        const std::vector<std::uint8_t> good = Resource(s.id);
        const auto reference = DecodeGif(good);
        ASSERT_TRUE(reference);
        // Cut one byte at a time: only a copy that still holds the whole
        // frame may decode, and then to the same pixels.
        for (std::size_t length = 0; length < good.size(); ++length) {
            const auto cut = DecodeGif(std::span(good.data(), length));
            if (cut) {
                EXPECT_EQ(cut->pixels, reference->pixels) << "cut at " << length;
            }
        }
        // Every byte flipped in turn: any outcome but a crash or a picture
        // of the wrong size.
        for (std::size_t i = 0; i < good.size(); ++i) {
            std::vector<std::uint8_t> damaged = good;
            damaged[i] = static_cast<std::uint8_t>(damaged[i] ^ 0xFF);
            if (const auto image = DecodeGif(damaged)) {
                EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(image->width * image->height));
            }
        }
    }
}

TEST(GifDecoderTest, RejectsWhatIsNoGif) {
    const std::vector<std::vector<std::uint8_t>> cases = {
        {},
        {'G', 'I', 'F', '8', '9', 'a'},
        {'G', 'I', 'F', '8', '8', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B},
        {'G', 'I', 'F', '8', '9', 'a', 0, 0, 1, 0, 0, 0, 0, 0x3B},  // zero width
        {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B},  // no frame
        // A frame without any palette.
        {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B},
        // A frame larger than the screen it sits on.
        {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0,    0,    0, 1,   1,
         1,   0x2C, 0,   0,   0,   0,   2, 0, 1, 0, 0,    2, 2, 0x44, 0x01, 0, 0x3B},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_FALSE(DecodeGif(cases[i])) << "case " << i;
}

}  // namespace
