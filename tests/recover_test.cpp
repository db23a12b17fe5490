// Recover() on originals made here: a screenshot-like picture, filtered and
// compressed with zlib, cut in its chunk stream. The truth to compare with is
// the picture itself and the block boundaries zlib reports on the whole stream.
#include "recover/recover.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "png/format.h"
#include "recover/internal.h"
#include "tests/support/png_bytes.h"

namespace vexlo::recover {
namespace {

using test::Bytes;
using test::operator+;

constexpr int kWidth = 150, kHeight = 200;
const char* const kFilters[] = {"none", "sub", "up", "average", "paeth", "adaptive"};

// The top bytes of a linear congruential sequence: noise that every run repeats.
struct Lcg {
    std::uint32_t seed, multiplier = 1664525u, increment = 1013904223u;
    std::uint8_t operator()() { return static_cast<std::uint8_t>((seed = seed * multiplier + increment) >> 24); }
};

// Noise bands (a photo) at top and bottom around text lines, a side bar and a
// gradient on white; with alpha, a translucent strip. With `darkEdges` the
// last pixel has no red and a noisy rest, so under None each row start is a
// known 0 after a known 0: it looks like a flat channel.
Bytes Picture(int bpp, bool darkEdges = false) {
    Bytes p;
    Lcg rnd{7};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t c[4] = {255, 255, 255, 255};
            if (y < 40 || y >= kHeight - 40) {
                for (int k = 0; k < 3; ++k) c[k] = rnd();
            } else if (x < 24) {
                c[0] = c[1] = 200, c[2] = 210;
            } else if (y % 12 < 8 && x < kWidth - 10) {
                if (rnd() < 70) c[0] = c[1] = c[2] = 30;
            } else if (y > 130) {
                c[0] = static_cast<std::uint8_t>(x), c[1] = static_cast<std::uint8_t>(y), c[2] = 128;
            }
            if (x > 100 && x < 120) c[3] = static_cast<std::uint8_t>(y);
            if (darkEdges && x == kWidth - 1) c[0] = 0, c[1] = rnd(), c[2] = rnd();
            p.insert(p.end(), c, c + bpp);
        }
    return p;
}

// Scanlines of rows `width` pixels wide, with one filter for every row, or
// per row the one of least cost.
Bytes Scanlines(const Bytes& pixels, int bpp, const std::string& filter, std::size_t width = kWidth) {
    const std::size_t n = static_cast<std::size_t>(bpp), len = width * n;
    Bytes out, prior(len, 0);
    for (std::size_t y = 0; y < pixels.size() / len; ++y) {
        const std::uint8_t* row = &pixels[y * len];
        Bytes best;
        long bestCost = -1;
        for (int f = 0; f < 5; ++f) {
            if (filter != "adaptive" && filter != kFilters[f]) continue;
            Bytes line = {static_cast<std::uint8_t>(f)};
            long cost = 0;
            for (std::size_t i = 0; i < len; ++i) {
                const std::uint8_t a = i >= n ? row[i - n] : std::uint8_t{0},
                                   c = i >= n ? prior[i - n] : std::uint8_t{0};
                const auto v =
                    static_cast<std::uint8_t>(row[i] - png::Predict(static_cast<std::uint8_t>(f), a, prior[i], c));
                line.push_back(v);
                cost += v < 128 ? v : 256 - v;
            }
            if (bestCost < 0 || cost < bestCost) best = line, bestCost = cost;
        }
        out.insert(out.end(), best.begin(), best.end());
        prior.assign(row, row + len);
    }
    return out;
}

// `raw` deflated into a zlib stream, or with `windowBits` -15 a bare one.
Bytes Compress(const Bytes& raw, int level, int strategy = Z_DEFAULT_STRATEGY, int windowBits = 15) {
    z_stream s = {};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, windowBits, 8, strategy), Z_OK);
    Bytes z(deflateBound(&s, static_cast<uLong>(raw.size())));
    s.next_in = const_cast<std::uint8_t*>(raw.data());
    s.avail_in = static_cast<uInt>(raw.size());
    s.next_out = z.data();
    s.avail_out = static_cast<uInt>(z.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    z.resize(s.total_out);
    deflateEnd(&s);
    return z;
}

