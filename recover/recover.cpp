// Recover(): from the tracked scanlines to pictures. The width and pixel
// format come from where known bytes 0-4 line up as filter bytes and from how
// often copies of the lost window reach back whole rows; the rows are then
// unfiltered twice, once exactly (a byte is known only when everything it
// depends on is) and once as a best guess that fills every lost byte.
//
// Bounds per call, whatever the input (see also internal.h): the
// trailer's last 64 MiB; block starts sought in the first 256 KiB of its
// compressed data, at most 256 MiB read and inflated over all candidates;
// at most 128 MiB inflated per run (three runs, at most three starts tried)
// and the last 32 MiB of scanlines kept; widths from 64 to 16384 pixels,
// scored over the last 4 MiB of scanlines; at most 8 Mi pixels rebuilt (the
// last rows); the cropped picture's first 64 MiB and 32 MiB of its scanlines,
// 65536 colours counted. Peak memory stays under about 300 MiB.
#include "recover/recover.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "recover/internal.h"

namespace vexlo::recover {

namespace {

using detail::Predict;
using detail::Tracked;
using Bytes = std::vector<std::uint8_t>;

// Widths searched: pictures narrower than 64 pixels are no screenshots, and
// short strides are where content that repeats inside a row (a texture, a
// photo's waves) looks like rows.
constexpr std::uint32_t kMinWidth = 64, kMaxWidth = 16384;
constexpr std::size_t kScoreBytes = std::size_t{4} << 20;
constexpr std::size_t kAlignScoreBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxPixels = std::size_t{8} << 20;
constexpr std::size_t kPaletteSize = 6;    // the cropped picture's colours tried in the guess
constexpr std::size_t kPriorRows = 16;     // rows that choose the colours of the row above the first
constexpr double kMinEvidence = 16;        // bits in favour of a width found from the data,
constexpr double kMinDataEvidence = 3;     // of which at least these from the data itself,
constexpr double kMinMargin = 4;           // and these more than any other stride's but its multiples,
constexpr double kCopiesOnlyRatio = 1.25;  // or this many times it when no row's filter byte is known
constexpr std::size_t kMinFoundRows = 4;   // whole rows a width found from the data needs
constexpr double kMinFormatBits = 32;      // RGB against RGBA on the same stride
// Priors: an original as wide as the cropped picture (only painted over), a
// screen's width, the cropped picture's pixel format.
constexpr double kHintWidthBits = 12, kScreenWidthBits = 6, kHintFormatBits = 8;

// Widths screens commonly have, tried when the rows' alignment is unknown.
constexpr std::array<std::uint32_t, 16> kScreenWidths = {640,  800,  1024, 1152, 1280, 1360, 1366, 1440,
                                                         1536, 1600, 1680, 1920, 2048, 2560, 3440, 3840};

// How the original stored a pixel: bytes per pixel, channels, bytes per sample.
struct Format {
    std::uint8_t bpp = 3;
    std::uint8_t channels = 3;
    std::uint8_t sampleBytes = 1;
};

std::optional<Format> FormatOf(const Hint& hint) {
    if (hint.width == 0 || (hint.bitDepth != 8 && hint.bitDepth != 16)) return std::nullopt;
    const std::uint8_t s = hint.bitDepth == 16 ? 2 : 1;
    switch (hint.colourType) {
        case 0: return Format{s, 1, s};
        case 2: return Format{static_cast<std::uint8_t>(3 * s), 3, s};
        case 3: return s == 1 ? std::optional<Format>(Format{1, 1, 1}) : std::nullopt;  // indices shown as grey
        case 4: return Format{static_cast<std::uint8_t>(2 * s), 2, s};
        case 6: return Format{static_cast<std::uint8_t>(4 * s), 4, s};
        default: return std::nullopt;
    }
}

// Where the rows lie in the scanlines: `rows` rows of `stride` bytes from `first`.
struct Layout {
    Format format;
    std::uint32_t width = 0;
    std::size_t stride = 0;
    std::size_t first = 0;
    std::size_t rows = 0;
    double evidence = -1e300;      // bits for this layout, priors included
    double dataEvidence = -1e300;  // from the data alone
    double rivalEvidence = 0;      // the best data evidence of a stride not a multiple of this one
    double multipleEvidence = 0;   // and of a multiple of it (two rows read as one)
};

// Evidence, in bits, that the known bytes at given positions are filter
// bytes. A byte 0-4 counts for it only where it differs from the byte one
// pixel before: a channel that stays flat (an opaque alpha is 0 throughout
// under Sub, Up or Paeth) would otherwise make a stride that walks along it
// look as good as the true one. Such a byte counts as much as it is rare
// among the bytes that differ from the one a pixel before; a larger byte at
// a row start rules the stride out.
class RowStartScore {
public:
    RowStartScore(const Tracked& t, std::size_t from, std::size_t bpp) : t_(t), bpp_(bpp) {
        std::size_t pairs = 0, small = 0;
        for (std::size_t i = from + bpp; i < t.value.size(); ++i)
            if (t.Known(i) && Breaks(i)) {
                ++pairs;
                small += t.value[i] <= 4;
            }
        const double p =
            pairs == 0 ? 0.5 : std::clamp(static_cast<double>(small) / static_cast<double>(pairs), 0.02, 0.95);
        good_ = std::log2(0.999 / p);
        bad_ = -1e9;  // a true start and stride never have one
    }
    struct Counts {
        std::size_t good = 0, flat = 0, bad = 0;
    };
    // Row starts at from, from + stride, ... below `end`.
    Counts Count(std::size_t from, std::size_t end, std::size_t stride) const {
        Counts c;
        for (std::size_t p = from; p < end; p += stride) {
            if (!t_.Known(p)) continue;
            if (t_.value[p] > 4)
                ++c.bad;
            else if (Breaks(p))
                ++c.good;
            else
                ++c.flat;
        }
        return c;
    }
    double Score(std::size_t from, std::size_t end, std::size_t stride) const {
        const Counts c = Count(from, end, stride);
        return static_cast<double>(c.good) * good_ + static_cast<double>(c.bad) * bad_;
    }

private:
    bool Breaks(std::size_t i) const { return i >= bpp_ && t_.Known(i - bpp_) && t_.value[i - bpp_] != t_.value[i]; }

