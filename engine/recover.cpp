// Recover(): from the tracked scanlines to pictures. The width and pixel
// format come from where valid filter bytes line up; the rows are unfiltered
// twice, once exactly (a byte is known only when everything it depends on is)
// and once as a best guess that fills every lost byte.
//
// Bounds per call, whatever the input (see also recover_internal.h): the
// trailer's last 64 MiB; block starts sought in the first 256 KiB of its
// compressed data, at most 512 MiB inflated over all false starts; at most
// 512 MiB inflated per run and the last 32 MiB of scanlines kept; widths up
// to 16384 pixels, scored over the last 4 MiB of scanlines; at most 8 Mi
// pixels rebuilt (the last rows). Peak memory stays under about 250 MiB.
#include "engine/recover.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "engine/recover_internal.h"

namespace vexlo::recover {

namespace {

using detail::Tracked;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kMaxWidth = 16384;
constexpr std::size_t kScoreBytes = std::size_t{4} << 20;
constexpr std::size_t kAlignScoreBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxPixels = std::size_t{8} << 20;
constexpr double kMinEvidence = 16;  // bits in favour of a width found from the data

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
    double evidence = -1e300;
};

// Evidence, in bits, that the known bytes at given positions are filter
// bytes. A byte 0-4 counts for it only where the byte one pixel before is
// larger: a channel that stays flat (an opaque alpha under Sub, Up or Paeth
// is 0 throughout) would otherwise make a stride that walks along that
// channel look as good as the true one. Such a byte counts as much as it is
// rare in the data after a larger byte one pixel before; a larger byte at a
// row start counts strongly against.
class RowStartScore {
public:
    RowStartScore(const Tracked& t, std::size_t from, std::size_t bpp) : t_(t), bpp_(bpp) {
        std::size_t pairs = 0, small = 0;
        for (std::size_t i = from + bpp; i < t.value.size(); ++i)
            if (t.Known(i) && Breaks(i)) {
                ++pairs;
                small += t.value[i] <= 4;
            }
        const double p = pairs == 0 ? 0.5 : std::clamp(static_cast<double>(small) / static_cast<double>(pairs), 0.02, 0.95);
        good_ = std::log2(0.999 / p);
        bad_ = std::log2(0.001);
    }
    // Row starts at from, from + stride, ... below `end`.
    double Score(std::size_t from, std::size_t end, std::size_t stride) const {
        std::size_t good = 0, bad = 0;
        for (std::size_t p = from; p < end; p += stride) {
            if (!t_.Known(p)) continue;
            if (t_.value[p] > 4)
                ++bad;
            else if (Breaks(p))
                ++good;
        }
        return static_cast<double>(good) * good_ + static_cast<double>(bad) * bad_;
    }

private:
    bool Breaks(std::size_t i) const { return i >= bpp_ && t_.Known(i - bpp_) && t_.value[i - bpp_] > 4; }