// The trailer a cut `zCut` bytes into the data of one IDAT holding `z` leaves.
Bytes CutAt(const Bytes& z, std::size_t zCut) {
    const Bytes stream = test::Chunk("IDAT", z) + test::Iend();
    return Bytes(stream.begin() + 8 + static_cast<std::ptrdiff_t>(zCut), stream.end());
}

// Columns [left, right) of rows [top, bottom) of the original.
struct Box {
    std::size_t left, top, right, bottom;
    bool Holds(std::size_t x, std::size_t y) const { return x >= left && x < right && y >= top && y < bottom; }
    std::uint32_t Width() const { return static_cast<std::uint32_t>(right - left); }
    std::uint32_t Height() const { return static_cast<std::uint32_t>(bottom - top); }
};

// What an editor saves of `box` cut from `pixels`: its own scanlines under `filter`.
Bytes Crop(const Bytes& pixels, const Box& box, const std::string& filter, int bpp = 3) {
    const std::size_t n = static_cast<std::size_t>(bpp);
    Bytes region;
    for (std::size_t y = box.top; y < box.bottom; ++y) {
        const auto row = pixels.begin() + static_cast<std::ptrdiff_t>((y * kWidth + box.left) * n);
        region.insert(region.end(), row, row + static_cast<std::ptrdiff_t>(box.Width() * n));
    }
    return test::Png(box.Width(), box.Height(), static_cast<std::uint8_t>(bpp == 4 ? 6 : 2),
                     Compress(Scanlines(region, bpp, filter, box.Width()), 6));
}

// Of the original's RGB pixels in `box` that the guess reaches, those in
// `skip` aside: how many it shows right, of how many.
struct Score {
    std::size_t right = 0, of = 0;
};
Score Guessed(const Bytes& pixels, const Result& r, const Box& box, const Box& skip = {}) {
    const std::size_t first = kHeight - r.rows;
    Score score;
    for (std::size_t y = std::max(box.top, first); y < box.bottom; ++y)
        for (std::size_t x = box.left; x < box.right; ++x) {
            if (skip.Holds(x, y)) continue;
            const std::uint8_t* truth = &pixels[(y * kWidth + x) * 3];
            score.right += std::equal(truth, truth + 3, &r.guess[((y - first) * kWidth + x) * 4]);
            ++score.of;
        }
    return score;
}