    const Tracked& t_;
    std::size_t bpp_;
    double good_ = 0, bad_ = 0;
};

// Evidence, in bits, from the stream's matches: where rows repeat (a flat
// background, a row copied from the one above, filter bytes that recur at
// each row's start) deflate copies from a whole number of rows back far more
// often than the 1 in stride that chance gives. Each match is one event,
// however long: counted byte by byte, one long match at any distance would
// look like a stride.
class CopyDistanceScore {
public:
    explicit CopyDistanceScore(const Tracked& t) : counts_(t.distances) {
        for (const std::uint32_t c : counts_) total_ += c;
    }
    double Score(std::size_t stride) const {
        std::size_t m = 0, top = 0, topAt = 0;
        for (std::size_t d = stride; d < counts_.size(); d += stride) {
            m += counts_[d];
            if (counts_[d] > top) top = counts_[d], topAt = d;
        }
        // Nearly all at one distance, not one row up: a picture's own period
        // across a row (a pattern every 221 pixels), which a stride of half
        // of it would claim as two rows, or a stride that is not one; either
        // way no evidence for this one.
        if (topAt > stride && top * 10 >= m * 9) m -= top;
        const double n = static_cast<double>(total_), f = n == 0 ? 0 : static_cast<double>(m) / n;
        const double p = 1 / static_cast<double>(stride);
        if (f <= p) return 0;
        const double rest = m == total_ ? 0 : (n - static_cast<double>(m)) * std::log2((1 - f) / (1 - p));
        return static_cast<double>(m) * std::log2(f / p) + rest;
    }

private:
    std::span<const std::uint32_t> counts_;
    std::size_t total_ = 0;
};

std::vector<Format> CandidateFormats(const Hint& hint) {
    std::vector<Format> out;
    if (const auto f = FormatOf(hint)) out.push_back(*f);
    for (const Format f : {Format{3, 3, 1}, Format{4, 4, 1}})
        if (out.empty() || out.front().bpp != f.bpp) out.push_back(f);
    return out;
}

// The best layout for the given widths (all from kMinWidth to kMaxWidth when
// none given) with at least minRows whole rows. With `keepWidth` (a width
// the user gave) the width is never traded for another format's.
Layout FindLayout(const Tracked& t, const Hint& hint, std::span<const std::uint32_t> widths, std::size_t minRows,
                  std::size_t trusted, bool keepWidth = false) {
    const std::size_t n = t.value.size();
    Layout best;
    const std::size_t from = std::max(trusted, n - std::min(n, t.ended ? kScoreBytes : kAlignScoreBytes));
    // Each stride's best data evidence, to see whether another stride, not
    // a multiple of the winner's, comes near it.
    std::vector<std::pair<std::size_t, double>> strides;
    const CopyDistanceScore distances(t);
    const auto hinted = FormatOf(hint);
    for (const Format f : CandidateFormats(hint)) {
        const RowStartScore score(t, from, f.bpp);
        const double formatPrior = hinted && hinted->bpp == f.bpp ? kHintFormatBits : 0;
        auto tryWidth = [&](std::uint32_t w) {
            const std::size_t stride = std::size_t{w} * f.bpp + 1;
            // A stride too long for minRows rows is never taken, but stays
            // a rival when the rows are placed from the end: the original
            // may be wider than all that was inflated.
            const bool takeable = stride * minRows <= n;
            if (!takeable && !(t.ended && widths.empty())) return;
            const double copies = distances.Score(stride);
            const double prior =
                formatPrior + (w == hint.width ? kHintWidthBits : 0) +
                (std::find(kScreenWidths.begin(), kScreenWidths.end(), w) != kScreenWidths.end() ? kScreenWidthBits
                                                                                                 : 0);
            if (t.ended) {
                // The stream's end is the last row's end.
                const double s = copies + score.Score(from + (n - from) % stride, n, stride);
                strides.emplace_back(stride, s);
                if (takeable && s + prior > best.evidence) best = {f, w, stride, n % stride, n / stride, s + prior, s};
                return;
            }
            double top = -1e300;
            for (std::size_t o = 0; o < stride && from + o < n; ++o) {
                const double s = copies + score.Score(from + o, n, stride);
                top = std::max(top, s);
                const std::size_t first = (from + o) % stride;
                if (s + prior > best.evidence && (n - first) / stride >= minRows) {
                    best = {f, w, stride, first, (n - first) / stride, s + prior, s};
                }
            }
            strides.emplace_back(stride, top);
        };
        if (!widths.empty())
            for (const std::uint32_t w : widths) tryWidth(w);
        else
            for (std::uint32_t w = kMinWidth; w <= kMaxWidth; ++w) tryWidth(w);
    }
    for (const auto& [stride, s] : strides)
        if (best.width != 0 && stride % best.stride != 0)
            best.rivalEvidence = std::max(best.rivalEvidence, s);
        else if (best.width != 0 && stride != best.stride)
            best.multipleEvidence = std::max(best.multipleEvidence, s);
    // The same stride fits several formats (200 RGB pixels, 150 RGBA ones):
    // the cropped picture's own format decides.
    if (!keepWidth && hinted && best.width != 0 && hinted->bpp != best.format.bpp &&
        (best.stride - 1) % hinted->bpp == 0 && (best.stride - 1) / hinted->bpp <= kMaxWidth) {
        best.format = *hinted;
        best.width = static_cast<std::uint32_t>((best.stride - 1) / hinted->bpp);
    }
    return best;
}

// Evidence, in bits, for reading a stride's rows at `bpp` bytes per pixel
// rather than `other`: both fit the stride when it is 12k + 1 bytes, and no
// prior may choose between them. The filtered bytes of a picture's channels
// differ (an opaque alpha's are all 0 under Sub, Up or Paeth, and 255 under
// None; colours differ from each other), so grouping the known bytes of each
// row by filter and channel codes them in fewer bits when the channels are
// the true ones. Code lengths are adaptive (Krichevsky-Trofimov) over a
// small alphabet, which charges the extra channel its cost; only bytes that
// differ from the byte before count, so a flat run is one event, not many.
double FormatEvidence(const Tracked& t, const Layout& l, std::size_t bpp, std::size_t other) {
    constexpr std::size_t kSymbols = 18;  // 0, 255, and the others by their high four bits
    auto symbol = [](std::uint8_t v) -> std::size_t { return v == 0 ? 16 : v == 255 ? 17 : v >> 4; };
    // The adaptive code's length depends on the counts alone: the product
    // of (k + 1/2) for each symbol's k-th use over that of (n + K/2) for the
    // n-th symbol in all. Terms are multiplied a few at a time, as a
    // logarithm per byte cost more than the rest of the search.
    auto log2Product = [](std::uint64_t n, double offset) {
        constexpr std::uint64_t kPerLog = 32;  // (2^25)^32 stays well inside a double
        double bits = 0, product = 1;
        for (std::uint64_t k = 0; k < n; ++k) {
            product *= static_cast<double>(k) + offset;
            if (k % kPerLog == kPerLog - 1) bits += std::log2(product), product = 1;
        }
        return bits + std::log2(product);
    };
    auto codeLength = [&](std::size_t channels) {
        std::vector<std::array<std::uint32_t, kSymbols + 1>> counts(6 * channels);
        for (auto& c : counts) c.fill(0);
        for (std::size_t y = 0; y < l.rows; ++y) {
            const std::size_t row = l.first + y * l.stride;
            const std::size_t f = t.Known(row) && t.value[row] <= 4 ? t.value[row] : 5;
            for (std::size_t i = 1; i + 1 < l.stride; ++i) {
                const std::size_t at = row + 1 + i;
                if (!t.Known(at) || !t.Known(at - 1) || t.value[at] == t.value[at - 1]) continue;
                auto& c = counts[f * channels + i % channels];
                ++c[symbol(t.value[at])];
                ++c[kSymbols];
            }
        }
        double bits = 0;
        for (const auto& c : counts) {
            bits += log2Product(c[kSymbols], 0.5 * kSymbols);
            for (std::size_t s = 0; s < kSymbols; ++s) bits -= log2Product(c[s], 0.5);
        }
        return bits;
    };
    return codeLength(other) - codeLength(bpp);
}

// Evidence, in bits, for `bpp` bytes per pixel rather than `other` from
// where the stream copies from, whatever the bytes inflated to: a picture
// repeats whole pixels (a glyph drawn again further along a row or rows
// below), so copies reach across the row by multiples of the pixel size
// more often than by the offsets beside them. Each format's multiples (not
// those of both) are weighed against that baseline as a Poisson excess.
// Independent of the bytes' values, it checks FormatEvidence, whose code
// lengths can be swayed by a few strings copied many times.
double GridEvidence(const Tracked& t, std::size_t stride, std::size_t bpp, std::size_t other) {
    constexpr std::size_t kReach = 96;  // offsets across the row looked at
    std::array<double, kReach> at{};
    for (std::size_t d = 1; d < t.distances.size(); ++d) {
        const std::size_t o = std::min(d % stride, stride - d % stride);
        if (o < kReach) at[o] += t.distances[d];
    }
    const std::size_t both = std::lcm(bpp, other);
    const auto onGrid = [&](std::size_t o) { return o % bpp == 0 || o % other == 0; };
    const auto baseline = [&](std::size_t o) {
        double sum = 0;
        int n = 0;
        for (const std::size_t q : {o + 1, o - 1, o + 2, o - 2})
            if (n < 2 && q >= 1 && q < kReach && !onGrid(q)) sum += at[q], ++n;
        return n == 0 ? 0 : sum / n;
    };
    const auto excess = [&](std::size_t b) {
        double m = 0, e = 0;
        for (std::size_t o = b; o < kReach; o += b)
            if (o % both != 0) m += at[o], e += baseline(o);
        e = std::max(e, 1.0);
        const double nats = m > 0 ? m * std::log(m / e) - (m - e) : e;
        return (m > e ? nats : -nats) / std::log(2.0);
    };
    return excess(bpp) - excess(other);
}

struct Rows {
    std::size_t len = 0;  // bytes per row without the filter byte
    std::size_t count = 0;
    Bytes value, known;  // count × len
};

// Exact unfiltering: a byte is known when its filtered byte, the row's filter
// byte and every neighbour its predictor reads are known. The row above the
// first is unknown.
Rows UnfilterExact(const Tracked& t, const Layout& l) {
    Rows r{l.stride - 1, l.rows, {}, {}};
    r.value.assign(r.len * r.count, 0);
    r.known.assign(r.len * r.count, 0);
    const std::size_t bpp = l.format.bpp;
    for (std::size_t y = 0; y < r.count; ++y) {
        const std::size_t in = l.first + y * l.stride;
        if (!t.Known(in) || t.value[in] > 4) continue;
        const std::uint8_t f = t.value[in];
        std::uint8_t* out = &r.value[y * r.len];
        std::uint8_t* ok = &r.known[y * r.len];
        const std::uint8_t* up = y > 0 ? out - r.len : nullptr;
        const std::uint8_t* upOk = y > 0 ? ok - r.len : nullptr;
        for (std::size_t i = 0; i < r.len; ++i) {
            const bool hasLeft = i >= bpp;
            const std::uint8_t a = hasLeft ? out[i - bpp] : 0, b = up ? up[i] : 0;
            const std::uint8_t c = hasLeft && up ? up[i - bpp] : 0;
            const bool aOk = !hasLeft || ok[i - bpp], bOk = up && upOk[i], cOk = !hasLeft || (up && upOk[i - bpp]);
            bool need = true;
            if (f == 1) need = aOk;
            if (f == 2) need = bOk;
            if (f == 3) need = aOk && bOk;
            if (f == 4) need = aOk && bOk && cOk;
            ok[i] = t.Known(in + 1 + i) && need;
            out[i] = static_cast<std::uint8_t>(t.value[in + 1 + i] + Predict(f, a, b, c));
        }
    }
    return r;
}

template <typename T>
std::size_t ArgMax(std::span<const T> counts) {
    return static_cast<std::size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

// Byte i of a row of pixels filtered under f: what an encoder would have
// written for it. `up` is the row above, none at the picture's top.
std::uint8_t FilteredAt(const std::uint8_t* row, const std::uint8_t* up, std::size_t i, std::size_t bpp,
                        std::uint8_t f) {
    const std::uint8_t a = i >= bpp ? row[i - bpp] : 0, b = up ? up[i] : 0, c = up && i >= bpp ? up[i - bpp] : 0;
    return static_cast<std::uint8_t>(row[i] - Predict(f, a, b, c));
}

// Per window position, the value most of its uses ask for: a running
// majority (one candidate and its lead) holds it whenever there is one; a
// second pass over the uses tells how many ask for it.
struct WindowMajority {
    Bytes candidate = Bytes(detail::kWindowSize, 0);
    std::vector<std::uint32_t> lead = std::vector<std::uint32_t>(detail::kWindowSize, 0);
    void Vote(std::size_t w, std::uint8_t r) {
        if (lead[w] == 0) candidate[w] = r;
        lead[w] = candidate[w] == r ? lead[w] + 1 : lead[w] - 1;
    }
};

// Where the cropped picture still holds the original's last rows (painted
// over rather than cropped: the same width, the rows ending together), its
// pixels tell the lost window: every lost byte was copied from one window
// position, and the picture's pixels give the filtered byte that use asks
// for under its row's filter. A row's filter is its known filter byte, or
// the one under which the picture agrees best with the row's known bytes,
// or the most common one; a lost filter byte asks for it too. A position
// takes the value most of its uses ask for. The rows line up when the known
// filtered bytes agree with the picture, or, with too few of those, when
// the uses of each position mostly agree with each other. For the guess
// only: the picture differs from the original where it was painted over.
// Empty when the picture does not line up; else one more entry after the
// window's.
std::vector<int> WindowFromPicture(const Tracked& t, const Layout& l, const codec::DecodedPng& p) {
    const std::size_t len = l.stride - 1, bpp = l.format.bpp;
    if (p.width != l.width || p.rows != p.height || p.rows <= l.rows) return {};
    const std::size_t top = p.rows - l.rows;  // the picture's row for the first rebuilt one
    auto residual = [&](std::size_t y, std::size_t i, std::uint8_t f) {
        const std::uint8_t* row = &p.pixels[(top + y) * len];
        return FilteredAt(row, row - len, i, bpp, f);
    };
    constexpr std::uint8_t kOpen = 0xFF;
    Bytes filters(l.rows, kOpen);
    std::array<std::size_t, 5> used{};
    for (std::size_t y = 0; y < l.rows; ++y) {
        const std::size_t row = l.first + y * l.stride;
        if (t.Known(row)) {
            filters[y] = t.value[row] <= 4 ? t.value[row] : kOpen;
        } else {
            std::array<std::size_t, 5> agree{};
            for (std::size_t i = 0; i < len; ++i)
                if (t.Known(row + 1 + i))
                    for (std::uint8_t f = 0; f <= 4; ++f) agree[f] += t.value[row + 1 + i] == residual(y, i, f);
            const std::size_t f = ArgMax<std::size_t>(agree);
            if (agree[f] > 0) filters[y] = static_cast<std::uint8_t>(f);
        }
        if (filters[y] != kOpen) ++used[filters[y]];
    }
    std::size_t agree = 0, compared = 0;
    WindowMajority majority;
    auto each = [&](auto&& use) {
        for (std::size_t y = 0; y < l.rows; ++y) {
            if (filters[y] == kOpen) continue;
            const std::size_t row = l.first + y * l.stride;
            if (!t.Known(row)) use(row, filters[y]);
            for (std::size_t i = 0; i < len; ++i) use(row + 1 + i, residual(y, i, filters[y]));
        }
    };
    auto vote = [&](std::size_t at, std::uint8_t r) {
        if (t.Known(at)) {
            ++compared;
            agree += t.value[at] == r;
            return;
        }
        majority.Vote(t.WindowPos(at), r);
    };
    each(vote);
    // A row with no known byte takes the filter under which its bytes agree
    // most with what the other rows made of the same positions; then all
    // vote again.
    const auto common = static_cast<std::uint8_t>(ArgMax<std::size_t>(used));
    bool open = false;
    for (std::size_t y = 0; y < l.rows; ++y) {
        if (filters[y] != kOpen) continue;
        open = true;
        const std::size_t row = l.first + y * l.stride;
        std::array<std::size_t, 5> agreeing{};
        for (std::size_t i = 0; i < len; ++i) {
            if (t.Known(row + 1 + i)) continue;  // only a lost byte has a window position
            const std::size_t w = t.WindowPos(row + 1 + i);
            if (majority.lead[w] > 0)
                for (std::uint8_t f = 0; f <= 4; ++f) agreeing[f] += majority.candidate[w] == residual(y, i, f);
        }
        agreeing[common] += 1;  // ties to the most common filter
        filters[y] = static_cast<std::uint8_t>(ArgMax<std::size_t>(agreeing));
    }
    if (open) {
        agree = compared = 0;
        majority = WindowMajority{};
        each(vote);
    }
    std::size_t uses = 0, agreeing = 0;
    each([&](std::size_t at, std::uint8_t r) {
        if (t.Known(at)) return;
        ++uses;
        agreeing += majority.candidate[t.WindowPos(at)] == r;
    });
    constexpr std::size_t kMinCompared = 64;
    const bool lined =
        compared >= kMinCompared ? agree * 4 >= compared * 3 : uses >= kMinCompared && agreeing * 4 >= uses * 3;
    if (!lined) return {};
    std::vector<int> window(detail::kWindowSize + 1, -1);
    window.back() = 0;  // lined up, whether or not any position is told
    for (std::size_t w = 0; w < detail::kWindowSize; ++w)
        if (majority.lead[w] > 0) window[w] = majority.candidate[w];
    return window;
}

// The lost window's most copied bytes, chosen one by one: each takes, of
// the values that would make one of its copies continue the pixel above or
// to its left or be one of the cropped picture's common colours, the one
// under which the rows holding its copies score best (`decode`, under each
// row's filter and first-pixel colour as chosen), if that beats leaving it
// open. Only positions copied into rows under None or Sub are solved: there
// a byte's value stays within its row, which the score sees whole; under
// the filters that read the row above it runs down the rows below, which
// the score does not see. Positions the cropped picture tells (`pinned`)
// are left alone. Returns whether any position was set.
template <typename Pinned, typename Decode>
bool SolveWindow(const Tracked& t, const Layout& l, const Bytes& out, const Bytes& prior, std::vector<int>& solved,
                 const Bytes& filters, const std::vector<const std::uint8_t*>& anchors,
                 const std::vector<Bytes>& palette, Pinned pinned, Decode decode) {
    constexpr std::size_t kPositions = 32, kMinUses = 8, kMaxRows = 16, kCandidates = 6;
    const std::size_t len = l.stride - 1, bpp = l.format.bpp;
    std::vector<std::uint32_t> uses(detail::kWindowSize, 0);
    for (std::size_t y = 0; y < l.rows; ++y)
        for (std::size_t i = 0, at = l.first + y * l.stride + 1; i < len; ++i, ++at)
            if (!t.Known(at)) ++uses[t.WindowPos(at)];
    std::vector<std::size_t> order;
    for (std::size_t w = 0; w < uses.size(); ++w)
        if (uses[w] >= kMinUses && pinned(w) < 0) order.push_back(w);
    const std::size_t keep = std::min(order.size(), kPositions);
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep), order.end(),
                      [&](std::size_t a, std::size_t b) { return uses[a] > uses[b] || (uses[a] == uses[b] && a < b); });
    order.resize(keep);
    // In one pass, for each position: the rows holding its copies and the
    // values its copies would need to continue their neighbours.
    struct Position {
        std::vector<std::size_t> rows;
        std::array<std::uint32_t, 256> votes{};
        bool spreads = false;  // a copy in a row whose filter reads the row above
    };
    std::vector<Position> positions(order.size());
    std::vector<int> slot(detail::kWindowSize, -1);
    for (std::size_t k = 0; k < order.size(); ++k) slot[order[k]] = static_cast<int>(k);
    for (std::size_t y = 0; y < l.rows; ++y) {
        const std::size_t row = l.first + y * l.stride;
        const std::uint8_t* o = &out[y * len];
        const std::uint8_t* up = y > 0 ? o - len : prior.data();
        for (std::size_t i = 0; i < len; ++i) {
            if (t.Known(row + 1 + i)) continue;
            const int k = slot[t.WindowPos(row + 1 + i)];
            if (k < 0) continue;
            Position& at = positions[static_cast<std::size_t>(k)];
            if (at.spreads) continue;
            if (at.rows.empty() || at.rows.back() != y) at.rows.push_back(y);
            at.spreads = filters[y] >= 2;
            const std::uint8_t a = i >= bpp ? o[i - bpp] : 0, c = i >= bpp ? up[i - bpp] : 0;
            const std::uint8_t p = Predict(filters[y], a, up[i], c);
            ++at.votes[static_cast<std::uint8_t>(up[i] - p)];
            if (i >= bpp) ++at.votes[static_cast<std::uint8_t>(a - p)];
            for (const Bytes& colour : palette) ++at.votes[static_cast<std::uint8_t>(colour[i % bpp] - p)];
        }
    }
    Bytes trial(len);
    bool any = false;
    for (std::size_t n = 0; n < order.size(); ++n) {
        const std::size_t w = order[n];
        std::vector<std::size_t>& rows = positions[n].rows;
        std::array<std::uint32_t, 256>& votes = positions[n].votes;
        if (positions[n].spreads) continue;
        if (rows.size() > kMaxRows) {
            std::vector<std::size_t> spaced;
            for (std::size_t k = 0; k < kMaxRows; ++k) spaced.push_back(rows[k * rows.size() / kMaxRows]);
            rows = std::move(spaced);
        }
        auto score = [&] {
            std::size_t total = 0;
            for (const std::size_t y : rows)
                total += decode(y, y > 0 ? &out[(y - 1) * len] : prior.data(), filters[y], anchors[y], trial.data());
            return total;
        };
        std::size_t best = score();
        int bestValue = solved[w];  // kept unless a candidate beats it
        for (std::size_t k = 0; k < kCandidates; ++k) {
            const std::size_t v = ArgMax<std::uint32_t>(votes);
            if (votes[v] == 0) break;
            votes[v] = 0;
            solved[w] = static_cast<int>(v);
            if (const std::size_t s = score(); s > best) best = s, bestValue = static_cast<int>(v);
        }
        solved[w] = bestValue;
        any = any || bestValue >= 0;
    }
    return any;
}

// Every copy of one lost window byte holds the same value, but the guess
// fills each copy on its own (what its row's filter predicts, the byte above
// under None). Each position whose copies mostly ask for one filtered value
// takes it, so that its copies agree: a background byte copied a thousand
// times is settled by the many copies that sit in background, also for the
// few that sit under a line of text. Only copies in rows under None or Sub
// vote, and a position with a copy in a row whose filter reads the row
// above is left open: there its value runs down the rows below, which the
// votes do not see. Positions the cropped picture tells (`pinned`) are left
// alone. Returns whether any position was set.
template <typename Pinned>
bool VoteWindow(const Tracked& t, const Layout& l, const Bytes& out, const Bytes& prior, std::vector<int>& solved,
                const Bytes& filters, Pinned pinned) {
    const std::size_t len = l.stride - 1, bpp = l.format.bpp;
    WindowMajority majority;
    std::vector<std::uint32_t> uses(detail::kWindowSize, 0), agreeing(detail::kWindowSize, 0);
    Bytes spread(detail::kWindowSize, 0);
    // What each copy asks for: the filtered byte that gives its guessed value.
    auto each = [&](auto&& use) {
        for (std::size_t y = 0; y < l.rows; ++y) {
            const std::size_t row = l.first + y * l.stride;
            const std::uint8_t* o = &out[y * len];
            const std::uint8_t* up = y > 0 ? o - len : prior.data();
            const bool spreads = filters[y] >= 2;
            for (std::size_t i = 0; i < len; ++i) {
                if (t.Known(row + 1 + i)) continue;
                if (spreads) {
                    spread[t.WindowPos(row + 1 + i)] = 1;
                    continue;
                }
                const std::uint8_t a = i >= bpp ? o[i - bpp] : 0, c = i >= bpp ? up[i - bpp] : 0;
                use(t.WindowPos(row + 1 + i), static_cast<std::uint8_t>(o[i] - Predict(filters[y], a, up[i], c)));
            }
        }
    };
    each([&](std::size_t w, std::uint8_t r) { majority.Vote(w, r); });
    each([&](std::size_t w, std::uint8_t r) {
        ++uses[w];
        agreeing[w] += majority.candidate[w] == r;
    });
    constexpr std::uint32_t kMinUses = 2;
    bool any = false;
    for (std::size_t w = 0; w < detail::kWindowSize; ++w) {
        if (uses[w] < kMinUses || spread[w] || pinned(w) >= 0 || agreeing[w] * 2 <= uses[w]) continue;
        solved[w] = majority.candidate[w];
        any = true;
    }
    return any;
}

// Per lost window position, its uses in the rebuilt rows and its uses as
// each channel in the rows `counted` selects (by index): a position whose
// uses keep to one channel holds a colour's byte, copied with its pixel.
struct ChannelUses {
    std::size_t bpp;
    std::vector<std::uint32_t> uses, asChannel;  // asChannel: bpp per position
    std::uint32_t Steady(std::size_t w) const {
        const auto channels = asChannel.begin() + static_cast<std::ptrdiff_t>(w * bpp);
        return *std::max_element(channels, channels + static_cast<std::ptrdiff_t>(bpp));
    }
};

template <typename Counted>
ChannelUses CountChannelUses(const Tracked& t, const Layout& l, Counted counted) {
    const std::size_t len = l.stride - 1, bpp = l.format.bpp;
    ChannelUses c{bpp, std::vector<std::uint32_t>(detail::kWindowSize, 0),
                  std::vector<std::uint32_t>(detail::kWindowSize * bpp, 0)};
    for (std::size_t y = 0; y < l.rows; ++y) {
        const bool inRow = counted(y);
        for (std::size_t i = 0, at = l.first + y * l.stride + 1; i < len; ++i, ++at) {
            if (t.Known(at)) continue;
            const std::size_t w = t.WindowPos(at);
            ++c.uses[w];
            if (inRow) ++c.asChannel[w * bpp + i % bpp];
        }
    }
    return c;
}

// The lost window's pixels copied whole (a pixel's bytes from consecutive
// positions) into rows under filter `f`: per position, the pixels it starts
// and where the first of them is; then the `most` most copied with at least
// `minCopies`, none of whose positions is copied into a row under another
// filter, used as another channel (but an alpha under Paeth: there the
// background's zero is copied as every channel), or told by the cropped
// picture (`pinned`).
struct PixelRuns {
    std::vector<std::uint32_t> copies, first;
    std::vector<std::size_t> order;
};

template <typename Pinned>
PixelRuns WholePixels(const Tracked& t, const Layout& l, const Bytes& filters, std::uint8_t f, std::size_t most,
                      std::size_t minCopies, Pinned pinned) {
    const std::size_t len = l.stride - 1, bpp = l.format.bpp, width = len / bpp;
    PixelRuns runs{
        std::vector<std::uint32_t>(detail::kWindowSize, 0), std::vector<std::uint32_t>(detail::kWindowSize, 0), {}};
    // A stray copy or two elsewhere (a match that starts mid-pixel, a row
    // under another filter) rules no position out, more than one use in
    // kMaxStray does.
    constexpr std::size_t kMaxStray = 16;
    const ChannelUses census = CountChannelUses(t, l, [&](std::size_t y) { return filters[y] == f; });
    for (std::size_t y = 0; y < l.rows; ++y) {
        const std::size_t row = l.first + y * l.stride + 1;
        if (filters[y] != f) continue;
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t at = row + x * bpp, w = t.WindowPos(at);
            bool whole = !t.Known(at) && w + bpp <= detail::kWindowSize;
            for (std::size_t j = 1; whole && j < bpp; ++j) whole = !t.Known(at + j) && t.WindowPos(at + j) == w + j;
            if (whole && runs.copies[w]++ == 0) runs.first[w] = static_cast<std::uint32_t>(y * len + x * bpp);
        }
    }
    for (std::size_t w = 0; w + bpp <= detail::kWindowSize; ++w) {
        bool open = runs.copies[w] >= minCopies;
        for (std::size_t j = 0; open && j < bpp; ++j)
            open =
                ((j == 3 && f == 4) || (census.uses[w + j] - census.Steady(w + j)) * kMaxStray <= census.uses[w + j]) &&
                pinned(w + j) < 0;
        if (open) runs.order.push_back(w);
    }
    const std::size_t keep = std::min(runs.order.size(), most);
    std::partial_sort(runs.order.begin(), runs.order.begin() + static_cast<std::ptrdiff_t>(keep), runs.order.end(),
                      [&](std::size_t a, std::size_t b) {
                          return runs.copies[a] > runs.copies[b] || (runs.copies[a] == runs.copies[b] && a < b);
                      });
    runs.order.resize(keep);
    return runs;
}