    const Tracked& t_;
    std::size_t bpp_;
    double good_ = 0, bad_ = 0;
};

std::vector<Format> CandidateFormats(const Hint& hint) {
    std::vector<Format> out;
    if (const auto f = FormatOf(hint)) out.push_back(*f);
    for (const Format f : {Format{3, 3, 1}, Format{4, 4, 1}})
        if (out.empty() || out.front().bpp != f.bpp) out.push_back(f);
    return out;
}

// The best layout for the given widths (all up to kMaxWidth when none given).
Layout FindLayout(const Tracked& t, const Hint& hint, std::span<const std::uint32_t> widths) {
    const std::size_t n = t.value.size();
    Layout best;
    const std::size_t from = n - std::min(n, t.ended ? kScoreBytes : kAlignScoreBytes);
    for (const Format f : CandidateFormats(hint)) {
        const RowStartScore score(t, from, f.bpp);
        auto tryWidth = [&](std::uint32_t w) {
            const std::size_t stride = std::size_t{w} * f.bpp + 1;
            if (stride > n) return;
            if (t.ended) {
                // The stream's end is the last row's end.
                const double s = score.Score(from + (n - from) % stride, n, stride);
                if (s > best.evidence) best = {f, w, stride, n % stride, n / stride, s};
                return;
            }
            for (std::size_t o = 0; o < stride && from + o < n; ++o) {
                const double s = score.Score(from + o, n, stride);
                if (s > best.evidence) {
                    const std::size_t first = (from + o) % stride;
                    best = {f, w, stride, first, (n - first) / stride, s};
                }
            }
        };
        if (!widths.empty())
            for (const std::uint32_t w : widths) tryWidth(w);
        else
            for (std::uint32_t w = 1; w <= kMaxWidth && std::size_t{w} * f.bpp + 1 <= n / 2; ++w) tryWidth(w);
    }
    // The same stride fits several formats (200 RGB pixels, 150 RGBA ones):
    // the cropped picture's own format decides.
    const auto hinted = FormatOf(hint);
    if (hinted && best.width != 0 && hinted->bpp != best.format.bpp && (best.stride - 1) % hinted->bpp == 0 &&
        (best.stride - 1) / hinted->bpp <= kMaxWidth) {
        best.format = *hinted;
        best.width = static_cast<std::uint32_t>((best.stride - 1) / hinted->bpp);
    }
    return best;
}

std::uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// The predictor of `filter` for byte i of a row, from its left, upper and
// upper-left neighbours.
std::uint8_t Predict(std::uint8_t filter, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    switch (filter) {
        case 1: return a;
        case 2: return b;
        case 3: return static_cast<std::uint8_t>((a + b) / 2);
        case 4: return Paeth(a, b, c);
        default: return 0;
    }
}

struct Rows {
    std::size_t len = 0;  // bytes per row without the filter byte
    std::size_t count = 0;
    Bytes value, known;   // count × len
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

// The best guess. Each lost window byte gets one value, voted for by the
// places it was copied to: 0 in the pixels of rows filtered with Sub, Up,
// Average or Paeth (flat areas leave nothing to add), the picture's most
// common value of that byte of a pixel where the byte stands alone (rows
// filtered with None, a row's first pixel under Sub), the most common filter
// where it is a row's filter byte. The row above the first is taken as that
// most common colour too. Every byte known exactly keeps its value, so the
// guess never strays from what is certain.
Bytes UnfilterGuess(const Tracked& t, const Layout& l, const Rows& exact) {
    const std::size_t bpp = l.format.bpp, len = exact.len;
    std::array<std::size_t, 5> filters{};
    for (std::size_t y = 0; y < l.rows; ++y) {
        const std::size_t at = l.first + y * l.stride;
        if (t.Known(at) && t.value[at] <= 4) ++filters[t.value[at]];
    }
    const auto common = static_cast<std::uint8_t>(ArgMax<std::size_t>(filters));
    std::vector<std::array<std::size_t, 256>> values(bpp);
    for (auto& v : values) v.fill(0);
    for (std::size_t i = 0; i < exact.value.size(); ++i)
        if (exact.known[i]) ++values[i % len % bpp][exact.value[i]];
    Bytes background(bpp, 0xFF);
    for (std::size_t j = 0; j < bpp; ++j)
        if (*std::max_element(values[j].begin(), values[j].end()) > 0)
            background[j] = static_cast<std::uint8_t>(ArgMax<std::size_t>(values[j]));

    // Votes per window position over a few candidate values.
    const std::size_t slots = 2 + 2 * bpp;
    Bytes slotValue(slots);
    slotValue[0] = 0;
    slotValue[1] = common;
    for (std::size_t j = 0; j < bpp; ++j) {
        slotValue[2 + j] = background[j];
        slotValue[2 + bpp + j] = static_cast<std::uint8_t>(background[j] - background[j] / 2);
    }
    std::vector<std::uint32_t> votes(detail::kWindowSize * slots, 0);
    auto filterOf = [&](std::size_t y) {
        const std::size_t at = l.first + y * l.stride;
        return t.Known(at) && t.value[at] <= 4 ? t.value[at] : common;
    };
    for (std::size_t y = 0; y < l.rows; ++y) {
        const std::size_t row = l.first + y * l.stride;
        const std::uint8_t f = filterOf(y);
        for (std::size_t i = 0; i < l.stride; ++i) {
            if (t.Known(row + i)) continue;
            std::size_t slot = 0;
            if (i == 0) {
                slot = 1;
            } else {
                const std::size_t j = (i - 1) % bpp;
                const bool firstPixel = i - 1 < bpp;
                if (f == 0 || (f == 1 && firstPixel)) slot = 2 + j;
                if (f == 3 && firstPixel) slot = 2 + bpp + j;
            }
            ++votes[t.WindowPos(row + i) * slots + slot];
        }
    }
    Bytes window(detail::kWindowSize);
    for (std::size_t w = 0; w < window.size(); ++w)
        window[w] = slotValue[ArgMax<std::uint32_t>(std::span(votes).subspan(w * slots, slots))];

    Bytes out(len * l.rows);
    Bytes prior(len);
    for (std::size_t i = 0; i < len; ++i) prior[i] = background[i % bpp];
    auto filtered = [&](std::size_t at) { return t.Known(at) ? t.value[at] : window[t.WindowPos(at)]; };
    for (std::size_t y = 0; y < l.rows; ++y) {
        const std::size_t row = l.first + y * l.stride;
        std::uint8_t f = filtered(row);
        if (f > 4) f = common;
        std::uint8_t* o = &out[y * len];
        const std::uint8_t* up = y > 0 ? o - len : prior.data();
        const std::size_t e = y * len;
        for (std::size_t i = 0; i < len; ++i) {
            if (exact.known[e + i]) {
                o[i] = exact.value[e + i];
                continue;
            }
            const std::uint8_t a = i >= bpp ? o[i - bpp] : 0, c = i >= bpp ? up[i - bpp] : 0;
            o[i] = static_cast<std::uint8_t>(filtered(row + 1 + i) + Predict(f, a, up[i], c));
        }
    }
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
    const std::array<std::uint32_t, 1> given = {options.width};
    std::vector<std::uint32_t> guesses;
    if (!start.ended) {
        if (hint.width != 0 && hint.width <= kMaxWidth) guesses.push_back(hint.width);
        guesses.insert(guesses.end(), kScreenWidths.begin(), kScreenWidths.end());
    }
    // A start found by chance decodes a short false block before falling in
    // step with the true stream: its output does not line up as rows, and
    // the true blocks' copies would read it in place of the lost window. When
    // the first block breaks the rows' filter bytes, start after it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        t = detail::InflateTracked(data, startBit, start.ended);
        if (!t.complete) return Nothing(Status::NothingRebuilt, "the compressed data could not be inflated within the bounds");
        if (options.width != 0 && options.width <= kMaxWidth)
            layout = FindLayout(t, hint, given);
        else if (options.width != 0)
            return Nothing(Status::NothingRebuilt, "the width given is larger than 16384 pixels");
        else
            layout = FindLayout(t, hint, guesses);
        if (layout.width == 0 || layout.rows == 0)
            return Nothing(Status::NothingRebuilt, "not even one whole row of scanlines was inflated");
        if (options.width == 0 && layout.evidence < kMinEvidence)
            return Nothing(Status::NothingRebuilt, "the width could not be told from the data; give it with --width");
        const std::size_t dropped = t.Dropped();
        if (t.firstBlockEnd <= dropped || t.firstBlockEndBit <= startBit) break;
        const std::size_t blockEnd = static_cast<std::size_t>(t.firstBlockEnd - dropped);
        bool broken = false;
        for (std::size_t p = layout.first; p < blockEnd && p < t.value.size(); p += layout.stride)
            broken = broken || (t.Known(p) && t.value[p] > 4);
        if (!broken) break;
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
    const Rows exact = UnfilterExact(t, layout);
    std::size_t knownPixels = 0, unused = 0;
    r.known = ToRgba(layout, exact.value, &exact.known, knownPixels);
    r.guess = ToRgba(layout, UnfilterGuess(t, layout, exact), nullptr, unused);
    r.knownShare = static_cast<double>(knownPixels) / static_cast<double>(std::size_t{layout.width} * layout.rows);
    return r;
}

}  // namespace vexlo::recover