// Bits where each deflate block of the zlib stream `z` starts, with the
// scanline offset it starts at.
std::vector<std::pair<std::size_t, std::size_t>> BlockStarts(const Bytes& z) {
    std::vector<std::pair<std::size_t, std::size_t>> starts;
    z_stream s = {};
    inflateInit(&s);
    Bytes out(1 << 20);
    s.next_in = const_cast<std::uint8_t*>(z.data());
    s.avail_in = static_cast<uInt>(z.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    while (inflate(&s, Z_BLOCK) == Z_OK) {
        if (s.data_type & 128)
            starts.emplace_back((z.size() - s.avail_in) * 8 - static_cast<std::size_t>(s.data_type & 7), s.total_out);
    }
    inflateEnd(&s);
    return starts;
}

enum class Cut { Data, Crc, Header };

struct Case {
    std::string filter;
    int level, bpp;
    std::size_t idatSize;
    Cut cut;
    bool darkEdges = false;  // every row start then looks like a flat channel
};

// Every filter at both pixel sizes, over the levels, IDAT sizes and cuts in turn.
std::vector<Case> CutOriginals() {
    std::vector<Case> cases;
    const int levels[] = {1, 6, 9};
    const std::size_t idats[] = {8192, 1 << 20, 4096};
    const Cut cuts[] = {Cut::Data, Cut::Crc, Cut::Header};
    int k = 0;
    for (const char* filter : kFilters)
        for (const int bpp : {3, 4}) {
            cases.push_back({filter, levels[k % 3], bpp, idats[k % 3], cuts[(k / 3 + k) % 3]});
            ++k;
        }
    cases.push_back({"none", 9, 3, 8192, Cut::Data, true});
    return cases;
}

// The last rows must be the picture's, and no known pixel may differ from it.
// With None and Sub the known share must reach what exact tracking allows:
// inflating from the true block start over two different windows, a byte is
// knowable where both agree.
void Check(const Case& c, const Bytes& trailer, const Bytes& pixels, const Bytes& raw, std::size_t bit, std::size_t out,
           std::size_t zFrom, const Bytes& z, std::uint32_t widthOption = 0) {
    Hint hint;  // as wide as a crop would leave it, the original's format
    hint.width = 100;
    hint.colourType = c.bpp == 4 ? 6 : 2;
    // The cropped picture itself: the original's top rows, whole.
    const Bytes cropped = Crop(pixels, {0, 0, kWidth, 30}, c.filter, c.bpp);
    if (c.level != 6) hint.picture = cropped;
    const Result r = Recover(trailer, hint, Options{widthOption});
    ASSERT_EQ(r.status, Status::Recovered) << r.message;
    const std::size_t stride = std::size_t{kWidth} * static_cast<std::size_t>(c.bpp) + 1;
    EXPECT_EQ(r.width, std::uint32_t{kWidth});
    EXPECT_EQ(r.widthFound, widthOption == 0);
    EXPECT_EQ(r.bytesPerPixel, c.bpp);
    EXPECT_EQ(r.startBit, bit - zFrom * 8);
    ASSERT_EQ(r.rows, (raw.size() - out) / stride);
    ASSERT_EQ(r.known.size(), std::size_t{r.rows} * kWidth * 4);

    // What tracking allows, per scanline byte from the block start.
    Bytes windows[2] = {Bytes(32768, 0), Bytes(32768, 0xFF)}, got[2];
    for (int k = 0; k < 2; ++k) {
        z_stream s = {};
        inflateInit2(&s, -15);
        inflateSetDictionary(&s, windows[k].data(), 32768);
        if (bit % 8) inflatePrime(&s, static_cast<int>(8 - bit % 8), z[bit / 8] >> (bit % 8));
        got[k].resize(raw.size() - out);
        s.next_in = const_cast<std::uint8_t*>(z.data() + (bit + 7) / 8);
        s.avail_in = static_cast<uInt>(z.size() - (bit + 7) / 8);
        s.next_out = got[k].data();
        s.avail_out = static_cast<uInt>(got[k].size());
        EXPECT_EQ(inflate(&s, Z_FINISH), Z_STREAM_END);
        inflateEnd(&s);
    }
    std::size_t limit = 0, known = 0;
    const std::size_t first = got[0].size() % stride, top = kHeight - r.rows;
    for (std::size_t y = 0; y < r.rows; ++y) {
        const std::size_t at = first + y * stride;
        bool left[4] = {true, true, true, true};
        for (std::size_t x = 0; x < kWidth; ++x) {
            bool pixel = got[0][at] == got[1][at];
            for (std::size_t k = 0; k < static_cast<std::size_t>(c.bpp); ++k) {
                const std::size_t i = at + 1 + x * static_cast<std::size_t>(c.bpp) + k;
                left[k] = got[0][i] == got[1][i] && (c.filter == "none" || left[k]);
                pixel = pixel && left[k];
            }
            limit += pixel;
            // Shown as known: alpha not 0 (an RGBA original's transparent
            // pixels can only be checked by their colour).
            const std::uint8_t* mine = &r.known[(y * kWidth + x) * 4];
            const std::uint8_t* truth = &pixels[((top + y) * kWidth + x) * static_cast<std::size_t>(c.bpp)];
            const std::uint8_t opaque[4] = {truth[0], truth[1], truth[2], c.bpp == 4 ? truth[3] : std::uint8_t{255}};
            if (mine[3] != 0) {
                ++known;
                ASSERT_TRUE(std::equal(opaque, opaque + 4, mine)) << "row " << y << " pixel " << x;
                // The guess keeps every known pixel.
                ASSERT_TRUE(std::equal(mine, mine + 4, &r.guess[(y * kWidth + x) * 4]))
                    << "row " << y << " pixel " << x;
            } else {
                ASSERT_TRUE(mine[0] == 0 && mine[1] == 0 && mine[2] == 0) << "row " << y << " pixel " << x;
            }
        }
    }
    const double engineKnown = r.knownShare * static_cast<double>(r.rows * kWidth);
    if (c.filter == "none" || c.filter == "sub") {
        EXPECT_GE(engineKnown + 0.5, static_cast<double>(limit));
    }
    EXPECT_GE(engineKnown + 0.5, static_cast<double>(known));
}

class CutOriginal : public ::testing::TestWithParam<Case> {};

TEST_P(CutOriginal, RebuildsTheLastRows) {
    const Case& c = GetParam();
    const Bytes pixels = Picture(c.bpp, c.darkEdges), raw = Scanlines(pixels, c.bpp, c.filter),
                z = Compress(raw, c.level);
    Bytes stream;
    std::vector<std::size_t> dataAt;  // where each IDAT's data lies in `stream`
    for (std::size_t i = 0; i < z.size(); i += c.idatSize) {
        dataAt.push_back(stream.size() + 8);
        stream =
            stream +
            test::Chunk("IDAT", Bytes(z.begin() + static_cast<std::ptrdiff_t>(i),
                                      z.begin() + static_cast<std::ptrdiff_t>(std::min(z.size(), i + c.idatSize))));
    }
    stream = stream + test::Iend();
    // Cut about a third into the compressed data.
    const std::size_t zCut = z.size() / 3, chunk = zCut / c.idatSize;
    std::size_t cut = dataAt[chunk] + zCut % c.idatSize, zFrom = zCut;
    const std::size_t chunkEnd = std::min(z.size(), (chunk + 1) * c.idatSize);
    if (c.cut != Cut::Data && chunkEnd < z.size()) {
        cut = dataAt[chunk] + (chunkEnd - chunk * c.idatSize) + (c.cut == Cut::Crc ? 2 : 7);
        zFrom = chunkEnd;
    }
    const auto starts = BlockStarts(z);
    const auto next = std::find_if(starts.begin(), starts.end(), [&](auto s) { return s.first >= zFrom * 8; });
    ASSERT_NE(next, starts.end());
    const Bytes trailer(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end());
    // With a width given, rows placed from the stream's end are trusted
    // however flat their starts look.
    Check(c, trailer, pixels, raw, next->first, next->second, zFrom, z, c.darkEdges ? kWidth : 0);
    if (c.filter == "adaptive") {
        Check(c, trailer, pixels, raw, next->first, next->second, zFrom, z, kWidth);
        // A width a pixel off puts filter bytes where pixels are: refused, not shown.
        for (const std::uint32_t wrong : {std::uint32_t{kWidth} - 1, std::uint32_t{kWidth} + 1})
            EXPECT_EQ(Recover(trailer, Hint{}, Options{wrong}).status, Status::NothingRebuilt) << wrong;
    }
}

std::string Name(const Case& c) {
    const char* const cuts[] = {"Data", "Crc", "Header"};
    return c.filter + (c.darkEdges ? "DarkEdges" : "") + "_level" + std::to_string(c.level) + "_bpp" +
           std::to_string(c.bpp) + "_idat" + std::to_string(c.idatSize) + "_cut" + cuts[static_cast<int>(c.cut)];
}
void PrintTo(const Case& c, std::ostream* out) { *out << Name(c); }
INSTANTIATE_TEST_SUITE_P(Recover, CutOriginal, ::testing::ValuesIn(CutOriginals()),
                         [](const auto& param) { return Name(param.param); });

// A box painted over keeps the picture's size: outside the box the cropped
// picture is the original, and the guess takes the lost window's bytes and
// the row above from it, under filters that spread one wrong byte far; also
// when the editor saved it with an alpha channel the original has not.
struct Painted {
    const char* filter;
    int savedBpp;
};
class PaintedOverPicture : public ::testing::TestWithParam<Painted> {};

TEST_P(PaintedOverPicture, GuessesFromIt) {
    const Bytes pixels = Picture(3);
    const int bpp = GetParam().savedBpp;
    const Box box{30, 150, 90, 170};
    Bytes painted = Picture(bpp);  // the same colours, opaque
    for (std::size_t y = box.top; y < box.bottom; ++y)
        for (std::size_t x = box.left; x < box.right; ++x)
            std::fill_n(&painted[(y * kWidth + x) * static_cast<std::size_t>(bpp)], 3, std::uint8_t{0});
    const auto colourType = static_cast<std::uint8_t>(bpp == 4 ? 6 : 2);
    const Bytes png = test::Png(kWidth, kHeight, colourType, Compress(Scanlines(painted, bpp, "sub"), 6));
    const Bytes z = Compress(Scanlines(pixels, 3, GetParam().filter), 9);
    const Result r = Recover(CutAt(z, z.size() / 3), Hint{kWidth, kHeight, 8, colourType, png}, Options{});
    ASSERT_EQ(r.status, Status::Recovered) << r.message;
    ASSERT_EQ(r.width, std::uint32_t{kWidth});
    const Score outside = Guessed(pixels, r, {0, 0, kWidth, kHeight}, box);
    EXPECT_GE(outside.right * 100, outside.of * 99) << outside.right << " of " << outside.of;
}

INSTANTIATE_TEST_SUITE_P(Recover, PaintedOverPicture,
                         ::testing::Values(Painted{"up", 3}, Painted{"average", 3}, Painted{"paeth", 3},
                                           Painted{"paeth", 4}),
                         [](const auto& p) {
                             return std::string(p.param.filter) + (p.param.savedBpp == 4 ? "Rgba" : "");
                         });

// A region cut from the middle of the screen, reaching below the cut: the
// guess finds where it sits and shows its pixels there (under filters whose
// guess misses them without it).
class RegionCrop : public ::testing::TestWithParam<const char*> {};

TEST_P(RegionCrop, ShowsItWhereItSits) {
    const Bytes pixels = Picture(3);
    const Box region{30, 20, 130, 170};
    const Bytes png = Crop(pixels, region, "sub");
    const Bytes z = Compress(Scanlines(pixels, 3, GetParam()), 9);
    const Result r = Recover(CutAt(z, z.size() / 3), Hint{region.Width(), region.Height(), 8, 2, png}, Options{kWidth});
    ASSERT_EQ(r.status, Status::Recovered) << r.message;
    ASSERT_LT(kHeight - r.rows, region.bottom);
    const Score inside = Guessed(pixels, r, region);
    EXPECT_EQ(inside.right, inside.of);
}

INSTANTIATE_TEST_SUITE_P(Recover, RegionCrop, ::testing::Values("average", "paeth", "adaptive"),
                         [](const auto& p) { return std::string(p.param); });

// A cropped picture as wide as the original and taller than the rows
// rebuilt, but from its top: taken at first for one only painted over, whose
// rows end with the original's. Rows whose filter byte is lost while some of
// their bytes are known must not be looked up as window positions (they have
// none): that read far past the window's tables.
TEST(Guess, WideCropFromTheTop) {
    Bytes pixels;
    Lcg rnd{11};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t v = rnd();
            pixels =
                std::move(pixels) + (x >= 20 && y % 10 < 8 && v < 200 ? Bytes{230, v, static_cast<std::uint8_t>(v * 3)}
                                                                      : Bytes{28, 24, 38});
        }
    const Box crop{0, 0, kWidth, 10};
    const Bytes cropped = Crop(pixels, crop, "none"), z = Compress(Scanlines(pixels, 3, "none"), 9);
    const Result r = Recover(CutAt(z, z.size() / 4), Hint{kWidth, crop.Height(), 8, 2, cropped}, Options{kWidth});
    ASSERT_EQ(r.status, Status::Recovered) << r.message;
    EXPECT_GT(r.rows, 0u);
    EXPECT_EQ(r.guess.size(), std::size_t{r.rows} * kWidth * 4);
}