// Under None a lost pixel is the window's bytes themselves, and a run copied
// whole keeps its pixels: the window's most copied pixels (`bpp` positions
// in a row, each copied only into rows under None and always as the same
// channel) are the colours of the largest areas. Their neighbours cannot
// tell which colours (next to a line of text the background borders the
// ink), but the cropped picture shows the same screen: each takes, of the
// picture's common colours, the one that brings the guessed picture's
// colour shares closest to the picture's (their histograms' intersection).
// Where the picture's columns are the original's (cropped from the left
// edge), they tell more: a screen keeps its columns' colours down the rows
// (a side panel, the background beside it), and a picture that shows
// mostly the panel would give the panel's colour to the background. A run
// whose copies in the picture's columns mostly fall where one colour
// fills the column's last rows takes that colour.
template <typename Pinned>
bool MatchColours(const Tracked& t, const Layout& l, const Bytes& out, const Bytes& filters,
                  const codec::DecodedPng& picture, const detail::ColourCounts& colours, std::vector<int>& solved,
                  Pinned pinned) {
    // An area's colour: a position starting at least 1/kMinShare of the
    // pixels (matching shares says nothing of which column is which).
    constexpr std::size_t kPixels = 64, kMinCopies = 8, kCandidates = 16, kMinShare = 20;
    const std::size_t len = l.stride - 1, bpp = l.format.bpp, width = len / bpp;
    if (colours.empty() || bpp < 3) return false;
    const PixelRuns runs = WholePixels(t, l, filters, 0, kPixels,
                                       std::max(kMinCopies, (width * l.rows + kMinShare - 1) / kMinShare), pinned);
    const std::vector<std::size_t>& order = runs.order;
    if (order.empty()) return false;
    // Colour shares of the picture, and of the guess without the runs'
    // copies: all copies of a run take one colour together, whatever each
    // shows now (the byte above a lost one, the picture where it holds the
    // row), so the shares they join are those of the rest.
    double pictureTotal = 0;
    for (const auto& [c, n] : colours) pictureTotal += static_cast<double>(n);
    std::vector<int> slot(detail::kWindowSize, -1);  // each run's place in `order`
    for (std::size_t k = 0; k < order.size(); ++k) slot[order[k]] = static_cast<int>(k);
    detail::ColourCounts guessed;
    for (std::size_t y = 0; y < l.rows; ++y) {
        const std::size_t row = l.first + y * l.stride + 1;
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t at = row + x * bpp;
            if (filters[y] == 0 && !t.Known(at) && slot[t.WindowPos(at)] >= 0) continue;
            detail::CountColour(guessed, detail::PixelKey(&out[y * len + x * bpp], bpp));
        }
    }
    const double guessTotal = static_cast<double>(width * l.rows);
    auto share = [](const detail::ColourCounts& m, std::uint64_t c, double total) {
        const auto it = m.find(c);
        return it == m.end() ? 0.0 : static_cast<double>(it->second) / total;
    };
    // Each column's colour in the picture's last rows: a common one that
    // fills most of the last kNearRows (just above the rows lost), else one
    // that fills most of the last kColumnRows, else the lowest common one
    // that fills kBand rows in a row (below a bar or a gradient that fills
    // most of them).
    constexpr std::size_t kNearRows = 8, kColumnRows = 32, kBand = 4, kMinVotes = 8;
    const std::size_t columns = std::min<std::size_t>(picture.width, width);
    const auto candidates = detail::CommonPixels(colours, bpp, kCandidates);
    auto isCommon = [&](std::uint64_t colour) {
        return std::any_of(candidates.begin(), candidates.end(),
                           [&](const Bytes& c) { return detail::PixelKey(c.data(), bpp) == colour; });
    };
    // The colour that fills most (2/3) of the column's last n rows.
    auto filling = [&](std::size_t x, std::size_t n) -> std::optional<std::uint64_t> {
        n = std::min<std::size_t>(picture.rows, n);
        detail::ColourCounts seen;
        for (std::size_t y = picture.rows - n; y < picture.rows; ++y)
            ++seen[detail::PixelKey(&picture.pixels[(y * picture.width + x) * bpp], bpp)];
        const auto top = std::max_element(seen.begin(), seen.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; });
        if (top == seen.end() || top->second * 3 < n * 2) return std::nullopt;
        return top->first;
    };
    // The lowest common colour that fills kBand rows in a row within the
    // column's last kColumnRows.
    auto band = [&](std::size_t x) -> std::optional<std::uint64_t> {
        std::size_t run = 0;
        std::uint64_t last = 0;
        for (std::size_t y = picture.rows; y-- > picture.rows - std::min(picture.rows, kColumnRows);) {
            const std::uint64_t c = detail::PixelKey(&picture.pixels[(y * picture.width + x) * bpp], bpp);
            run = run > 0 && c == last ? run + 1 : 1;
            last = c;
            if (run == kBand && isCommon(c)) return c;
        }
        return std::nullopt;
    };
    std::vector<std::optional<std::uint64_t>> columnColour(columns);
    for (std::size_t x = 0; x < columns; ++x) {
        if (const auto near = filling(x, kNearRows); near && isCommon(*near))
            columnColour[x] = near;
        else if (const auto far = filling(x, kColumnRows))
            columnColour[x] = far;
        else
            columnColour[x] = band(x);
    }
    std::vector<detail::ColourCounts> votes(order.size());
    for (std::size_t y = 0; y < l.rows; ++y) {
        if (filters[y] != 0) continue;
        const std::size_t row = l.first + y * l.stride + 1;
        for (std::size_t x = 0; x < columns; ++x) {
            const std::size_t at = row + x * bpp;
            if (t.Known(at) || !columnColour[x]) continue;
            if (const int k = slot[t.WindowPos(at)]; k >= 0) ++votes[static_cast<std::size_t>(k)][*columnColour[x]];
        }
    }
    bool any = false;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t w = order[k];
        // The colour its copies' columns show, else the one whose share in
        // the guess falls shortest of the picture's.
        std::size_t total = 0, most = 0;
        std::uint64_t shown = 0;
        for (const auto& [c, n] : votes[k]) {
            total += n;
            if (n > most) most = n, shown = c;
        }
        if (total >= kMinVotes && most * 3 >= total * 2) {
            guessed[shown] += runs.copies[w];
            for (std::size_t j = 0; j < bpp; ++j)
                solved[w + j] = static_cast<std::uint8_t>(shown >> (8 * (bpp - 1 - j)));
            any = true;
            continue;
        }
        const double d = static_cast<double>(runs.copies[w]) / guessTotal;
        double best = 0;
        const Bytes* chosen = nullptr;
        for (const Bytes& c : candidates) {
            const std::uint64_t to = detail::PixelKey(c.data(), bpp);
            const double pt = share(colours, to, pictureTotal), gt = share(guessed, to, guessTotal);
            if (const double g = std::min(gt + d, pt) - std::min(gt, pt); g > best) best = g, chosen = &c;
        }
        const std::uint64_t to =
            chosen ? detail::PixelKey(chosen->data(), bpp) : detail::PixelKey(&out[runs.first[w]], bpp);
        guessed[to] += runs.copies[w];
        if (!chosen) continue;
        for (std::size_t j = 0; j < bpp; ++j) solved[w + j] = (*chosen)[j];
        any = true;
    }
    return any;
}

// Runs copied whole from the lost window, solved as pixels: under Sub the
// window's bytes at a colour's edge (a panel's border, where the background
// starts) set every pixel after them in the row, and a colour changes all
// of a pixel's bytes at once, which one byte at a time (SolveWindow) never
// reaches. The most copied such pixels each take, of the cropped picture's
// common colours, the filtered bytes that make their first copy that colour,
// when the rows from there then score better (`decode`) with colours no
// rarer in the cropped picture. Where the picture sits, `inColumn` tells how
// often its last rows show a colour in a pixel's own column: a panel's
// colour carried on over the background beside it scores as well as the
// background (both are flat and common), but not in the background's
// columns, so a colour the columns show far more often wins on a score
// within a thousandth, even one rarer in the picture as a whole (a dark
// text area whose glyphs were lost with the window, below a bar and right
// of a panel that fill most of the picture). Only pixels whose every byte
// is copied into rows under Sub, always as the same channel, are tried
// (under None the colour shares decide: MatchColours).
// Under Paeth a line of text copies its glyphs' steps (from the background
// into the ink and back) thousands of times, and a step left out streaks
// every row below. The pixels copied into rows under Paeth (their alpha may
// be the zero copied everywhere) each try the steps most of their copies
// would need to become a common colour, and each of those the other way;
// a step must raise the score by kPaethMargin, as a wrong one fits the
// rows' flat areas too. The row above the first, chosen for the first row
// as it was, is lifted over the step's copies there so that the first row
// keeps its colours. Returns whether any was set.
template <typename Pinned, typename Decode, typename InColumn>
bool SolvePixels(const Tracked& t, const Layout& l, const Bytes& out, Bytes& prior, std::vector<int>& solved,
                 const Bytes& filters, const std::vector<const std::uint8_t*>& anchors,
                 const std::vector<Bytes>& palette, const detail::ColourCounts& colours, Pinned pinned, Decode decode,
                 InColumn inColumn) {
    constexpr std::size_t kPixels = 32, kMinCopies = 8, kMaxRows = 16;
    constexpr double kPaethMargin = 1.3;
    const std::size_t len = l.stride - 1, bpp = l.format.bpp, width = len / bpp;
    if (palette.empty()) return false;
    Bytes trial(2 * len);
    bool any = false;
    for (const std::uint8_t f : {std::uint8_t{1}, std::uint8_t{4}}) {
        // The census walks every byte: not for a filter no row reads.
        if (std::find(filters.begin(), filters.end(), f) == filters.end()) continue;
        const PixelRuns runs = WholePixels(t, l, filters, f, kPixels, kMinCopies, pinned);
        const std::vector<std::size_t>& order = runs.order;
        // The rows holding each one's copies, in one pass.
        std::vector<int> slot(detail::kWindowSize, -1);
        for (std::size_t k = 0; k < order.size(); ++k) slot[order[k]] = static_cast<int>(k);
        std::vector<std::vector<std::size_t>> rows(order.size());
        for (std::size_t y = 0; y < l.rows; ++y) {
            if (filters[y] != f) continue;
            const std::size_t row = l.first + y * l.stride + 1;
            for (std::size_t x = 0; x < width; ++x) {
                const std::size_t at = row + x * bpp;
                if (t.Known(at)) continue;
                const int k = slot[t.WindowPos(at)];
                if (k >= 0 &&
                    (rows[static_cast<std::size_t>(k)].empty() || rows[static_cast<std::size_t>(k)].back() != y))
                    rows[static_cast<std::size_t>(k)].push_back(y);
            }
        }
        for (std::size_t n = 0; n < order.size(); ++n) {
            const std::size_t w = order[n], at = runs.first[w], y = at / len;
            // Consecutive rows from the first copy's, each decoded on the one
            // before as the trial left it: rows that all change alike must be
            // compared with each other, not with the rows as they were.
            const std::size_t from = rows[n].front(), to = std::min<std::size_t>(l.rows, from + kMaxRows);
            // Also how common in the cropped picture the rows' colours are: a
            // change must not trade its colours for rarer ones (a dark screen's
            // text area made light scores as flat), unless the picture's
            // columns show the new ones far more often.
            double shares = 0, columnShares = 0;
            Bytes lifted;
            auto score = [&] {
                std::size_t total = 0;
                shares = columnShares = 0;
                const std::uint8_t* above = from > 0 ? &out[(from - 1) * len] : prior.data();
                // Under Paeth the row above the first was chosen to suit the
                // first row as it was: its pixels over the copies there are
                // lifted so that the first row keeps its colours.
                if (from == 0 && f == 4) {
                    lifted = prior;
                    for (std::size_t i = 0, a0 = l.first + 1; i < len; ++i)
                        if (!t.Known(a0 + i) && t.WindowPos(a0 + i) - w < bpp && solved[t.WindowPos(a0 + i)] >= 0)
                            lifted[i] = static_cast<std::uint8_t>(out[i] - solved[t.WindowPos(a0 + i)]);
                    above = lifted.data();
                }
                for (std::size_t r = from; r < to; ++r) {
                    std::uint8_t* o = &trial[(r - from) % 2 * len];
                    total += decode(r, above, filters[r], anchors[r], o);
                    for (std::size_t i = 0; i + bpp <= len; i += bpp) {
                        const auto it = colours.find(detail::PixelKey(o + i, bpp));
                        if (it != colours.end()) shares += static_cast<double>(it->second);
                        columnShares += static_cast<double>(inColumn(i, o + i));
                    }
                    above = o;
                }
                return total;
            };
            std::size_t best = score();
            Bytes bestLifted = lifted;
            double bestShares = shares, bestColumnShares = columnShares;
            std::vector<int> bestValues(bpp);
            for (std::size_t j = 0; j < bpp; ++j) bestValues[j] = solved[w + j];
            // The filtered bytes that make a copy one of the common colours:
            // at the first copy under Sub (its row's left pixel sets it); under
            // Paeth, the values most copies in the rows scored ask for (the
            // first copy may sit where the rows above are already wrong).
            std::vector<Bytes> tried;
            Bytes value(bpp);
            auto ask = [&](std::size_t y0, std::size_t x0, const Bytes& colour) {
                const std::uint8_t* row = &out[y0 * len];
                const std::uint8_t* above = y0 > 0 ? row - len : prior.data();
                for (std::size_t j = 0, i = x0; j < bpp; ++j, ++i) {
                    const std::uint8_t a = i >= bpp ? row[i - bpp] : 0, c = i >= bpp ? above[i - bpp] : 0;
                    value[j] = static_cast<std::uint8_t>(colour[j] - Predict(filters[y0], a, above[i], c));
                }
            };
            if (f == 1) {
                for (const Bytes& colour : palette) ask(y, at % len, colour), tried.push_back(value);
            } else {
                constexpr std::size_t kCandidates = 8;
                std::unordered_map<std::uint64_t, std::size_t> asked;
                for (std::size_t r = from; r < to; ++r)
                    for (std::size_t x = 0, a0 = l.first + r * l.stride + 1; x < width; ++x) {
                        const std::size_t a1 = a0 + x * bpp;
                        if (t.Known(a1) || t.WindowPos(a1) != w) continue;
                        for (const Bytes& colour : palette)
                            ask(r, x * bpp, colour), ++asked[detail::PixelKey(value.data(), bpp)];
                    }
                std::vector<std::pair<std::size_t, std::uint64_t>> ranked;
                for (const auto& [v, count] : asked) ranked.emplace_back(count, v);
                const std::size_t keep = std::min(ranked.size(), kCandidates);
                std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(keep), ranked.end(),
                                  std::greater<>());
                // Each step also the other way: a glyph's bottom edge steps
                // back from the ink to the background.
                for (std::size_t k = 0; k < keep; ++k) {
                    detail::KeyPixel(ranked[k].second, bpp, value.data());
                    tried.push_back(value);
                    for (std::uint8_t& b : value) b = static_cast<std::uint8_t>(-b);
                    tried.push_back(value);
                }
            }
            for (const Bytes& v : tried) {
                for (std::size_t j = 0; j < bpp; ++j) solved[w + j] = v[j];
                constexpr double kByColumns = 1.25;
                const std::size_t s = score();
                const bool byColumns = columnShares > kByColumns * bestColumnShares && s + s / 1000 >= best;
                if (f == 4 && static_cast<double>(s) <= kPaethMargin * static_cast<double>(best)) continue;
                if ((s > best && shares >= bestShares) || byColumns) {
                    best = s, bestShares = shares, bestColumnShares = columnShares, bestLifted = lifted;
                    for (std::size_t j = 0; j < bpp; ++j) bestValues[j] = solved[w + j];
                }
            }
            bool changed = false;
            for (std::size_t j = 0; j < bpp; ++j) {
                changed = changed || bestValues[j] != solved[w + j];
                solved[w + j] = bestValues[j];
            }
            any = any || changed;
            if (changed && from == 0 && f == 4) prior = bestLifted;
        }
    }
    return any;
}

// The filter an encoder used for every row, told by the bytes inflated: the
// cropped picture shows the same screen, so filtered under the true filter
// its bytes fall as the inflated ones do (under None the colours' values,
// under the others mostly small differences, each filter its own way).
// The filter under which the inflated bytes are likeliest by the picture's
// own filtered bytes (their frequencies, add-one smoothed) is taken.
std::uint8_t FilterByResiduals(const Tracked& t, const Layout& l, const codec::DecodedPng& picture) {
    const std::size_t bpp = l.format.bpp, plen = std::size_t{picture.width} * bpp;
    std::array<double, 256> inflated{};
    for (std::size_t y = 0; y < l.rows; ++y)
        for (std::size_t i = 0, at = l.first + y * l.stride + 1; i + 1 < l.stride; ++i, ++at)
            if (t.Known(at)) ++inflated[t.value[at]];
    std::uint8_t best = 0;
    double bestScore = 0;
    for (std::uint8_t f = 0; f <= 4; ++f) {
        std::array<double, 256> shown{};
        for (std::size_t y = 1; y < picture.rows; ++y) {
            const std::uint8_t* row = &picture.pixels[y * plen];
            const std::uint8_t* up = row - plen;
            for (std::size_t i = 0; i < plen; ++i) ++shown[FilteredAt(row, up, i, bpp, f)];
        }
        const double total = static_cast<double>((picture.rows - 1) * plen) + 256;
        double score = 0;
        for (std::size_t v = 0; v < 256; ++v) score += inflated[v] * std::log((shown[v] + 1) / total);
        if (f == 0 || score > bestScore) bestScore = score, best = f;
    }
    return best;
}

// How steadily the lost window's most copied bytes land in one channel: a
// share of their uses near 1 under None, where a flat area repeats whole
// pixels and deflate copies them a pixel or more back; far below under the
// other filters, whose flat areas are runs of zeros copied from a byte back
// into every channel alike (and under None where a grey's channels are
// alike). 0 with no lost byte.
double ChannelSteadiness(const Tracked& t, const Layout& l) {
    constexpr std::size_t kPositions = 32;
    const ChannelUses census = CountChannelUses(t, l, [](std::size_t) { return true; });
    std::vector<std::size_t> order(detail::kWindowSize);
    for (std::size_t w = 0; w < order.size(); ++w) order[w] = w;
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(kPositions), order.end(),
                      [&](std::size_t a, std::size_t b) { return census.uses[a] > census.uses[b]; });
    std::size_t total = 0, steady = 0;
    for (std::size_t k = 0; k < kPositions; ++k) total += census.uses[order[k]], steady += census.Steady(order[k]);
    return total == 0 ? 0 : static_cast<double>(steady) / static_cast<double>(total);
}

// Runs of one nonzero filtered pixel, per million pixels inflated whole:
// under Average the row below a colour's edge filters to half the step,
// the same all along the edge, and differs from the row above it; under Sub
// a run repeats a nonzero pixel only along a gradient, rare on a screen.
// Told by the inflated bytes alone, whatever the filter bytes and the row
// above: with no filter byte inflated, the colour test reads Average as
// Sub (lost bytes become runs of the left colour), and this tells them
// apart.
double AverageRuns(const Tracked& t, const Layout& l) {
    constexpr std::size_t kMinRun = 8;
    const std::size_t bpp = l.format.bpp, width = l.width;
    std::size_t runs = 0, whole = 0;
    auto at = [&](std::size_t y, std::size_t x) { return l.first + y * l.stride + 1 + x * bpp; };
    auto known = [&](std::size_t p) {
        for (std::size_t j = 0; j < bpp; ++j)
            if (p + j >= t.value.size() || !t.Known(p + j)) return false;
        return true;
    };
    for (std::size_t y = 1; y < l.rows; ++y) {
        std::size_t run = 0;
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t p = at(y, x), above = at(y - 1, x);
            if (!known(p)) {
                run = 0;
                continue;
            }
            ++whole;
            const bool zero = std::all_of(&t.value[p], &t.value[p] + bpp, [](std::uint8_t b) { return b == 0; });
            const bool same = x > 0 && known(p - bpp) && std::equal(&t.value[p], &t.value[p] + bpp, &t.value[p - bpp]);
            const bool asAbove = known(above) && std::equal(&t.value[p], &t.value[p] + bpp, &t.value[above]);
            run = zero || asAbove ? 0 : same ? run + 1 : 1;
            runs += run == kMinRun;
        }
    }
    return whole == 0 ? 0 : 1e6 * static_cast<double>(runs) / static_cast<double>(whole);
}

// The 4-connected area around `start` (already taken) in rows of `width`
// of `pixels` cells, into `area`: each neighbour `take` takes (it marks what
// it takes, so that no cell is taken twice) joins it. At most 8 Mi pixels
// are rebuilt, so a cell's index fits 32 bits.
template <typename Take>
void FillArea(std::size_t start, std::size_t width, std::size_t pixels, Take take, std::vector<std::uint32_t>& area,
              std::vector<std::uint32_t>& queue) {
    area.clear(), queue.assign(1, static_cast<std::uint32_t>(start));
    while (!queue.empty()) {
        const std::size_t p = queue.back();
        queue.pop_back();
        area.push_back(static_cast<std::uint32_t>(p));
        const std::size_t x = p % width;
        for (const std::size_t q : {x > 0 ? p - 1 : p, x + 1 < width ? p + 1 : p, p >= width ? p - width : p,
                                    p + width < pixels ? p + width : p})
            if (take(q)) queue.push_back(static_cast<std::uint32_t>(q));
    }
}

// Whether an area spans more than one row and more than one column.
bool TallAndWide(std::span<const std::uint32_t> area, std::size_t width) {
    const std::size_t y = area.front() / width, x = area.front() % width;
    bool tall = false, wide = false;
    for (const std::uint32_t p : area) tall = tall || p / width != y, wide = wide || p % width != x;
    return tall && wide;
}

// The palette's colours as numbers, and whether a colour is one of them
// or one the cropped picture shows at least `least` times.
std::vector<std::uint64_t> PaletteKeys(const std::vector<Bytes>& palette, std::size_t bpp) {
    std::vector<std::uint64_t> keys;
    for (const Bytes& c : palette) keys.push_back(detail::PixelKey(c.data(), bpp));
    return keys;
}
bool IsCommon(std::span<const std::uint64_t> paletteKeys, const detail::ColourCounts& colours, std::uint64_t key,
              std::size_t least) {
    return std::find(paletteKeys.begin(), paletteKeys.end(), key) != paletteKeys.end() ||
           detail::ShownAtLeast(colours, key, least);
}

// The colour with most votes, the lower on a tie: the same answer whatever
// order the map keeps. `end()` when there are none.
detail::ColourCounts::const_iterator MostVoted(const detail::ColourCounts& votes) {
    return std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) {
        return a.second < b.second || (a.second == b.second && a.first > b.first);
    });
}

// Of the palette, the colours the cropped picture's last third still shows,
// if two or more do; else the palette whole. A screen's top rows often hold
// a bar (a title bar, a toolbar) whose colour is among the picture's most
// common but that the rows far below never show.
std::vector<Bytes> ShownLow(const std::vector<Bytes>& palette, const codec::DecodedPng& picture, std::size_t bpp) {
    constexpr std::size_t kMinKept = 2;
    const std::vector<std::uint64_t> keys = PaletteKeys(palette, bpp);
    std::vector<bool> shown(keys.size(), false);
    const std::size_t plen = std::size_t{picture.width} * bpp;
    for (std::size_t at = (picture.rows - picture.rows / 3) * plen; at + bpp <= picture.rows * plen; at += bpp) {
        const auto k = std::find(keys.begin(), keys.end(), detail::PixelKey(&picture.pixels[at], bpp));
        if (k != keys.end()) shown[static_cast<std::size_t>(k - keys.begin())] = true;
    }
    std::vector<Bytes> kept;
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (shown[k]) kept.push_back(palette[k]);
    return kept.size() >= kMinKept ? kept : palette;
}

// The colour of an area of guessed pixels: the colour they have
// (`current`) came from the row above or from the left, and a wrong one
// runs on through the whole area. The pixels next to it
// whose bytes were all inflated (a line of text on the background, the
// area's edge) come out in colours the cropped picture shows only under
// the area's true colour: of `current` and the common colours, the one
// under which most of them do, `current` on a tie, and only when at least
// `minShare` of them do. Pixels next to it inflated as 0 tell nothing: they
// continue whatever is beside them. `marks` (one per pixel, the caller's)
// tells the area's pixels while it is weighed; they hold `done` after.
// `share`, if given, receives the share of them the colour returned makes
// the picture's colours.
std::uint64_t AreaColour(const Tracked& t, const Layout& l, std::span<const std::uint32_t> area,
                         std::vector<std::uint8_t>& marks, std::uint8_t done, const Bytes& filters,
                         const detail::ColourCounts& colours, const std::vector<Bytes>& palette, const Bytes& out,
                         std::uint64_t current, double minShare = 0, double* share = nullptr) {
    constexpr std::size_t kMinShown = 8, kMinHits = 8;
    constexpr std::uint8_t kWeighed = 0xFF;
    const std::size_t bpp = l.format.bpp, len = l.stride - 1, width = len / bpp, pixels = width * l.rows;
    for (const std::uint32_t p : area) marks[p] = kWeighed;
    auto inside = [&](std::size_t q) { return marks[q] == kWeighed; };
    std::vector<std::uint32_t> next;  // the pixels right of and below the area, all bytes inflated
    for (const std::size_t p : area)
        for (const std::size_t q : {p % width + 1 < width ? p + 1 : p, p + width < pixels ? p + width : p}) {
            if (q == p || inside(q) || filters[q / width] > 4) continue;
            const std::size_t at = l.first + q / width * l.stride + 1 + q % width * bpp;
            bool whole = true, zero = true;
            for (std::size_t j = 0; j < bpp; ++j) whole = whole && t.Known(at + j), zero = zero && t.value[at + j] == 0;
            if (whole && !zero) next.push_back(static_cast<std::uint32_t>(q));
        }
    std::sort(next.begin(), next.end());
    next.erase(std::unique(next.begin(), next.end()), next.end());
    std::vector<std::uint64_t> candidates{current};
    for (const Bytes& c : palette) candidates.push_back(detail::PixelKey(c.data(), bpp));
    Bytes colour(bpp), pixel(bpp);
    std::size_t bestHits = 0;
    std::uint64_t best = current;
    for (const std::uint64_t candidate : candidates) {
        detail::KeyPixel(candidate, bpp, colour.data());
        std::size_t hits = 0;
        for (const std::uint32_t q : next) {
            const std::size_t x = q % width, y = q / width;
            const bool leftIn = x > 0 && inside(q - 1), upIn = y > 0 && inside(q - width),
                       cornerIn = x > 0 && y > 0 && inside(q - width - 1);
            const std::size_t at = l.first + y * l.stride + 1 + x * bpp;
            for (std::size_t j = 0; j < bpp; ++j) {
                const std::uint8_t a = leftIn ? colour[j] : x > 0 ? out[(q - 1) * bpp + j] : 0;
                const std::uint8_t b = upIn ? colour[j] : y > 0 ? out[(q - width) * bpp + j] : out[q * bpp + j];
                const std::uint8_t c = cornerIn ? colour[j] : x > 0 && y > 0 ? out[(q - width - 1) * bpp + j] : 0;
                pixel[j] = static_cast<std::uint8_t>(t.value[at + j] + Predict(filters[y], a, b, c));
            }
            hits += detail::ShownAtLeast(colours, detail::PixelKey(pixel.data(), bpp), kMinShown);
        }
        if (hits > bestHits) bestHits = hits, best = candidate;
    }
    for (const std::uint32_t p : area) marks[p] = done;
    if (share) *share = next.empty() ? 0 : static_cast<double>(bestHits) / static_cast<double>(next.size());
    return bestHits >= kMinHits && static_cast<double>(bestHits) >= minShare * static_cast<double>(next.size())
               ? best
               : current;
}

// Under Paeth a wrong byte inside an area of one colour is copied right and
// down alike (the predictor reads the neighbour that agrees with the rest),
// and each channel picks its neighbour on its own: the error fills an area
// of one wrong value in that channel (under Average too, once the halving
// error is snapped to a common colour). Per channel, each 4-connected area of
// one guessed value, at least kMinArea pixels, whose value neither a common
// colour of the cropped picture has in that channel nor its pixels show
// often, takes that channel of the common colour that makes most of its
// pixels common colours. An area holding a byte known exactly, or one of the
// picture's own pixels where it sits, keeps its value: it is real; so does
// one a single row or column wide (a channel of a gradient), as the error
// runs both ways.
template <typename Shown>
void RecolourAreas(const Layout& l, const Rows& exact, const codec::DecodedPng& picture,
                   const std::vector<Bytes>& palette, Shown isShown, Bytes& out) {
    constexpr std::size_t kMinArea = 64, kOftenPerMille = 10;
    const std::size_t bpp = l.format.bpp, len = exact.len, width = len / bpp, pixels = width * l.rows;
    if (palette.empty() || pixels == 0) return;
    auto isCommon = [&](const std::uint8_t* pixel, std::size_t j, std::uint8_t v) {
        return std::any_of(palette.begin(), palette.end(), [&](const Bytes& c) {
            for (std::size_t k = 0; k < bpp; ++k)
                if (c[k] != (k == j ? v : pixel[k])) return false;
            return true;
        });
    };
    std::vector<std::uint32_t> area, queue;
    std::vector<std::uint8_t> seen(pixels);
    for (std::size_t j = 0; j < bpp; ++j) {
        std::array<std::size_t, 256> shown{};
        for (std::size_t i = j; i < picture.pixels.size(); i += bpp) ++shown[picture.pixels[i]];
        const std::size_t often = picture.pixels.size() / bpp * kOftenPerMille / 1000;
        std::fill(seen.begin(), seen.end(), 0);
        for (std::size_t start = 0; start < pixels; ++start) {
            if (seen[start]) continue;
            const std::uint8_t v = out[start * bpp + j];
            // The area of value v around `start`; whether anything in it is certain.
            seen[start] = 1;
            FillArea(
                start, width, pixels,
                [&](std::size_t q) { return !seen[q] && out[q * bpp + j] == v && (seen[q] = 1) != 0; }, area, queue);
            const bool certain = std::any_of(
                area.begin(), area.end(), [&](std::size_t p) { return exact.known[p * bpp + j] || isShown(p * bpp); });
            if (certain || !TallAndWide(area, width) || area.size() < kMinArea || shown[v] > often ||
                std::any_of(palette.begin(), palette.end(), [&](const Bytes& c) { return c[j] == v; }))
                continue;
            std::size_t bestHits = 0;
            std::uint8_t best = palette.front()[j];
            for (const Bytes& c : palette) {
                std::size_t hits = 0;
                for (const std::uint32_t p : area) hits += isCommon(&out[p * bpp], j, c[j]);
                if (hits > bestHits) bestHits = hits, best = c[j];
            }
            for (const std::uint32_t p : area) out[p * bpp + j] = best;
        }
    }
}

// The same for whole pixels: a wrong byte gives a pixel one channel of
// another colour (a glyph's, at its edge), so an area of one colour the
// cropped picture lacks can be made of channels each of which some common
// colour has, which the pass per channel leaves. Each 4-connected area of
// one such colour (at least kMinArea pixels, more than one row and column,
// nothing certain in it, not a colour the picture shows often) takes the
// common colour it differs from in fewest channels, the more common on a
// tie, unless the pixels next to it tell another (AreaColour: a text
// area's background turned a panel's colour one channel from it). An area
// of a common colour, nothing certain in it, is weighed the same way; with
// `commonOnly` (rows not all Paeth) only such areas are. With `hold`, an
// area whose new colour most pixels next to it tell is held in `exact`
// (as if known), so that rows decoded again rebuild the glyphs inside it
// from the right background; returns whether any was.
template <typename Shown>
bool RecolourWhole(const Tracked& t, const Layout& l, const Bytes& filters, Rows& exact,
                   const detail::ColourCounts& colours, const std::vector<Bytes>& palette, Shown isShown, Bytes& out,
                   bool commonOnly, bool hold) {
    constexpr std::size_t kMinArea = 64, kMinShown = 8;
    constexpr double kHeldShare = 0.5;
    bool held = false;
    const std::size_t bpp = l.format.bpp, len = exact.len, width = len / bpp, pixels = width * l.rows;
    if (palette.empty() || pixels == 0) return false;
    const std::vector<std::uint64_t> paletteKeys = PaletteKeys(palette, bpp);
    auto key = [&](std::size_t p) { return detail::PixelKey(&out[p * bpp], bpp); };
    std::vector<std::uint32_t> area, queue;
    std::vector<std::uint8_t> seen(pixels, 0);
    for (std::size_t start = 0; start < pixels; ++start) {
        if (seen[start]) continue;
        const std::uint64_t v = key(start);
        seen[start] = 1;
        FillArea(
            start, width, pixels, [&](std::size_t q) { return !seen[q] && key(q) == v && (seen[q] = 1) != 0; }, area,
            queue);
        auto certain = [&](std::size_t p) { return exact.known[p * bpp] || isShown(p * bpp); };
        if (area.size() < kMinArea || !TallAndWide(area, width) || std::any_of(area.begin(), area.end(), certain))
            continue;
        // The area takes the colour AreaColour finds for it from `current`.
        auto settle = [&](std::uint64_t current, double minShare) {
            Bytes colour(bpp);
            double share = 0;
            const std::uint64_t chosen =
                AreaColour(t, l, area, seen, 1, filters, colours, palette, out, current, minShare, &share);
            if (chosen == v) return;
            detail::KeyPixel(chosen, bpp, colour.data());
            const bool holds = hold && share >= kHeldShare;
            held = held || holds;
            for (const std::uint32_t p : area) {
                std::copy(colour.begin(), colour.end(), &out[p * bpp]);
                if (!holds) continue;
                std::copy(colour.begin(), colour.end(), &exact.value[p * bpp]);
                std::fill_n(&exact.known[p * bpp], bpp, std::uint8_t{1});
            }
        };
        // An area of a colour the picture shows keeps it unless a quarter of
        // the pixels next to it or more tell another: a text area's
        // background that took a panel's colour.
        constexpr double kClearShare = 0.25;
        if (IsCommon(paletteKeys, colours, v, kMinShown)) {
            settle(v, kClearShare);
            continue;
        }
        std::size_t fewest = bpp, best = 0;
        for (std::size_t k = 0; k < palette.size(); ++k) {
            std::size_t differ = 0;
            for (std::size_t j = 0; j < bpp; ++j) differ += palette[k][j] != out[start * bpp + j];
            if (differ < fewest) fewest = differ, best = k;
        }
        if (fewest == bpp || commonOnly) continue;
        settle(detail::PixelKey(palette[best].data(), bpp), 0);
    }
    return held;
}

// The colour most of an area's top pixels meet first going up their
// columns (at most kReach rows) in an area already settled: a pixel of a
// flat area (`flat` 2) held in `known`. None when no column meets one.
// `area` is taken by value: it is sorted here to tell its own pixels.
std::optional<std::uint64_t> SettledAbove(std::vector<std::uint32_t> area, std::size_t width,
                                          const std::vector<std::uint8_t>& flat, const Bytes& known, std::size_t bpp,
                                          const Bytes& out) {
    constexpr std::size_t kReach = 64;
    std::sort(area.begin(), area.end());
    detail::ColourCounts votes;
    for (const std::uint32_t p : area) {
        if (p >= width && std::binary_search(area.begin(), area.end(), p - width)) continue;
        for (std::size_t q = p, n = 0; q >= width && n < kReach; ++n) {
            q -= width;
            if (flat[q] == 2 && known[q * bpp]) {
                ++votes[detail::PixelKey(&out[q * bpp], bpp)];
                break;
            }
        }
    }
    if (votes.empty()) return std::nullopt;
    return MostVoted(votes)->first;
}

// Under Average a pixel whose bytes were all inflated as 0 is the mean of
// its left and upper neighbours: an area of such pixels (4-connected, at
// least kMinArea) is one colour in the original, the colour its edges set.
// A wrong row above breaks it into the colours its errors drift to, and
// they run on down the area, or it takes one wrong colour throughout. Each
// such area takes the colour most of its pixels already have, or the one
// AreaColour finds for it; its pixels are then held in `exact` (as if
// known), so that the rows decoded again rebuild the pixels inside it (a
// line of text on the background) from right neighbours. Pixels known
// exactly or shown by the cropped picture are right: they decide an area's
// colour alone. Returns whether any was set.
template <typename Shown>
bool FlattenAreas(const Tracked& t, const Layout& l, const Bytes& filters, const detail::ColourCounts& colours,
                  const std::vector<Bytes>& palette, Shown isShown, Bytes& out, Rows& exact) {
    constexpr std::size_t kMinArea = 64, kMinShown = 8;
    const std::size_t bpp = l.format.bpp, len = exact.len, width = len / bpp, pixels = width * l.rows;
    const std::vector<std::uint64_t> paletteKeys = PaletteKeys(palette, bpp);
    // A lost byte copied from a window byte that many lost bytes copy, into
    // every channel alike, is taken as 0 too: a flat area's run of zeros. A
    // colour's edge repeats one nonzero byte as often, but in one channel.
    constexpr std::uint32_t kManyCopies = 64;
    const ChannelUses census = CountChannelUses(t, l, [](std::size_t) { return true; });
    auto zeroCopy = [&](std::size_t w) {
        return census.uses[w] >= kManyCopies && census.Steady(w) * 5 <= census.uses[w] * 3;
    };
    std::vector<std::uint8_t> flat(pixels, 0);
    for (std::size_t y = 0; y < l.rows; ++y) {
        if (filters[y] != 3) continue;
        const std::size_t row = l.first + y * l.stride + 1;
        for (std::size_t x = 0; x < width; ++x) {
            bool zero = true;
            for (std::size_t j = 0; j < bpp && zero; ++j) {
                const std::size_t at = row + x * bpp + j;
                zero = t.Known(at) ? t.value[at] == 0 : zeroCopy(t.WindowPos(at));
            }
            flat[y * width + x] = zero;
        }
    }
    auto key = [&](std::size_t p) { return detail::PixelKey(&out[p * bpp], bpp); };
    bool changed = false;
    std::vector<std::uint32_t> area, queue;
    detail::ColourCounts guessed, certain;
    for (std::size_t start = 0; start < pixels; ++start) {
        if (flat[start] != 1) continue;
        flat[start] = 2;
        FillArea(
            start, width, pixels, [&](std::size_t q) { return flat[q] == 1 && (flat[q] = 2) != 0; }, area, queue);
        guessed.clear(), certain.clear();
        for (const std::uint32_t p : area) ++(exact.known[p * bpp] || isShown(p * bpp) ? certain : guessed)[key(p)];
        const auto& votes = certain.empty() ? guessed : certain;
        if (area.size() < kMinArea) continue;
        const auto top = MostVoted(votes);
        std::uint64_t chosen =
            certain.empty() ? AreaColour(t, l, area, flat, 2, filters, colours, palette, out, top->first) : top->first;
        // An area no colour holds half of, in none the picture shows: the
        // guess drifted through it, and held it would carry the drift into
        // the rows below. It takes the colour of the areas already settled
        // above it (a text area's background between lines of text).
        if (certain.empty() && chosen == top->first && 2 * top->second < area.size() &&
            !IsCommon(paletteKeys, colours, chosen, kMinShown))
            chosen = SettledAbove(area, width, flat, exact.known, bpp, out).value_or(chosen);
        Bytes colour(bpp);
        detail::KeyPixel(chosen, bpp, colour.data());
        for (const std::uint32_t p : area) {
            if (exact.known[p * bpp] || isShown(p * bpp)) continue;
            for (std::size_t j = 0; j < bpp; ++j) {
                exact.known[p * bpp + j] = 1;
                exact.value[p * bpp + j] = colour[j];
                out[p * bpp + j] = colour[j];
            }
            changed = true;
        }
    }
    return changed;
}