// Under Up, a photo right of where the cropped picture ends, below a flat
// panel: each column of the row above is the value that makes the panel
// one of the picture's colours, and the photo comes out right below it.
TEST(Guess, UpColumnsPastTheCrop) {
    constexpr std::size_t kPhotoLeft = 100, kPhotoTop = 80;
    Bytes pixels;
    Lcg rnd{5};
    for (std::size_t y = 0; y < kHeight; ++y)
        for (std::size_t x = 0; x < kWidth; ++x) {
            // Noise at the top, for deflate blocks to start after the cut.
            const bool noise = y < 40, photo = x >= kPhotoLeft && y >= kPhotoTop,
                       text = y % 12 < 8 && x % 7 < 4 && rnd() < 90;
            pixels = std::move(pixels) +
                     (noise   ? Bytes{rnd(), rnd(), rnd()}
                      : photo ? Bytes{static_cast<std::uint8_t>(x * 3 + y), rnd(), static_cast<std::uint8_t>(y * 2)}
                      : text  ? Bytes{30, 30, 40}
                              : Bytes{240, 243, 251});
        }
    const Box crop{0, 0, 80, 60};
    const Bytes png = Crop(pixels, crop, "none"), z = Compress(Scanlines(pixels, 3, "up"), 9);
    const Result r = Recover(CutAt(z, z.size() / 3), Hint{crop.Width(), crop.Height(), 8, 2, png}, Options{kWidth});
    ASSERT_EQ(r.status, Status::Recovered) << r.message;
    const std::size_t first = kHeight - r.rows;
    ASSERT_LT(first, kPhotoTop);
    const Score photo = Guessed(pixels, r, {kPhotoLeft, kPhotoTop, kWidth, kHeight});
    EXPECT_GE(photo.right * 100, photo.of * 95) << photo.right << " of " << photo.of << ", first row " << first;
}