// Under Paeth a background pixel is its left or upper neighbour again, and
// where the row above was wrong each column keeps its own error down a flat
// area: the background comes out as stripes one column wide, each in a
// colour no neighbour has, which the passes over areas leave. For rows all
// under Paeth: a run of at least kMinRun rows of one colour down a column
// (nothing certain in it, a colour the cropped picture does not show)
// takes the common colour most of its neighbours left and right have in
// its rows, if most do; columns are taken from the left, so a band of
// stripes takes the background in from its edge. With `hold`, such runs,
// and runs of a common colour most of their neighbours share, are held in
// `exact` (as if known), so that rows decoded again rebuild the line of
// text below a band from the right row above; returns whether any was.
template <typename Shown>
bool StraightenColumns(const Layout& l, const detail::ColourCounts& colours, const std::vector<Bytes>& palette,
                       Shown isShown, Bytes& out, Rows& exact, bool hold) {
    constexpr std::size_t kMinRun = 8, kMinShown = 8;
    const std::size_t bpp = l.format.bpp, len = exact.len, width = len / bpp;
    const std::vector<std::uint64_t> paletteKeys = PaletteKeys(palette, bpp);
    auto key = [&](std::size_t x, std::size_t y) { return detail::PixelKey(&out[y * len + x * bpp], bpp); };
    auto certain = [&](std::size_t x, std::size_t y) {
        return exact.known[y * len + x * bpp] || isShown(y * len + x * bpp);
    };
    auto common = [&](std::uint64_t k) { return IsCommon(paletteKeys, colours, k, kMinShown); };
    bool changed = false;
    detail::ColourCounts votes;
    Bytes colour(bpp);
    for (std::size_t x = 0; x < width; ++x)
        for (std::size_t y = 0; y < l.rows;) {
            const std::uint64_t v = key(x, y);
            const std::size_t from = y;
            while (y < l.rows && key(x, y) == v && !certain(x, y)) ++y;
            y = std::max(y, from + 1);
            const bool shown = common(v);
            if (y - from < kMinRun || (shown && !hold)) continue;
            votes.clear();
            for (std::size_t r = from; r < y; ++r)
                for (const std::size_t n : {x - 1, x + 1}) {
                    if (n >= width) continue;
                    const std::uint64_t k = key(n, r);
                    if (common(k)) ++votes[k];
                }
            const auto top = MostVoted(votes);
            if (top == votes.end() || top->second * 2 <= y - from || (shown && top->first != v)) continue;
            detail::KeyPixel(top->first, bpp, colour.data());
            for (std::size_t r = from; r < y; ++r) {
                const std::size_t at = r * len + x * bpp;
                std::copy(colour.begin(), colour.end(), &out[at]);
                if (!hold) continue;
                std::copy(colour.begin(), colour.end(), &exact.value[at]);
                std::fill_n(&exact.known[at], bpp, std::uint8_t{1});
            }
            changed = true;
        }
    return changed;
}

// Under Up a pixel is the row above's plus its column's bytes down to it,
// so a wrong row above, or a lost byte where a glyph starts, leaves the rest
// of the column a constant shift off, often in a colour the picture does
// show (a gradient bar's run on down the background beneath it). A screen
// repeats its colours across columns, ink and antialiased edges included:
// each column's guessed pixels (none known exactly nor the picture's) take
// the shift, of none and those that most often make them their neighbour
// columns' pixels, under which the whole guess's colours code shortest
// (each pixel costs minus the log of how often its colour occurs). A line
// of text then takes the colours of the columns that got it right; a side
// panel no pixel tells can merge into the background, which it would have
// taken anyway.
template <typename Shown>
void SettleColumns(const Layout& l, const Rows& exact, Shown isShown, Bytes& out) {
    constexpr std::size_t kNeighbourShifts = 3;
    const std::size_t bpp = l.format.bpp, len = exact.len, width = len / bpp;
    // Colours past the bound count as never seen (a photo's), and a colour
    // counted is counted for every pixel of it, so counts never run below 0.
    detail::ColourCounts counts;
    for (std::size_t at = 0; at + bpp <= out.size(); at += bpp)
        detail::CountColour(counts, detail::PixelKey(&out[at], bpp));
    const double logAll = std::log(static_cast<double>(out.size() / bpp) + 0.5);
    std::vector<std::size_t> free;
    std::vector<std::uint64_t> diffs;
    std::vector<std::pair<std::size_t, std::uint64_t>> runs;  // count, shift
    std::vector<Bytes> shifts;
    Bytes pixel(bpp);
    auto shiftedKey = [&](std::size_t at, const Bytes& shift) {
        for (std::size_t j = 0; j < bpp; ++j) pixel[j] = static_cast<std::uint8_t>(out[at + j] + shift[j]);
        return detail::PixelKey(pixel.data(), bpp);
    };
    for (std::size_t x = 0; x < width; ++x) {
        free.clear();
        for (std::size_t at = x * bpp; at < out.size(); at += len)
            if (!isShown(at) && std::find(&exact.known[at], &exact.known[at] + bpp, 1) == &exact.known[at] + bpp)
                free.push_back(at);
        if (free.empty()) continue;
        for (const std::size_t at : free)
            if (const auto it = counts.find(detail::PixelKey(&out[at], bpp)); it != counts.end()) --it->second;
        shifts.assign(1, Bytes(bpp, 0));
        for (const std::size_t n : {x - 1, x + 1}) {
            if (n >= width) continue;
            diffs.clear();
            for (const std::size_t at : free) {
                const std::size_t there = at - x * bpp + n * bpp;
                for (std::size_t j = 0; j < bpp; ++j)
                    pixel[j] = static_cast<std::uint8_t>(out[there + j] - out[at + j]);
                diffs.push_back(detail::PixelKey(pixel.data(), bpp));
            }
            std::sort(diffs.begin(), diffs.end());
            runs.clear();
            for (std::size_t k = 0; k < diffs.size(); ++k) {
                if (k == 0 || diffs[k] != diffs[k - 1]) runs.emplace_back(0, diffs[k]);
                ++runs.back().first;
            }
            const std::size_t top = std::min(runs.size(), kNeighbourShifts);
            std::partial_sort(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(top), runs.end(),
                              [](const auto& a, const auto& b) { return a.first > b.first; });
            for (std::size_t k = 0; k < top; ++k) {
                Bytes shift(bpp);
                detail::KeyPixel(runs[k].second, bpp, shift.data());
                if (std::find(shifts.begin(), shifts.end(), shift) == shifts.end()) shifts.push_back(shift);
            }
        }
        // None first: a shift must code strictly shorter to be taken. A
        // pixel costs the log of all pixels over its colour's count, never
        // below 0, so a shift is dropped once its cost reaches the best one's.
        double bestCost = std::numeric_limits<double>::infinity();
        std::size_t best = 0;
        for (std::size_t s = 0; s < shifts.size(); ++s) {
            double cost = 0;
            for (std::size_t k = 0; k < free.size() && cost < bestCost; ++k) {
                const auto it = counts.find(shiftedKey(free[k], shifts[s]));
                cost += logAll - std::log((it == counts.end() ? 0.0 : static_cast<double>(it->second)) + 0.5);
            }
            if (cost < bestCost) bestCost = cost, best = s;
        }
        for (const std::size_t at : free) {
            const std::uint64_t k = shiftedKey(at, shifts[best]);
            detail::KeyPixel(k, bpp, &out[at]);
            detail::CountColour(counts, k);
        }
    }
}

// With no filter byte inflated, the filter the rows were read under, and a
// rival the colours rate nearly as high.
struct Reading {
    std::optional<std::uint8_t> filter, rival;
};

// The best guess, row by row. A lost byte is taken as what its row's filter
// predicts (nothing added: flat areas), and where the filter predicts from
// nothing (None, a row's first pixel under Sub or Average) as the byte above
// or one of the cropped picture's common colours. Each row whose filter
// byte is lost gets the filter, and each row the first-pixel colour, under
// which its bytes agree most with their neighbours (screenshots are mostly
// flat) and its pixels are most often the cropped picture's colours; the row
// above the first is chosen pixel by pixel the same way. Where the cropped
// picture was only painted over, it gives the row above and the lost
// window's bytes instead; else the most copied of them are solved for
// (SolveWindow) and the rows decoded again. Rows and columns left a constant
// colour shift away from the cropped picture's colours are shifted back,
// unless their colour is one the pictures show often. Every byte known
// exactly keeps its value, so the guess never strays from what is certain
// and picks up again below it. Where no filter byte is inflated, `only`
// sets the one filter for every row, and `readAs` tells the one they were
// read under and a rival nearly as likely.
Bytes UnfilterGuess(const Tracked& t, const Layout& l, Rows exact, const codec::DecodedPng& picture,
                    const detail::ColourCounts& colours, const std::vector<Bytes>& commonColours,
                    std::optional<std::uint8_t> only = std::nullopt, Reading* readAs = nullptr) {
    std::vector<Bytes> palette = commonColours;
    const std::size_t bpp = l.format.bpp, len = exact.len;
    std::vector<std::array<std::size_t, 256>> values(bpp);
    for (auto& v : values) v.fill(0);
    for (std::size_t i = 0; i < exact.value.size(); ++i)
        if (exact.known[i]) ++values[i % len % bpp][exact.value[i]];
    // A channel with no byte known takes the cropped picture's most common
    // colour (a dark screen stays dark), white only when there is none.
    Bytes common(bpp);
    for (std::size_t j = 0; j < bpp; ++j) {
        const bool any = *std::max_element(values[j].begin(), values[j].end()) > 0;
        common[j] = any               ? static_cast<std::uint8_t>(ArgMax<std::size_t>(values[j]))
                    : palette.empty() ? std::uint8_t{0xFF}
                                      : palette.front()[j];
    }
    // Colours compared as numbers: this runs for every pixel of every trial.
    auto key = [bpp](const std::uint8_t* pixel) { return detail::PixelKey(pixel, bpp); };
    std::vector<std::uint64_t> paletteKeys = PaletteKeys(palette, bpp);
    auto isCommon = [&](const std::uint8_t* pixel) {
        return !paletteKeys.empty() &&
               std::find(paletteKeys.begin(), paletteKeys.end(), key(pixel)) != paletteKeys.end();
    };

    Bytes out(len * l.rows), trial(len);
    // The filter bytes known. When a few are and all are one filter (the
    // encoder used one for every row; an encoder that varies its filters
    // writes most filter bytes as literals), rows whose filter byte is lost
    // take it too: chosen row by row, a row of lost bytes read as Sub or Up
    // carries one colour across or down the picture.
    std::array<std::size_t, 5> filterUse{};
    for (std::size_t y = 0; y < l.rows; ++y) {
        const std::size_t row = l.first + y * l.stride;
        if (t.Known(row) && t.value[row] <= 4) ++filterUse[t.value[row]];
    }
    auto usual = static_cast<std::uint8_t>(ArgMax<std::size_t>(filterUse));
    constexpr std::size_t kMinSoleFilters = 4;
    const std::size_t filtersKnown = filterUse[0] + filterUse[1] + filterUse[2] + filterUse[3] + filterUse[4];
    const bool oneKnown = filtersKnown > 0 && filterUse[usual] == filtersKnown;  // however few
    bool sole = filtersKnown >= kMinSoleFilters && oneKnown;
    // The lost window's bytes, where the cropped picture tells them.
    const std::vector<int> pins = WindowFromPicture(t, l, picture);
    const bool lined = !pins.empty();
    // The lost window is the filtered end of the rows just above the first
    // rebuilt one. A picture cropped from the original's top left, or only
    // painted over, holds those rows' pixels for its own columns: filtered
    // under each row's filter, they give the window's bytes. `aboveTop` is
    // the picture's row taken for the row just above (`kNowhere` when its
    // place is not known; negative when it starts further down, a region
    // cropped from below the cut; past its last row when it ends above that
    // row), `aboveLeft` the byte
    // of the original's rows its first column falls on (a region cropped
    // from further right), `aboveFilters` the filters of the rows above,
    // nearest first.
    const std::size_t plen = std::size_t{picture.width} * bpp;
    const auto stride = static_cast<std::ptrdiff_t>(l.stride);
    // Far enough below any row that offsets from it stay negative.
    constexpr std::ptrdiff_t kNowhere = std::numeric_limits<std::ptrdiff_t>::min() / 4;
    std::ptrdiff_t aboveTop = kNowhere;
    std::size_t aboveLeft = 0;
    // Whether byte i of an original's row falls inside the placed picture.
    auto shows = [&](std::size_t i) { return i >= aboveLeft && i - aboveLeft < plen; };
    Bytes aboveFilters(detail::kWindowSize / l.stride + 2, 0);
    std::vector<int> solved(detail::kWindowSize, -1);
    // Where window position w lies in the rows above the first rebuilt one:
    // the row (0 the nearest) and the byte in it (0 its filter byte).
    auto aboveAt = [&](std::size_t w) {
        const std::ptrdiff_t d =
            static_cast<std::ptrdiff_t>(w) - static_cast<std::ptrdiff_t>(detail::kWindowSize + l.first);
        const std::ptrdiff_t r = -((-d + stride - 1) / stride);
        return std::pair{-r - 1, d - r * stride};
    };
    // With `repeatLast`, the rows between the picture's last one and
    // `aboveTop` are taken as that last row again where its columns have not
    // changed for kSteadyRows rows (`steady`): panels and the background
    // run on down a screen, text and pictures do not.
    bool repeatLast = false;
    // Whether the place is only the best of the gaps tried below a picture
    // taken as cropped from the top left (a region cropped from further
    // right fits too, its columns misplaced).
    bool gapped = false;
    std::vector<bool> steady(picture.width, false);
    if (constexpr std::size_t kSteadyRows = 16; plen != 0 && picture.rows > 0) {
        const std::uint8_t* last = &picture.pixels[(picture.rows - 1) * plen];
        for (std::size_t x = 0; x < picture.width; ++x) {
            bool same = true;
            for (std::size_t y = picture.rows - std::min(picture.rows, kSteadyRows); y + 1 < picture.rows && same; ++y)
                same = std::equal(last + x * bpp, last + (x + 1) * bpp, &picture.pixels[y * plen + x * bpp]);
            steady[x] = same;
        }
    }
    // The picture's row for row k above, or -1 where it holds none (past its
    // last row where that is repeated).
    auto heldAbove = [&](std::ptrdiff_t k) -> std::ptrdiff_t {
        const std::ptrdiff_t y = aboveTop - k;
        return aboveTop >= 0 && y >= 0 && (repeatLast || y < static_cast<std::ptrdiff_t>(picture.rows)) ? y : -1;
    };
    // The filtered byte at byte `col` of the row `k` above that the
    // picture's pixels give under filter f, if it holds them.
    auto filteredFromPicture = [&](std::ptrdiff_t k, std::ptrdiff_t col, std::uint8_t f) -> int {
        const std::ptrdiff_t y = heldAbove(k);
        if (y < 0 || col == 0 || !shows(static_cast<std::size_t>(col - 1))) return -1;
        const std::size_t j = static_cast<std::size_t>(col - 1) - aboveLeft;
        // A region cropped from further right holds neither the original's
        // pixel left of it nor the one above its top row.
        if (aboveLeft > 0 && ((j < bpp && f != 0 && f != 2) || (y == 0 && f >= 2))) return -1;
        const auto last = static_cast<std::ptrdiff_t>(picture.rows) - 1;
        if (y > last && (!steady[j / bpp] || (j >= bpp && !steady[j / bpp - 1]))) return -1;
        const std::uint8_t* row = &picture.pixels[static_cast<std::size_t>(std::min(y, last)) * plen];
        return FilteredAt(row, y > last ? row : y > 0 ? row - plen : nullptr, j, bpp, f);
    };
    // Window bytes that lost bytes of the rows the placed picture shows
    // copy: the picture tells those bytes (-1 where it does not, or where
    // two copies disagree).
    std::vector<int> told(detail::kWindowSize, -1);
    auto pinFromPicture = [&](std::size_t w) -> int {
        if (lined && pins[w] >= 0) return pins[w];
        if (told[w] >= 0) return told[w];
        const auto [k, col] = aboveAt(w);
        if (heldAbove(k) < 0 || static_cast<std::size_t>(k) >= aboveFilters.size()) return -1;
        if (col == 0) return aboveFilters[static_cast<std::size_t>(k)];
        return filteredFromPicture(k, col, aboveFilters[static_cast<std::size_t>(k)]);
    };
    auto pinAt = [&](std::size_t w) -> int {
        const int p = pinFromPicture(w);
        if (p >= 0) return p;
        return solved[w];
    };
    // Under Average a wrong byte's error halves to the right and below but,
    // rounded, never dies out: it runs on as a streak a unit or two off. A
    // guessed pixel within one unit of one of the cropped picture's common
    // colours is taken as the nearest such colour, which ends the streak;
    // within five where every byte of it was inflated as 0 (`flat`: the
    // pixel is the mean of its neighbours, inside an area of one colour,
    // where a wrong row above leaves a wider drift). Pixels known exactly
    // stay.
    auto snap = [&](std::uint8_t* pixel, const std::uint8_t* isExact, bool flat = false) {
        constexpr int kNearFlat = 5;
        const int kNear = flat ? kNearFlat : 1;
        for (std::size_t j = 0; j < bpp; ++j)
            if (isExact[j]) return;
        const Bytes* nearest = nullptr;
        int nearestDistance = kNear + 1;
        for (const Bytes& c : palette) {
            int distance = 0;
            for (std::size_t j = 0; j < bpp; ++j) distance = std::max(distance, std::abs(int{pixel[j]} - int{c[j]}));
            if (distance < nearestDistance) nearestDistance = distance, nearest = &c;
        }
        if (nearest) std::copy(nearest->begin(), nearest->end(), pixel);
    };
    // Rows the picture still holds, where it sits: its pixels for its columns.
    // The picture's row for rebuilt row y (negative above its first).
    auto heldRow = [&](std::size_t y) { return aboveTop + 1 + static_cast<std::ptrdiff_t>(y); };
    auto shownRow = [&](std::size_t y) -> const std::uint8_t* {
        const std::ptrdiff_t held = heldRow(y);
        return held >= 0 && held < static_cast<std::ptrdiff_t>(picture.rows)
                   ? &picture.pixels[static_cast<std::size_t>(held) * plen]
                   : nullptr;
    };
    // How often the picture's last kLastRows rows show `pixel`'s colour,
    // when common, in the column of byte i (filled once the search for the
    // picture's place is done; until then it tells nothing).
    constexpr std::size_t kLastRows = 16;
    std::vector<std::uint32_t> inColumns;
    // The colour (its key) each of the picture's columns keeps down all
    // those rows, where one does: the test the row score makes on every
    // pixel, in one comparison.
    std::vector<std::optional<std::uint64_t>> kept;
    auto keepsColour = [&](std::size_t i, const std::uint8_t* pixel) {
        return !kept.empty() && shows(i) && kept[(i - aboveLeft) / bpp] == key(pixel);
    };
    auto inColumn = [&](std::size_t i, const std::uint8_t* pixel) -> std::uint32_t {
        if (inColumns.empty() || !shows(i)) return 0;
        const auto k = std::find(paletteKeys.begin(), paletteKeys.end(), key(pixel));
        return k == paletteKeys.end() ? 0
                                      : inColumns[(i - aboveLeft) / bpp * palette.size() +
                                                  static_cast<std::size_t>(k - paletteKeys.begin())];
    };
    // Byte i of row y under filter f, from its left (a), upper (b) and
    // upper-left (c) neighbours; the lost bytes of the first pixel from
    // `anchor` (or the row above).
    auto byteAt = [&](std::size_t y, std::size_t i, std::uint8_t f, const std::uint8_t* anchor,
                      const std::uint8_t* shown, std::uint8_t a, std::uint8_t b, std::uint8_t c) -> std::uint8_t {
        const std::size_t at = l.first + y * l.stride + 1 + i, e = y * len + i;
        const std::uint8_t predicted = Predict(f, a, b, c);
        if (exact.known[e]) return exact.value[e];
        if (shown && shows(i)) return shown[i - aboveLeft];
        if (t.Known(at)) return static_cast<std::uint8_t>(t.value[at] + predicted);
        if (const int pinned = pinAt(t.WindowPos(at)); pinned >= 0)
            return static_cast<std::uint8_t>(pinned + predicted);
        if (f == 2 || f == 4 || (i >= bpp && f != 0)) return predicted;
        return anchor && i < bpp ? anchor[i] : b;
    };
    // Where the picture's columns keep one colour down their last rows and
    // the next column keeps another (a panel's edge), a row under Sub whose
    // pixel there is lost whole and whose left pixel has the first colour
    // takes the second: the edge's bytes are copied from the lost window
    // row after row, and nothing else tells them. Not where the place is
    // `gapped` (a misplaced edge recolours a whole panel), nor in the
    // picture's own rows: decode rules those out once per row.
    auto edgeColour = [&](std::size_t y, std::size_t i, std::uint8_t* o) {
        if (i < bpp || !shows(i) || !shows(i - bpp)) return false;
        const std::size_t x = (i - aboveLeft) / bpp;
        if (!kept[x] || !kept[x - 1] || *kept[x] == *kept[x - 1] || key(o + i - bpp) != *kept[x - 1]) return false;
        for (std::size_t j = i; j < i + bpp; ++j) {
            const std::size_t at = l.first + y * l.stride + 1 + j;
            if (exact.known[y * len + j] || t.Known(at) || pinAt(t.WindowPos(at)) >= 0) return false;
        }
        detail::KeyPixel(*kept[x], bpp, o + i);
        return true;
    };
    // Unfilters row y under filter f into `o`; returns its score.
    auto decode = [&](std::size_t y, const std::uint8_t* up, std::uint8_t f, const std::uint8_t* anchor,
                      std::uint8_t* o) {
        const std::size_t row = l.first + y * l.stride, e = y * len;
        const std::uint8_t* shown = shownRow(y);
        std::size_t score = 0;
        const bool edges = f == 1 && !kept.empty() && !gapped && !shown;
        for (std::size_t i = 0; i < len; ++i) {
            const std::uint8_t a = i >= bpp ? o[i - bpp] : 0, c = i >= bpp ? up[i - bpp] : 0;
            if (edges && i % bpp == 0 && edgeColour(y, i, o)) {
                i += bpp - 1;
                continue;
            }
            o[i] = byteAt(y, i, f, anchor, shown, a, up[i], c);
            if (f == 3 && i % bpp == bpp - 1 && !(shown && shows(i))) {
                bool flat = true;
                for (std::size_t j = i + 1 - bpp; j <= i; ++j)
                    flat = flat && t.Known(row + 1 + j) && t.value[row + 1 + j] == 0;
                snap(o + i + 1 - bpp, &exact.known[e + i + 1 - bpp], flat);
            }
            if (t.Known(row + 1 + i)) score += std::size_t{i >= bpp && o[i] == a} + std::size_t{o[i] == up[i]};
            if (i % bpp == bpp - 1 && isCommon(o + i + 1 - bpp)) score += 2;
            // A colour the picture's column keeps down all its last rows
            // runs on below them (a panel, the background).
            if (i % bpp == bpp - 1 && keepsColour(i + 1 - bpp, o + i + 1 - bpp)) ++score;
        }
        return score;
    };
    // One wrong lost byte shifts the rest of its row by a constant under
    // Sub, Average or Paeth, the rest of its column under Up or Paeth: when
    // such a line of `count` pixels (`step` bytes apart from `from` in `out`)
    // is mostly of one guessed colour that is not one of the cropped
    // picture's, the shift that makes it one is undone from the line's
    // first pixel of that colour on, if that doubles the line's pixels of
    // such colours. Bytes known exactly stay.
    // The picture's own pixels, where it sits, are right: they neither
    // count for a line's shift nor take it.
    auto isShown = [&](std::size_t at) { return shownRow(at / len) && shows(at % len); };
    // Per shift tried: the pixels it makes common colours, that repeat the
    // line `back` bytes before, and that the picture's last rows show in
    // their column.
    struct LineFit {
        std::size_t hits = 0, repeats = 0, inColumn = 0;
    };
    auto shifted = [&](std::size_t from, std::size_t step, std::size_t count, const std::uint8_t* shift, bool apply,
                       std::size_t back = 0) {
        LineFit fit;
        Bytes pixel(bpp);
        for (std::size_t k = 0, at = from; k < count; ++k, at += step) {
            if (isShown(at)) continue;
            for (std::size_t j = 0; j < bpp; ++j)
                pixel[j] = exact.known[at + j] ? out[at + j] : static_cast<std::uint8_t>(out[at + j] + shift[j]);
            fit.hits += isCommon(pixel.data());
            fit.repeats += back != 0 && std::equal(pixel.begin(), pixel.end(), &out[at - back]);
            fit.inColumn += inColumn(at % len, pixel.data()) > 0;
            if (apply) std::copy(pixel.begin(), pixel.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        }
        return fit;
    };
    // Colours the cropped picture and the exact pixels show often are real,
    // however few of the common ones they are: a line of one is not shifted.
    detail::ColourCounts seenColours = colours;
    for (std::size_t at = 0; at + bpp <= exact.value.size(); at += bpp) {
        bool all = true;
        for (std::size_t j = 0; j < bpp; ++j) all = all && exact.known[at + j];
        if (all) detail::CountColour(seenColours, key(&exact.value[at]));
    }
    auto shownOften = [&](std::uint64_t colour) {
        constexpr std::size_t kMinShown = 64;
        const auto it = seenColours.find(colour);
        return it != seenColours.end() && it->second >= kMinShown;
    };
    // Each row's filter and first-pixel colour as decodeRows chose them.
    Bytes chosenFilter(l.rows, 0);
    auto recolour = [&](std::size_t from, std::size_t step, std::size_t count) {
        if (paletteKeys.empty()) return;
        std::unordered_map<std::uint64_t, std::size_t> seen;
        std::uint64_t top = 0;
        std::size_t topCount = 0, considered = 0;
        for (std::size_t k = 0, at = from; k < count; ++k, at += step) {
            if (isShown(at)) continue;
            const std::size_t n = ++seen[key(&out[at])];
            if (n > topCount) topCount = n, top = key(&out[at]);
            ++considered;
        }
        if (topCount * 4 < considered || std::find(paletteKeys.begin(), paletteKeys.end(), top) != paletteKeys.end() ||
            shownOften(top))
            return;
        // The wrong byte sits before the line's first pixel of that colour:
        // the pixels before it keep their values, as they count.
        const Bytes none(bpp, 0);
        std::size_t before = 0;
        for (std::size_t at = from; before < count && (isShown(at) || key(&out[at]) != top); ++before, at += step) {
        }
        const std::size_t beforeHits = shifted(from, step, before, none.data(), false).hits;
        from += before * step, count -= before;
        const std::size_t lineHits = beforeHits + shifted(from, step, count, none.data(), false).hits;
        // Of the shifts that double the line's pixels of common colours, the
        // one that makes most of them; on a tie, the one under which more of
        // them repeat the line before where the rows carry areas on into it
        // (the row above for a row under Up, Average or Paeth, the column to
        // the left where every row is Up or Paeth), then the one that
        // changes fewest channels (a wrong byte shifts one channel), then
        // the one whose colours the picture's columns show more often.
        // Several common colours often fit a line alike, and the first of
        // them painted a dark text area a light title bar's colour.
        const std::size_t back = step == bpp ? (from >= len && chosenFilter[from / len] >= 2 ? len : 0)
                                             : (from % len >= bpp && sole && (usual == 2 || usual == 4) ? bpp : 0);
        std::tuple<std::size_t, std::size_t, std::size_t, std::size_t> bestRank{};
        Bytes best = none, shift(bpp);
        for (const Bytes& c : palette) {
            std::size_t channels = 0;
            for (std::size_t j = 0; j < bpp; ++j) {
                shift[j] = static_cast<std::uint8_t>(c[j] - static_cast<std::uint8_t>(top >> (8 * (bpp - 1 - j))));
                channels += shift[j] != 0;
            }
            const LineFit fit = shifted(from, step, count, shift.data(), false, back);
            const std::size_t hits = beforeHits + fit.hits;
            if (hits <= 2 * lineHits || hits < topCount) continue;
            const std::tuple rank{hits, fit.repeats, bpp - channels, fit.inColumn};
            if (rank > bestRank) bestRank = rank, best = shift;
        }
        if (best != none) shifted(from, step, count, best.data(), true);
    };
    std::vector<const std::uint8_t*> chosenAnchor(l.rows, nullptr);
    // Rows [0, count) from the row above `prior`; returns their score. With
    // `again`, each row keeps the filter and first-pixel colour chosen before.
    auto decodeRows = [&](const Bytes& prior, std::size_t count, bool again = false) {
        std::uint8_t previous = 0;
        std::size_t total = 0;
        for (std::size_t y = 0; y < count; ++y) {
            const std::size_t row = l.first + y * l.stride;
            const std::uint8_t* up = y > 0 ? &out[(y - 1) * len] : prior.data();
            // A row known exactly throughout has nothing to choose.
            const auto rowKnown = exact.known.begin() + static_cast<std::ptrdiff_t>(y * len);
            if (std::find(rowKnown, rowKnown + static_cast<std::ptrdiff_t>(len), std::uint8_t{0}) ==
                rowKnown + static_cast<std::ptrdiff_t>(len)) {
                std::copy_n(exact.value.begin() + static_cast<std::ptrdiff_t>(y * len), len,
                            out.begin() + static_cast<std::ptrdiff_t>(y * len));
                previous = t.value[row];
                continue;
            }
            if (again) {
                decode(y, up, chosenFilter[y], chosenAnchor[y], &out[y * len]);
                recolour(y * len, bpp, len / bpp);
                continue;
            }
            const int pinned = t.Known(row) ? -1 : pinAt(t.WindowPos(row));
            const bool filterKnown = (t.Known(row) && t.value[row] <= 4) || (pinned >= 0 && pinned <= 4) || sole;
            std::uint8_t f = t.Known(row) && t.value[row] <= 4 ? t.value[row]
                             : pinned >= 0 && pinned <= 4      ? static_cast<std::uint8_t>(pinned)
                             : sole                            ? usual
                                                               : previous;
            const std::uint8_t* anchor = nullptr;
            std::size_t best = decode(y, up, f, anchor, &out[y * len]);
            bool firstLost = false;  // colours are tried only for a first pixel that is lost
            for (std::size_t i = 0; i < bpp && i < len; ++i) firstLost = firstLost || !t.Known(row + 1 + i);
            // The filter first, then the first pixel's colour under it: the
            // two choices hardly depend on each other, and trying every pair
            // costs five times as many passes over the row.
            for (std::uint8_t k = 0; k <= 4 && !filterKnown; ++k) {
                if (k == f) continue;
                const std::size_t score = decode(y, up, k, anchor, trial.data());
                if (score > best) best = score, f = k;
            }
            // Up and Paeth predict a row's first pixel from the row above alone.
            const bool anchored = f != 2 && f != 4;
            for (std::size_t c = 1; firstLost && anchored && c <= palette.size(); ++c) {
                const std::size_t score = decode(y, up, f, palette[c - 1].data(), trial.data());
                if (score > best) best = score, anchor = palette[c - 1].data();
            }
            decode(y, up, f, anchor, &out[y * len]);
            chosenFilter[y] = f;
            recolour(y * len, bpp, len / bpp);
            chosenAnchor[y] = anchor;
            previous = f;
            total += best;
        }
        return total;
    };
    auto uniform = [&](const Bytes& colour) {
        Bytes prior(len);
        for (std::size_t i = 0; i < len; ++i) prior[i] = colour[i % bpp];
        return prior;
    };
    // The row just above from the picture's row `top` where it reaches, the
    // most common colour beyond.
    auto priorFrom = [&](std::ptrdiff_t top) {
        Bytes prior = uniform(common);
        if (top >= 0) {
            const auto at = picture.pixels.begin() + top * static_cast<std::ptrdiff_t>(plen);
            std::copy_n(at, std::min(plen, len), prior.begin());
        }
        return prior;
    };
    // Where the picture sits: its row `top` taken for the row just above,
    // the inflated bytes of the rows from there on must be what filtering
    // its pixels gives (each row under its known filter byte, the row just
    // above under the most common one). Pairs where both are 0 say nothing
    // (flat areas); the true row makes nearly all others agree. The first
    // 32 rows are compared: right after the cut most bytes are lost, and
    // fewer rows often hold too few known ones to tell.
    constexpr std::size_t kAlignRows = 32;
    // The known bytes of those rows (and of the part row before them), each
    // with its row, byte and filter: gathered once per filter tried.
    struct Probe {
        std::size_t q;
        std::ptrdiff_t k, col;
        std::uint8_t f;
    };
    std::vector<Probe> probes;
    // The filter of rebuilt row y where it is certain (its filter byte
    // known, or one filter for all rows) or likely (every filter byte known
    // is one filter, however few: a wrong one only fails to place the
    // picture); -1 otherwise.
    auto rowFilter = [&](std::size_t y) -> int {
        const std::size_t head = l.first + y * l.stride;
        if (t.Known(head)) return t.value[head] <= 4 ? t.value[head] : -1;
        return sole || oneKnown ? usual : -1;
    };
    auto gatherProbes = [&] {
        probes.clear();
        const std::size_t end = std::min(t.value.size(), l.first + kAlignRows * l.stride);
        for (std::size_t q = 0; q < end; ++q) {
            if (!t.Known(q)) continue;
            const std::ptrdiff_t d = static_cast<std::ptrdiff_t>(q) - static_cast<std::ptrdiff_t>(l.first);
            const std::ptrdiff_t k = d >= 0 ? d / stride : -1, col = d - k * stride;
            const int f = k >= 0 ? rowFilter(static_cast<std::size_t>(k)) : usual;
            if (col == 0 || f < 0) continue;
            probes.push_back({q, k, col, static_cast<std::uint8_t>(f)});
        }
    };
    // Stops once the score can no longer beat `beat` (each comparison left
    // adds one at most): a wrong place is told long before the end.
    auto agreement = [&](std::ptrdiff_t top, std::size_t left, std::ptrdiff_t beat) {
        constexpr std::size_t kMaxCompared = 1 << 15;
        std::ptrdiff_t score = 0;
        std::size_t compared = 0;
        for (const Probe& p : probes) {
            if (compared >= kMaxCompared || score + static_cast<std::ptrdiff_t>(kMaxCompared - compared) <= beat) break;
            const std::ptrdiff_t y = top + 1 + p.k;
            if (y >= static_cast<std::ptrdiff_t>(picture.rows)) break;
            if (y < 0 || (y == 0 && p.f >= 2) || static_cast<std::size_t>(p.col - 1) < left) continue;
            const std::size_t j = static_cast<std::size_t>(p.col - 1) - left;
            // Past the picture, or its first pixel, whose left neighbour in
            // the original it does not hold.
            if (j >= plen || (left > 0 && j < bpp)) continue;
            const std::uint8_t* prow = &picture.pixels[static_cast<std::size_t>(y) * plen];
            const std::uint8_t want = FilteredAt(prow, y > 0 ? prow - plen : nullptr, j, bpp, p.f);
            if (want == 0 && t.value[p.q] == 0) continue;
            ++compared;
            score += want == t.value[p.q] ? 1 : -1;
        }
        return score;
    };
    // No filter byte known at all: every one is a copy of the lost window,
    // as when the encoder used one filter for every row (filter bytes that
    // vary are mostly literals). Rows chosen one by one then drift between
    // filters that explain flat areas alike; one filter for all of them does
    // not: the one under which most pixels come out in colours the cropped
    // picture shows (a wrong filter gives flat rows of colours it has not),
    // or with no picture the one under which the whole picture scores best.
    // Choices judged by the colours the rows come out in: the first rows
    // tell as well as all of them (a MiB of them at most, or a full-screen
    // picture is decoded many times over for one choice alone).
    constexpr std::size_t kColourRows = 64, kColourBytes = std::size_t{1} << 20;
    const std::size_t colourRows = std::min(l.rows, std::max(kColourRows, kColourBytes / len));
    // The pixels of the first `colourRows` rows in colours the picture shows.
    auto inPictureColours = [&] {
        std::size_t count = 0;
        for (std::size_t at = 0; at + bpp <= colourRows * len; at += bpp) count += colours.count(key(&out[at]));
        return count;
    };
    // With no filter byte inflated: the filter the colours read best, and
    // a rival nearly as good.
    std::optional<std::uint8_t> bestRead, rival;
    if (filtersKnown == 0 && !lined) {
        sole = true;
        std::array<std::size_t, 5> scores{};
        for (std::uint8_t f = 0; f <= 4; ++f) {
            usual = f;
            scores[f] = decodeRows(uniform(common), colourRows);
            if (!colours.empty()) scores[f] = inPictureColours();
        }
        const auto bestFilter = static_cast<std::uint8_t>(ArgMax<std::size_t>(scores));
        usual = bestFilter;
        bestRead = bestFilter;
        // A filter other than None that scores within kClose of the best
        // (Paeth and Sub read a screen's flat areas alike).
        constexpr double kClose = 0.95;
        for (std::uint8_t f = 1; f <= 4; ++f)
            if (f != bestFilter && scores[f] > 0 &&
                static_cast<double>(scores[f]) >= kClose * static_cast<double>(scores[bestFilter]) &&
                (!rival || scores[f] > scores[*rival]))
                rival = f;
        // Whether it is None at all the picture's own filtered bytes tell
        // better: under None the inflated bytes are colour values.
        if (picture.rows > 1) {
            const std::uint8_t byResiduals = FilterByResiduals(t, l, picture);
            if ((byResiduals == 0) != (usual == 0)) usual = byResiduals;
        }
        // Copies that keep to their channels tell None for certain; the
        // reverse does not tell the other filters (a grey screen's flat
        // areas repeat a byte under None too).
        constexpr double kNone = 0.99;
        if (ChannelSteadiness(t, l) >= kNone) usual = 0;
        if (only) usual = *only;
    }
    if (!lined && plen != 0 && plen <= len && picture.rows > 0) {
        constexpr std::ptrdiff_t kMinAgreeing = 64;
        auto place = [&] {
            gatherProbes();
            std::ptrdiff_t best = kMinAgreeing - 1;
            // The rows that agree at all, and the last of them: a lone one
            // may place the picture below, by less than kMinAgreeing.
            std::ptrdiff_t loneTop = 0, loneScore = 0;
            std::size_t agreeing = 0;
            for (std::ptrdiff_t top = 0; top < static_cast<std::ptrdiff_t>(picture.rows); ++top) {
                const std::ptrdiff_t score = agreement(top, 0, 0);
                if (score > 0) ++agreeing, loneTop = top, loneScore = score;
                if (score > best) best = score, aboveTop = top, aboveLeft = 0;
            }
            // A region cropped from further right: runs of inflated bytes in
            // the first rows that vary enough to be found only where they
            // belong are sought in the picture's rows, filtered the same
            // way; each find votes for a place, and the places most voted
            // for are scored like the rest. Where a few anchors from the
            // first rows find no place (there most bytes are copies of the
            // lost window, the inflated ones often a photo the region left
            // out), anchors from more rows and more of each row are sought;
            // not at first, as the finds of so many crowd out the place.
            // Where those find nothing at all, shorter anchors are sought:
            // in a text area right after the cut the runs of inflated bytes
            // between copies are often all shorter than kLongAnchor (not
            // where they find wrong places too: on a wide picture each such
            // search costs a pass over it per filter tried).
            constexpr std::size_t kLongAnchor = 16, kShortAnchor = 8, kMinValues = 4, kMaxFinds = 1 << 16;
            // Each anchor with its bytes and a hash of their first four, so
            // that one pass over a filtered row finds every anchor in it: a
            // search per anchor costs as many passes as there are anchors.
            constexpr unsigned kBucketBits = 16;
            auto bucketOf = [](const std::uint8_t* p) {
                std::uint32_t v = 0;
                for (std::size_t k = 0; k < 4; ++k) v = v << 8 | p[k];
                return (v * 2654435761u) >> (32 - kBucketBits);
            };
            struct Anchor {
                std::size_t row, at;
                std::uint8_t filter;
                const std::uint8_t* pattern;
                std::uint32_t bucket;
            };
            // A picture that starts this many rows below the first rebuilt
            // one still shares rows with those compared.
            constexpr auto kReach = static_cast<std::ptrdiff_t>(kAlignRows) - 1;
            auto seek = [&](std::size_t anchorRows, std::size_t perRow, std::size_t tried, std::size_t anchorBytes) {
                std::vector<Anchor> anchors;
                for (std::size_t k = 0; k < anchorRows && k < l.rows; ++k) {
                    const std::size_t head = l.first + k * l.stride;
                    const int f = rowFilter(k);
                    if (f < 0) continue;
                    std::size_t run = 0, taken = 0;
                    for (std::size_t i = bpp; i < len && taken < perRow; ++i) {
                        run = t.Known(head + 1 + i) ? run + 1 : 0;
                        if (run < anchorBytes) continue;
                        const std::uint8_t* from = &t.value[head + 2 + i - anchorBytes];
                        std::array<bool, 256> seen{};
                        std::size_t distinct = 0;
                        for (std::size_t j = 0; j < anchorBytes; ++j) distinct += !std::exchange(seen[from[j]], true);
                        if (distinct < kMinValues) continue;
                        anchors.push_back({k, i + 1 - anchorBytes, static_cast<std::uint8_t>(f), from, bucketOf(from)});
                        ++taken, run = 0, i += len / perRow;
                    }
                }
                std::map<std::pair<std::ptrdiff_t, std::size_t>, std::size_t> votes;
                std::size_t finds = 0;
                Bytes filtered(plen);
                // Per filter, the anchors under it grouped by bucket: those of
                // bucket b are inBucket[bucketStart[b] .. bucketStart[b + 1]).
                std::vector<std::uint32_t> bucketStart((std::size_t{1} << kBucketBits) + 1), inBucket, next;
                for (std::uint8_t f = 0; f <= 4; ++f) {
                    std::fill(bucketStart.begin(), bucketStart.end(), 0);
                    for (const Anchor& anchor : anchors)
                        if (anchor.filter == f) ++bucketStart[anchor.bucket + 1];
                    std::partial_sum(bucketStart.begin(), bucketStart.end(), bucketStart.begin());
                    if (bucketStart.back() == 0) continue;
                    inBucket.resize(bucketStart.back());
                    next.assign(bucketStart.begin(), bucketStart.end() - 1);
                    for (std::size_t n = 0; n < anchors.size(); ++n)
                        if (anchors[n].filter == f) inBucket[next[anchors[n].bucket]++] = static_cast<std::uint32_t>(n);
                    // The picture's first row lacks the row above it.
                    for (std::size_t y = f >= 2; y < picture.rows && finds < kMaxFinds; ++y) {
                        const std::uint8_t* prow = &picture.pixels[y * plen];
                        const std::uint8_t* up = y > 0 ? prow - plen : nullptr;
                        for (std::size_t j = 0; j < plen; ++j) filtered[j] = FilteredAt(prow, up, j, bpp, f);
                        for (std::size_t j = std::min(bpp, plen); j + anchorBytes <= plen; ++j) {
                            const std::uint32_t b = bucketOf(&filtered[j]);
                            for (std::uint32_t k = bucketStart[b]; k < bucketStart[b + 1]; ++k) {
                                const Anchor& anchor = anchors[inBucket[k]];
                                // A place the rows compared cannot reach
                                // is not counted: such finds crowd out
                                // the place.
                                const std::ptrdiff_t top =
                                    static_cast<std::ptrdiff_t>(y) - static_cast<std::ptrdiff_t>(anchor.row) - 1;
                                if (j >= anchor.at || (anchor.at - j) % bpp != 0 || top < -kReach ||
                                    !std::equal(anchor.pattern, anchor.pattern + anchorBytes, &filtered[j]))
                                    continue;
                                ++votes[{top, anchor.at - j}];
                                ++finds;
                            }
                        }
                    }
                }
                std::vector<std::pair<std::size_t, std::pair<std::ptrdiff_t, std::size_t>>> ranked;
                for (const auto& [at, count] : votes) ranked.emplace_back(count, at);
                std::sort(ranked.rbegin(), ranked.rend());
                for (std::size_t n = 0; n < std::min(tried, ranked.size()); ++n) {
                    const auto [top, left] = ranked[n].second;
                    const std::ptrdiff_t score = agreement(top, left, best);
                    if (score > best) best = score, aboveTop = top, aboveLeft = left;
                }
                return finds;
            };
            constexpr std::size_t kFewPerRow = 4, kFewTried = 4, kWideRows = 128, kManyPerRow = 16, kManyTried = 16;
            seek(kAlignRows, kFewPerRow, kFewTried, kLongAnchor);
            if (aboveTop == kNowhere && seek(kWideRows, kManyPerRow, kManyTried, kLongAnchor) == 0)
                seek(kWideRows, kManyPerRow, kManyTried, kShortAnchor);
            // A picture from the top left that ends a few rows below the
            // first rebuilt one shares few inflated bytes with it (right
            // after the cut most are copies): a row that agrees with them by
            // fewer than kMinAgreeing still places it when no other agrees
            // at all.
            constexpr std::ptrdiff_t kMinLone = 16;
            if (aboveTop == kNowhere && agreeing == 1 && loneScore >= kMinLone) aboveTop = loneTop, aboveLeft = 0;
        };
        place();
        // With no filter byte known, the one filter under which the picture
        // finds its place is the encoder's: the colours can mislead (a wrong
        // filter's flat rows of one colour).
        const std::uint8_t chosen = usual;
        for (std::uint8_t f = 0; f <= 4 && filtersKnown == 0 && aboveTop == kNowhere; ++f) {
            if (f == chosen) continue;
            usual = f;
            place();
        }
        if (aboveTop == kNowhere) usual = chosen;
        std::fill(aboveFilters.begin(), aboveFilters.end(), usual);
        // A picture from the top left that ends a few rows above the first
        // rebuilt one shares no row with it, but still holds rows of the
        // lost window when it ends within the window's reach, and its steady
        // columns tell the rows below it when it ends further up. Its place,
        // the gap, and whether its last row is repeated down to the window,
        // are the ones under which the rows decode best: under Sub and Paeth,
        // where a wrong window byte shifts the colours of the pixels after it,
        // by the pixels in colours the picture shows (the first MiB of rows);
        // otherwise, or when no place beats none by that, by the first rows'
        // score.
        if (aboveTop == kNowhere) {
            const Bytes prior = priorFrom(static_cast<std::ptrdiff_t>(picture.rows) - 1);
            const std::size_t rows = std::min(l.rows, kAlignRows);
            auto gapScore = [&](bool byColours) {
                if (!byColours) return decodeRows(prior, rows);
                decodeRows(prior, colourRows);
                return inPictureColours();
            };
            // Places that give the same window bytes to the lost bytes of
            // those rows decode alike: each is decoded once.
            std::vector<std::size_t> copied;
            for (std::size_t at = l.first; at < std::min(t.value.size(), l.first + colourRows * l.stride); ++at)
                if (!t.Known(at)) copied.push_back(t.WindowPos(at));
            std::sort(copied.begin(), copied.end());
            copied.erase(std::unique(copied.begin(), copied.end()), copied.end());
            auto search = [&](bool byColours) {
                std::size_t best = gapScore(byColours);
                std::ptrdiff_t bestTop = kNowhere;
                bool bestRepeat = false;
                std::set<std::vector<int>> tried;
                for (const bool repeat : {false, true}) {
                    repeatLast = repeat;
                    for (std::size_t gap = repeat; gap < aboveFilters.size(); ++gap) {
                        aboveTop = static_cast<std::ptrdiff_t>(picture.rows - 1 + gap);
                        std::vector<int> given(copied.size());
                        for (std::size_t n = 0; n < copied.size(); ++n) given[n] = pinFromPicture(copied[n]);
                        if (!tried.insert(std::move(given)).second) continue;
                        const std::size_t score = gapScore(byColours);
                        if (score > best) best = score, bestTop = aboveTop, bestRepeat = repeat;
                    }
                }
                aboveTop = bestTop, repeatLast = bestRepeat;
                gapped = bestTop != kNowhere;
                return gapped;
            };
            const bool byColours = usual == 1 || usual == 4;
            if (!search(byColours) && byColours) search(false);
        }
    }
    if (aboveTop != kNowhere && !lined) {
        for (std::size_t y = 0; y < l.rows && heldRow(y) < static_cast<std::ptrdiff_t>(picture.rows); ++y) {
            const int rf = rowFilter(y);
            // The picture's first row has no row above in it.
            if (rf < 0 || heldRow(y) <= 0) continue;
            const auto f = static_cast<std::uint8_t>(rf);
            const std::size_t head = l.first + y * l.stride;
            const std::uint8_t* row = shownRow(y);
            const std::uint8_t* up = row - plen;  // the picture holds the row above too
            for (std::size_t j = aboveLeft > 0 && f != 0 && f != 2 ? bpp : 0; j < plen && aboveLeft + j < len; ++j) {
                const std::size_t at = head + 1 + aboveLeft + j;
                if (t.Known(at)) continue;
                const int value = FilteredAt(row, up, j, bpp, f);
                int& slot = told[t.WindowPos(at)];
                slot = slot == -1 || slot == value ? value : -2;
            }
        }
        std::replace(told.begin(), told.end(), -2, -1);
        // Each row above takes the filter under which its pixels give most
        // of the bytes told, where they tell it apart.
        std::vector<std::array<std::ptrdiff_t, 5>> agree(sole ? 0 : aboveFilters.size());
        for (std::size_t w = 0; w < detail::kWindowSize && !agree.empty(); ++w) {
            const auto [k, col] = aboveAt(w);
            if (told[w] < 0 || col == 0 || static_cast<std::size_t>(k) >= agree.size()) continue;
            for (std::uint8_t f = 0; f <= 4; ++f) {
                const int v = filteredFromPicture(k, col, f);
                if (v >= 0) agree[static_cast<std::size_t>(k)][f] += v == told[w] ? 1 : -1;
            }
        }
        for (std::size_t k = 0; k < agree.size(); ++k) {
            const auto best = static_cast<std::uint8_t>(ArgMax<std::ptrdiff_t>(agree[k]));
            if (agree[k][best] > 0) aboveFilters[k] = best;
        }
    }
    // Where every row reads the row above straight down (one filter, Up or
    // Paeth), a column that takes a bar's colour from the top of the picture
    // runs it down the whole area: from here on only the colours the
    // picture's last third shows are tried (ShownLow).
    if (sole && (usual == 2 || usual == 4)) {
        palette = ShownLow(palette, picture, bpp);
        paletteKeys = PaletteKeys(palette, bpp);
    }
    // Each pixel of the row above takes, of the cropped picture's common
    // colours, the one under which its column's pixels in the first rows are
    // most often such colours too (under Up exactly the column's own matter):
    // in a flat column any will do and the most common stays, where the
    // column changes only the right one lands on another common colour.
    // Where the cropped picture holds the row above (painted over, not
    // cropped), that row is tried first. `inside`: the picture holds the
    // row just above, not only rows further up.
    const bool inside = aboveTop >= 0 && aboveTop < static_cast<std::ptrdiff_t>(picture.rows);
    std::vector<Bytes> priors;
    std::size_t shownColumns = 0;  // columns whose first choice is the picture's
    if (lined) {
        const auto at = picture.pixels.begin() + static_cast<std::ptrdiff_t>((picture.rows - l.rows - 1) * len);
        priors.emplace_back(at, at + static_cast<std::ptrdiff_t>(len));
    }
    // Lined up, the picture's row above is the original's but where a box
    // was painted.
    if (priors.empty()) {
        // A picture from the top left that ends above the row just above
        // still shows its columns' colours: screens keep them down the
        // rows (panels, the background), and when every row reads the row
        // above (one filter, Up, Average or Paeth) or copies it where its
        // bytes are lost (None) its last row is the first choice, the colour
        // a flat column keeps. Filters chosen row by row, and Sub, whose
        // rows start from their first pixel alone, fare better with the
        // common colours alone.
        if (sole && usual != 1 && !inside && plen != 0 && plen <= len && picture.rows > 0) {
            priors.push_back(priorFrom(static_cast<std::ptrdiff_t>(picture.rows) - 1));
            shownColumns = plen / bpp;
        }
        for (const Bytes& c : palette) priors.push_back(uniform(c));
        priors.push_back(uniform(common));
    }
    const std::size_t width = len / bpp, firstRows = std::min<std::size_t>(l.rows, kPriorRows);
    // Where every row reads the row above straight down (one filter, Up or
    // Paeth), a wrong colour there runs down the whole column, and what is
    // right shows below a bar as well as in it: all rows vote.
    const bool continues = sole && (usual == 2 || usual == 4);
    constexpr std::size_t kVoteRows = 256;
    const std::size_t voteRows = continues ? std::min(l.rows, kVoteRows) : firstRows;
    // Where the picture sits, how often its last rows show each common
    // colour in each of its columns (a screen's top rows often hold a bar of
    // a colour common overall but found nowhere below). A picture whose
    // place nothing tells (it ends above the lost window's reach) is taken
    // as cropped from the top left, as most are: its columns still tell the
    // panels and the background that run on down the screen.
    const bool topLeft = plen != 0 && plen <= len && picture.rows > 0;
    if ((aboveTop != kNowhere || topLeft) && !lined) {
        inColumns.assign(std::size_t{picture.width} * palette.size(), 0);
        for (std::size_t y = picture.rows - std::min(picture.rows, kLastRows); y < picture.rows; ++y)
            for (std::size_t x = 0; x < picture.width; ++x) {
                const auto k =
                    std::find(paletteKeys.begin(), paletteKeys.end(), key(&picture.pixels[y * plen + x * bpp]));
                if (k != paletteKeys.end())
                    ++inColumns[x * palette.size() + static_cast<std::size_t>(k - paletteKeys.begin())];
            }
        kept.assign(picture.width, std::nullopt);
        for (std::size_t x = 0; x < picture.width; ++x)
            for (std::size_t k = 0; k < palette.size(); ++k)
                if (inColumns[x * palette.size() + k] >= kLastRows) kept[x] = paletteKeys[k];
    }
    // A column's pixels vote for the colour they come out in when it is
    // common, and again when the picture's last rows show it in that
    // column. Ties go to the first choice. Where every row reads the row above the
    // way Up and Paeth do (a flat column copies it down), a flat column
    // takes every colour alike: past the picture's columns it keeps the
    // colour of the column to its left, where that is among the best (the
    // background runs on past the picture's right edge; the most common
    // colour is often a panel's).
    std::vector<std::size_t> votes(priors.size() * width, 0);
    for (std::size_t k = 0; k < priors.size(); ++k) {
        decodeRows(priors[k], voteRows);
        for (std::size_t x = 0; x < width; ++x)
            for (std::size_t y = 0; y < voteRows; ++y) {
                const std::uint8_t* pixel = &out[y * len + x * bpp];
                votes[k * width + x] += std::size_t{isCommon(pixel)} + std::size_t{inColumn(x * bpp, pixel) > 0};
            }
    }
    Bytes prior = priors.front();
    // Where the picture sits, its row is the row above for its columns, and
    // the columns past it continue from there.
    const bool placed = inside && !lined;
    const std::size_t placedFrom = placed ? aboveLeft / bpp : 0,
                      placedTo = placed ? (aboveLeft + std::min(plen, len - aboveLeft)) / bpp : 0;
    auto isPlaced = [&](std::size_t x) { return x >= placedFrom && x < placedTo; };
    if (placed)
        std::copy_n(&picture.pixels[static_cast<std::size_t>(aboveTop) * plen], (placedTo - placedFrom) * bpp,
                    prior.begin() + static_cast<std::ptrdiff_t>(placedFrom * bpp));
    for (std::size_t x = 0; x < width; ++x) {
        if (isPlaced(x)) continue;
        std::size_t most = 0;
        for (std::size_t k = 0; k < priors.size(); ++k) most = std::max(most, votes[k * width + x]);
        const auto colour = [&](std::size_t k) { return priors[k].begin() + static_cast<std::ptrdiff_t>(x * bpp); };
        const auto here = prior.begin() + static_cast<std::ptrdiff_t>(x * bpp);
        std::size_t chosen = priors.size();
        for (std::size_t k = 0; k < priors.size(); ++k) {
            if (votes[k * width + x] != most) continue;
            if (chosen == priors.size()) chosen = k;
            if (!continues || x < shownColumns) break;
            if (x > 0 && std::equal(here - static_cast<std::ptrdiff_t>(bpp), here, colour(k))) {
                chosen = k;
                break;
            }
        }
        std::copy(colour(chosen), colour(chosen) + static_cast<std::ptrdiff_t>(bpp), here);
    }
    // Under Average and Paeth a pixel reads its left neighbour as well, so a
    // column of the first rows depends on the row above's pixels left of it
    // too, not on its own one alone: chosen column by column from the left,
    // each pixel of the row above takes the colour under which its column's
    // pixels are most often common colours or repeat their left neighbour,
    // the columns left of it as chosen. Left of a placed picture, ties go to
    // the colour of its first column: a panel the picture was cut out of
    // runs on to the screen's edge.
    if (!lined && sole && (usual == 3 || usual == 4)) {
        decodeRows(prior, firstRows);
        auto decodeColumn = [&](std::size_t x) {
            std::size_t score = 0;
            for (std::size_t y = 0; y < firstRows; ++y) {
                const std::uint8_t* up = y > 0 ? &out[(y - 1) * len] : prior.data();
                std::uint8_t* o = &out[y * len];
                const std::uint8_t* shown = shownRow(y);
                const std::uint8_t f = chosenFilter[y];
                for (std::size_t i = x * bpp; i < (x + 1) * bpp; ++i) {
                    const std::uint8_t a = i >= bpp ? o[i - bpp] : 0, c = i >= bpp ? up[i - bpp] : 0;
                    o[i] = byteAt(y, i, f, chosenAnchor[y], shown, a, up[i], c);
                }
                if (f == 3 && !(shown && shows(x * bpp))) snap(o + x * bpp, &exact.known[y * len + x * bpp]);
                score += 2 * std::size_t{isCommon(o + x * bpp)} +
                         std::size_t{x > 0 && std::equal(o + x * bpp, o + (x + 1) * bpp, o + (x - 1) * bpp)};
            }
            return score;
        };
        Bytes candidate(bpp);
        for (std::size_t x = shownColumns; x < width; ++x) {
            if (isPlaced(x)) continue;
            const auto here = prior.begin() + static_cast<std::ptrdiff_t>(x * bpp);
            const Bytes vote(here, here + static_cast<std::ptrdiff_t>(bpp));
            if (x < placedFrom) std::copy_n(prior.begin() + static_cast<std::ptrdiff_t>(placedFrom * bpp), bpp, here);
            std::size_t best = decodeColumn(x);
            Bytes chosen(here, here + static_cast<std::ptrdiff_t>(bpp));
            auto tryColour = [&](const std::uint8_t* colour) {
                std::copy_n(colour, bpp, here);
                const std::size_t score = decodeColumn(x);
                if (score > best) best = score, chosen.assign(colour, colour + bpp);
            };
            if (x < placedFrom) tryColour(vote.data());
            if (x > 0) {
                std::copy_n(here - static_cast<std::ptrdiff_t>(bpp), bpp, candidate.begin());
                tryColour(candidate.data());
            }
            for (const Bytes& c : palette) tryColour(c.data());
            std::copy(chosen.begin(), chosen.end(), here);
            decodeColumn(x);
        }
    }
    // Under Up a pixel is the row above's plus the sum of its column's bytes
    // down to it, until one of them is known exactly or the picture's: every
    // value of the row above is weighed at once. Each pixel down the column
    // votes, for each common colour, for the value that makes it that colour
    // (a little more for the more common ones); the few values most voted
    // for, and the one chosen so far, are judged by the pixels they give in
    // colours the picture shows. A column past the picture's right edge
    // (panels, photos) is then right as a whole, not only where it is flat.
    // Where values tie on those pixels (below a photo every common colour
    // fits the background alike), one under which far more of the column's
    // pixels repeat the column to its left, as chosen, wins: the background
    // runs on across the columns.
    if (!lined && sole && usual == 2 && !palette.empty()) {
        constexpr std::size_t kTried = 8, kMinShown = 8, kRepeatMargin = 2, kMinRepeats = 8;
        const std::size_t rows = std::min(l.rows, kVoteRows);
        Bytes sums(bpp), value(bpp), pixel(bpp);
        std::vector<bool> open(bpp);
        // Calls use() for each pixel of column x that still depends on the
        // row above in every channel, `sums` holding its bytes' sums.
        auto walk = [&](std::size_t x, auto&& use) {
            std::fill(sums.begin(), sums.end(), 0);
            std::fill(open.begin(), open.end(), true);
            for (std::size_t y = 0; y < rows && std::find(open.begin(), open.end(), true) != open.end(); ++y) {
                const std::uint8_t* shown = shownRow(y);
                bool all = true;
                for (std::size_t j = 0, i = x * bpp; j < bpp; ++j, ++i) {
                    open[j] = open[j] && !exact.known[y * len + i] && !(shown && shows(i));
                    if (open[j]) sums[j] = byteAt(y, i, 2, nullptr, nullptr, 0, sums[j], 0);
                    all = all && open[j];
                }
                if (all) use(y);
            }
        };
        // The column to the left as chosen, per row (kNoPixel where its
        // walk did not reach).
        constexpr std::uint64_t kNoPixel = ~std::uint64_t{0};
        std::vector<std::uint64_t> leftColumn(rows, kNoPixel), thisColumn(rows, kNoPixel);
        auto judge = [&](std::size_t x, std::uint64_t v, bool keep = false) {
            for (std::size_t j = 0; j < bpp; ++j) value[j] = static_cast<std::uint8_t>(v >> (8 * (bpp - 1 - j)));
            std::size_t hits = 0, repeats = 0;
            walk(x, [&](std::size_t y) {
                for (std::size_t j = 0; j < bpp; ++j) pixel[j] = static_cast<std::uint8_t>(value[j] + sums[j]);
                const std::uint64_t k = key(pixel.data());
                const auto it = colours.find(k);
                hits += it != colours.end() && it->second >= kMinShown;
                repeats += leftColumn[y] == k;
                if (keep) thisColumn[y] = k;
            });
            return std::pair{hits, repeats};
        };
        std::vector<std::pair<std::uint64_t, std::size_t>> asked;   // value, weight
        std::vector<std::pair<std::size_t, std::uint64_t>> ranked;  // total weight, value
        auto keepColumn = [&](std::size_t x, std::uint64_t v) {
            std::fill(thisColumn.begin(), thisColumn.end(), kNoPixel);
            judge(x, v, true);
            std::swap(leftColumn, thisColumn);
        };
        for (std::size_t x = 0; x < width; ++x) {
            if (isPlaced(x)) {
                keepColumn(x, key(&prior[x * bpp]));
                continue;
            }
            asked.clear();
            walk(x, [&](std::size_t) {
                for (std::size_t c = 0; c < palette.size(); ++c) {
                    for (std::size_t j = 0; j < bpp; ++j) value[j] = static_cast<std::uint8_t>(palette[c][j] - sums[j]);
                    asked.emplace_back(key(value.data()), 4 * palette.size() - c);
                }
            });
            std::sort(asked.begin(), asked.end());
            ranked.clear();
            for (std::size_t n = 0; n < asked.size(); ++n) {
                if (n == 0 || asked[n].first != asked[n - 1].first) ranked.emplace_back(0, asked[n].first);
                ranked.back().first += asked[n].second;
            }
            const std::size_t tried = std::min(ranked.size(), kTried);
            std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(tried), ranked.end(),
                              std::greater<>());
            std::uint64_t chosen = key(&prior[x * bpp]);
            auto best = judge(x, chosen);
            for (std::size_t n = 0; n < tried; ++n)
                if (const auto fit = judge(x, ranked[n].second);
                    fit.first > best.first ||
                    (fit.first == best.first && fit.second > kRepeatMargin * best.second + kMinRepeats))
                    best = fit, chosen = ranked[n].second;
            keepColumn(x, chosen);
            for (std::size_t j = 0; j < bpp; ++j)
                prior[x * bpp + j] = static_cast<std::uint8_t>(chosen >> (8 * (bpp - 1 - j)));
        }
    }
    decodeRows(prior, l.rows);
    if (VoteWindow(t, l, out, prior, solved, chosenFilter, pinFromPicture)) decodeRows(prior, l.rows, true);
    if (MatchColours(t, l, out, chosenFilter, picture, colours, solved, pinFromPicture))
        decodeRows(prior, l.rows, true);
    if (SolvePixels(t, l, out, prior, solved, chosenFilter, chosenAnchor, palette, colours, pinFromPicture, decode,
                    inColumn))
        decodeRows(prior, l.rows, true);
    if (SolveWindow(t, l, out, prior, solved, chosenFilter, chosenAnchor, palette, pinFromPicture, decode))
        decodeRows(prior, l.rows, true);
    if (!lined && FlattenAreas(t, l, chosenFilter, colours, palette, isShown, out, exact))
        decodeRows(prior, l.rows, true);
    // The colour passes; areas they settle on good evidence are held and the
    // rows decoded again once, and the passes rerun on what that changed.
    auto colourPasses = [&](bool hold) {
        for (std::size_t x = 0; x < width; ++x) recolour(x * bpp, len, l.rows);
        if (!lined && sole && (usual == 3 || usual == 4)) RecolourAreas(l, exact, picture, palette, isShown, out);
        // Where every row is Up, weighing a common area's colour misled more
        // often than it mended on the screens tried.
        return !lined && !(sole && usual == 2) &&
               RecolourWhole(t, l, chosenFilter, exact, colours, palette, isShown, out, !(sole && usual == 4), hold);
    };
    if (colourPasses(true)) {
        decodeRows(prior, l.rows, true);
        colourPasses(false);
    }
    // Stripes left by a wrong row above under Paeth: held and the rows
    // decoded again, then once more on what that left.
    if (!lined && sole && usual == 4) {
        if (StraightenColumns(l, colours, palette, isShown, out, exact, true)) {
            decodeRows(prior, l.rows, true);
            colourPasses(false);
        }
        StraightenColumns(l, colours, palette, isShown, out, exact, false);
    }
    if (sole && usual == 2) SettleColumns(l, exact, isShown, out);
    if (readAs && filtersKnown == 0 && !lined) *readAs = {usual, usual == bestRead ? rival : std::nullopt};
    return out;
}