// The stream's matches read without inflating: every kind of block, rows of
// noise repeated so that whole-row copies are the only ones worth making.
struct MatchCase {
    const char* name;
    int level, strategy;
    bool rowCopies;  // the encoder makes matches at all
};

class MatchScan : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchScan, CountsTheRowDistance) {
    const MatchCase c = GetParam();
    constexpr std::size_t kRow = 257;
    Bytes raw;
    Lcg rnd{3, 69069u, 1u};
    for (std::size_t i = 0; i < kRow; ++i) raw.push_back(rnd());
    for (int y = 0; y < 6; ++y) raw = raw + raw;
    const Bytes z = Compress(raw, c.level, c.strategy, -15);
    ASSERT_FALSE(HasFailure()) << "deflate failed";
    const detail::Matches m = detail::MatchDistances(z, 0, 1 << 30);
    EXPECT_EQ(m.produced, raw.size());
    EXPECT_TRUE(m.ended);
    std::uint64_t all = 0, rows = 0;
    for (std::size_t d = 0; d < m.perDistance.size(); ++d) (d % kRow == 0 ? rows : all) += m.perDistance[d];
    all += rows;
    if (c.rowCopies) {
        EXPECT_GE(rows, 20u);
        EXPECT_GE(10 * rows, 9 * all);
    } else {
        EXPECT_EQ(all, 0u);
    }
    // Cut short, the scan stops at the data's end without claiming the stream's.
    const detail::Matches cut = detail::MatchDistances(std::span(z).first(z.size() / 2), 0, 1 << 30);
    EXPECT_LT(cut.produced, raw.size());
    EXPECT_FALSE(cut.ended);
}

INSTANTIATE_TEST_SUITE_P(
    Recover, MatchScan,
    ::testing::Values(MatchCase{"stored", 0, Z_DEFAULT_STRATEGY, false}, MatchCase{"fast", 1, Z_DEFAULT_STRATEGY, true},
                      MatchCase{"best", 9, Z_DEFAULT_STRATEGY, true}, MatchCase{"filtered", 6, Z_FILTERED, true},
                      MatchCase{"fixed", 6, Z_FIXED, true}, MatchCase{"huffman_only", 6, Z_HUFFMAN_ONLY, false}),
    [](const auto& c) { return std::string(c.param.name); });

struct Hostile {
    const char* name;
    Bytes trailer;
    Status status;
};

std::vector<Hostile> HostileInputs() {
    Bytes garbage;
    Lcg rnd{1, 69069u, 1u};
    for (int i = 0; i < 70000; ++i) garbage.push_back(rnd());
    const Bytes z = Compress(Scanlines(Picture(3), 3, "sub"), 6);
    return {
        {"empty", {}, Status::NotARemnant},
        {"garbage_without_IEND", garbage, Status::NotARemnant},
        {"only_IEND", test::Iend(), Status::NothingRebuilt},
        {"garbage", garbage + test::Iend(), Status::NothingRebuilt},
        {"a_truncated_stream", test::Chunk("IDAT", Bytes(z.begin() + 100, z.begin() + 1500)) + test::Iend(),
         Status::NothingRebuilt},
        {"a_huge_claimed_length", Bytes{1, 2, 3, 4, 5} + test::Chunk("IDAT", Bytes(64, 0), 0x7FFFFFFF) + test::Iend(),
         Status::NothingRebuilt},
        {"a_length_beyond_2_31", test::Chunk("IDAT", garbage, 0xFFFFFFF0) + test::Iend(), Status::NothingRebuilt},
    };
}

void PrintTo(const Hostile& c, std::ostream* out) { *out << c.name; }
class HostileInput : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileInput, EndsCleanly) {
    const Hostile& c = GetParam();
    const Result r = Recover(c.trailer, Hint{}, Options{});
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_FALSE(r.message.empty()) << c.name;
    EXPECT_TRUE(r.known.empty() && r.guess.empty()) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Recover, HostileInput, ::testing::ValuesIn(HostileInputs()),
                         [](const auto& input) { return std::string(input.param.name); });

}  // namespace
}  // namespace vexlo::recover