// Rows of the original's pixels as 8-bit RGBA; 16-bit samples give their high
// byte. With `known`, a pixel any of whose bytes used is unknown is left
// transparent black.
Bytes ToRgba(const Layout& l, const Bytes& value, const Bytes* known, std::size_t& knownPixels) {
    const Format f = l.format;
    const std::size_t len = l.stride - 1, pixels = std::size_t{l.width} * l.rows;
    Bytes out(pixels * 4, 0);
    knownPixels = 0;
    for (std::size_t y = 0; y < l.rows; ++y) {
        for (std::size_t x = 0; x < l.width; ++x) {
            const std::size_t in = y * len + x * f.bpp;
            std::uint8_t* o = &out[(y * l.width + x) * 4];
            bool ok = true;
            std::array<std::uint8_t, 4> s{};
            for (std::size_t ch = 0; ch < f.channels; ++ch) {
                const std::size_t at = in + ch * f.sampleBytes;
                s[ch] = value[at];
                if (known && !(*known)[at]) ok = false;
            }
            if (!ok) continue;
            ++knownPixels;
            const bool grey = f.channels <= 2;
            o[0] = s[0];
            o[1] = grey ? s[0] : s[1];
            o[2] = grey ? s[0] : s[2];
            o[3] = f.channels == 2 ? s[1] : f.channels == 4 ? s[3] : 0xFF;
        }
    }
    return out;
}

Result Nothing(Status status, std::string message) {
    Result r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

}  // namespace

Result Recover(std::span<const std::uint8_t> trailer, const Hint& hint, const Options& options) {
    if (trailer.size() > detail::kMaxTrailerBytes) trailer = trailer.last(detail::kMaxTrailerBytes);
    const detail::Dechunked dechunked = detail::Dechunk(trailer);
    if (!dechunked.remnant) return Nothing(Status::NotARemnant, "the trailer does not end with an IEND chunk");
    const std::span<const std::uint8_t> data = dechunked.data;

    const detail::Start start = detail::FindBlockStart(data);
    if (!start.found) return Nothing(Status::NothingRebuilt, start.why);
    std::uint64_t startBit = start.bit;

    Tracked t;
    Layout layout;
    bool trustRows = false;
    const std::array<std::uint32_t, 1> given = {options.width};
    std::vector<std::uint32_t> guesses;
    if (!start.ended) {
        if (hint.width != 0 && hint.width <= kMaxWidth) guesses.push_back(hint.width);
        guesses.insert(guesses.end(), kScreenWidths.begin(), kScreenWidths.end());
    }
    // A start found by chance can decode a short false block and then fall
    // in step with the true stream, or a false last block that happens to end
    // where the data does: its bytes do not line up as rows. A filter byte
    // above 4 where a row starts betrays it (or a wrong width): start again
    // after the first block, and give up when that does not help.
    for (int attempt = 0;; ++attempt) {
        t = detail::InflateTracked(data, startBit, start.ended);
        if (!t.complete)
            return Nothing(Status::NothingRebuilt,
                           t.total > detail::kMaxInflateTotal
                               ? "the data inflates to more than 128 MiB of scanlines"
                               : "the compressed data does not inflate from the block start found");
        if (options.width > kMaxWidth)
            return Nothing(Status::NothingRebuilt, "the width given is larger than 16384 pixels");
        // A width found from the data needs a few rows: over two or three,
        // chance repeats at some long stride outscore the true one. The
        // first block may come from a start found by chance that fell in
        // step with the stream later: its bytes may be wrong though known,
        // so the width is told from the bytes after it (when that leaves
        // half of them); the check below then looks at every row start.
        const std::size_t n = t.value.size();
        const auto blockEnd =
            static_cast<std::size_t>(t.firstBlockEnd - std::min<std::uint64_t>(t.firstBlockEnd, t.Dropped()));
        const std::size_t trusted = blockEnd < n / 2 ? blockEnd : 0;
        layout = options.width != 0 ? FindLayout(t, hint, given, 1, 0, true)
                                    : FindLayout(t, hint, guesses, kMinFoundRows, trusted);
        if (layout.width == 0 || layout.rows == 0)
            return Nothing(Status::NothingRebuilt,
                           options.width != 0 ? "not even one whole row of that width was inflated"
                                              : "too little was inflated to tell the width (four whole rows at least)");
        const auto counts = RowStartScore(t, 0, layout.format.bpp).Count(layout.first, t.value.size(), layout.stride);
        // Known rows need known filter bytes; when most of those look like
        // a flat channel rather than filter bytes, the rows may be misplaced
        // (a stride off by whole pixels walks along an opaque alpha), so
        // nothing is shown as known.
        // A width that is certain (given, or found against every rival),
        // with the stream's end as the last row's end, places the rows
        // without that doubt: under None a picture whose edges are black
        // makes every row start look flat.
        trustRows = counts.good >= counts.flat || t.ended;
        if (counts.bad == 0) {
            // Every rival stride must be ruled out by the data alone, a prior
            // only choosing among what the data leaves: one a pixel wider or
            // narrower, one of the other pixel format, half or a third of it
            // (a rival by the margin), twice it (two rows read as one: it
            // must simply do worse). With no row's filter byte known the
            // evidence is all copy distances, which a pattern repeated
            // across a row (an icon every 61 pixels) piles up at one
            // stride: a rival must then fall well short, not just short.
            if (options.width == 0 && (layout.evidence < kMinEvidence || layout.dataEvidence < kMinDataEvidence ||
                                       layout.dataEvidence < layout.rivalEvidence + kMinMargin ||
                                       layout.dataEvidence <= layout.multipleEvidence ||
                                       (counts.good + counts.flat + counts.bad == 0 &&
                                        layout.dataEvidence < kCopiesOnlyRatio * layout.rivalEvidence)))
                return Nothing(Status::NothingRebuilt,
                               "the width is uncertain: it could not be told from the data; try --width N");
            // A stride that fits RGB and RGBA alike: the data must tell which.
            const std::size_t bpp = layout.format.bpp, other = bpp == 3 ? 4 : bpp == 4 ? 3 : 0;
            if (options.width == 0 && other != 0 && (layout.stride - 1) % (3 * 4) == 0) {
                const double channels = FormatEvidence(t, layout, bpp, other);
                const double copies = GridEvidence(t, layout.stride, bpp, other), bits = channels + copies;
                if (bits < 0) {
                    layout.format = bpp == 3 ? Format{4, 4, 1} : Format{3, 3, 1};
                    layout.width = static_cast<std::uint32_t>((layout.stride - 1) / other);
                }
                // Each alone sure, of opposite formats: the data does not tell.
                const bool torn =
                    std::min(channels, copies) <= -kMinFormatBits && std::max(channels, copies) >= kMinFormatBits;
                if (std::abs(bits) < kMinFormatBits || torn)
                    return Nothing(Status::NothingRebuilt,
                                   "the pixel format is uncertain: RGB and RGBA rows fit alike; try --width N");
            }
            break;
        }
        if (attempt == 2 || t.firstBlockEnd == 0 || t.firstBlockEndBit <= startBit)
            return Nothing(Status::NothingRebuilt, options.width != 0
                                                       ? "the inflated data does not line up as rows of that width"
                                                       : "the inflated data does not line up as rows of any width");
        startBit = t.firstBlockEndBit;
    }

    if (std::size_t{layout.width} * layout.rows > kMaxPixels) {
        const std::size_t keep = kMaxPixels / layout.width;
        layout.first += (layout.rows - keep) * layout.stride;
        layout.rows = keep;
    }

    Result r;
    r.status = Status::Recovered;
    r.width = layout.width;
    r.widthFound = options.width == 0;
    r.bytesPerPixel = layout.format.bpp;
    r.rows = static_cast<std::uint32_t>(layout.rows);
    r.startBit = startBit;
    r.inflatedBytes = t.total;
    // The rows known exactly (none where they are not trusted): made again
    // for a second reading rather than copied beside the first.
    auto exactRows = [&] {
        Rows rows = UnfilterExact(t, layout);
        if (!trustRows) std::fill(rows.known.begin(), rows.known.end(), std::uint8_t{0});
        return rows;
    };
    Rows exact = exactRows();
    std::size_t knownPixels = 0, unused = 0;
    r.known = ToRgba(layout, exact.value, &exact.known, knownPixels);
    const codec::DecodedPng picture =
        codec::DecodePng(hint.picture.first(std::min(hint.picture.size(), detail::kMaxTrailerBytes)), layout.format.bpp,
                         detail::kMaxKeptBytes);
    const detail::ColourCounts colours = detail::CountColours(picture, layout.format.bpp);
    const auto palette = detail::CommonPixels(colours, layout.format.bpp, kPaletteSize);
    // With no filter byte inflated, the rows are read again under a second
    // filter where the first may be wrong: Sub and Average are told apart by
    // how the inflated bytes look (a picture read as Sub whose bytes look
    // averaged is read as Average too, one read as Average whose bytes do
    // not as Sub), and a rival the colours rate nearly as high is tried too.
    // The guess with more pixels in colours the cropped picture shows is
    // kept; only colours the picture's last rows show in the same column
    // count, past its right edge in its last column (a wrong reading paints
    // the text area in a bar's colour, common but only at the top).
    constexpr double kAverageRuns = 16;
    const bool averaged = AverageRuns(t, layout) >= kAverageRuns;
    Reading readAs;
    Bytes guess = UnfilterGuess(t, layout, std::move(exact), picture, colours, palette, std::nullopt, &readAs);
    const std::optional<std::uint8_t> second = readAs.filter == 1 && averaged    ? 3
                                               : readAs.filter == 3 && !averaged ? 1
                                                                                 : readAs.rival;
    if (second) {
        Bytes other = UnfilterGuess(t, layout, exactRows(), picture, colours, palette, *second);
        constexpr std::size_t kMinShown = 8, kLastRows = 16;
        const std::size_t bpp = layout.format.bpp, width = layout.width;
        std::vector<detail::ColourCounts> lastRows(std::min<std::size_t>(picture.width, width));
        for (std::size_t y = picture.rows - std::min<std::size_t>(picture.rows, kLastRows); y < picture.rows; ++y)
            for (std::size_t x = 0; x < lastRows.size(); ++x)
                ++lastRows[x][detail::PixelKey(&picture.pixels[(y * picture.width + x) * bpp], bpp)];
        auto shown = [&](const Bytes& g) {
            std::size_t n = 0;
            for (std::size_t at = 0, x = 0; at + bpp <= g.size(); at += bpp, x = (x + 1) % width) {
                const std::uint64_t c = detail::PixelKey(&g[at], bpp);
                n += detail::ShownAtLeast(colours, c, kMinShown) &&
                     (lastRows.empty() || lastRows[std::min(x, lastRows.size() - 1)].count(c));
            }
            return n;
        };
        if (shown(other) > shown(guess)) guess = std::move(other);
    }
    r.guess = ToRgba(layout, guess, nullptr, unused);
    r.knownShare = static_cast<double>(knownPixels) / static_cast<double>(std::size_t{layout.width} * layout.rows);
    return r;
}

}  // namespace vexlo::recover
