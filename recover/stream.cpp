// From the trailer's bytes to scanlines: chunk structure off, a deflate block
// start found, then inflated three times over different placeholder windows
// so that every output byte is either known or traced to one lost window byte.
#include "recover/internal.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <unordered_map>

#define ZLIB_CONST
#include <zlib.h>

namespace vexlo::recover::detail {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The data of the chunk cut through at the trailer's start: `len` bytes before
// the first whole header, which end with its CRC and may start with the rest
// of its header.
void AppendCutChunk(std::span<const std::uint8_t> t, std::size_t len, Bytes& out) {
    if (len <= 4) return;  // only (part of) a CRC
    std::size_t body = len - 4;
    // A header cut after its first byte or more leaves at least "AT" in front;
    // when its length field shows, it must match what follows.
    for (std::size_t visible = 7; visible >= 2; --visible) {
        if (visible > body) continue;
        const std::size_t dataLen = body - visible;
        std::array<std::uint8_t, 8> header = {static_cast<std::uint8_t>(dataLen >> 24),
                                              static_cast<std::uint8_t>(dataLen >> 16),
                                              static_cast<std::uint8_t>(dataLen >> 8),
                                              static_cast<std::uint8_t>(dataLen),
                                              'I',
                                              'D',
                                              'A',
                                              'T'};
        if (std::equal(header.end() - static_cast<std::ptrdiff_t>(visible), header.end(), t.begin())) {
            out.insert(out.end(), t.begin() + static_cast<std::ptrdiff_t>(visible),
                       t.begin() + static_cast<std::ptrdiff_t>(body));
            return;
        }
    }
    out.insert(out.end(), t.begin(), t.begin() + static_cast<std::ptrdiff_t>(body));
}

// zlib's raw inflater, owned.
class RawInflater {
public:
    RawInflater() { ok_ = inflateInit2(&z_, -15) == Z_OK; }
    ~RawInflater() {
        if (ok_) inflateEnd(&z_);
    }
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    bool Ok() const { return ok_; }

    // Ready to inflate `data` from bit `bit`, `window` standing for the 32 KiB before it.
    bool Start(std::span<const std::uint8_t> data, std::uint64_t bit, const std::uint8_t* window) {
        if (!ok_ || inflateReset(&z_) != Z_OK || inflateSetDictionary(&z_, window, kWindowSize) != Z_OK) return false;
        return Restart(data, bit);
    }

    // The same, keeping the window as the last run left it: its bytes are
    // then whatever that run wrote, which does not matter when only whether
    // the data decodes is asked. Saves copying 32 KiB per candidate, most of
    // the search's time otherwise.
    bool Restart(std::span<const std::uint8_t> data, std::uint64_t bit) {
        std::size_t byte = static_cast<std::size_t>(bit / 8);
        const int shift = static_cast<int>(bit % 8);
        if (!ok_ || byte >= data.size() || inflateResetKeep(&z_) != Z_OK) return false;
        if (shift != 0) {
            if (inflatePrime(&z_, 8 - shift, data[byte] >> shift) != Z_OK) return false;
            ++byte;
        }
        base_ = data.data();
        z_.next_in = data.data() + byte;
        z_.avail_in = static_cast<uInt>(data.size() - byte);
        return true;
    }

    enum class Step { Output, End, InputDone, Error };

    Step Next(std::uint8_t* out, std::size_t cap, std::size_t& produced, int flush) {
        z_.next_out = out;
        z_.avail_out = static_cast<uInt>(cap);
        const uInt inBefore = z_.avail_in;
        const int r = inflate(&z_, flush);
        produced = cap - z_.avail_out;
        consumed_ = inBefore - z_.avail_in;
        if (r == Z_STREAM_END) return Step::End;
        if (r != Z_OK && r != Z_BUF_ERROR) return Step::Error;
        if (z_.avail_in == 0 && z_.avail_out != 0) return Step::InputDone;
        if (r == Z_BUF_ERROR) return Step::Error;
        return Step::Output;
    }

    std::size_t InputLeft() const { return z_.avail_in; }
    std::size_t Consumed() const { return consumed_; }
    // After Next() with Z_BLOCK: at a block boundary, and the bit that follows it.
    bool AtBlockEnd() const { return (z_.data_type & 128) != 0; }
    std::uint64_t BitPos() const {
        return static_cast<std::uint64_t>(z_.next_in - base_) * 8 - static_cast<std::uint64_t>(z_.data_type & 63);
    }

private:
    z_stream z_ = {};
    bool ok_ = false;
    const std::uint8_t* base_ = nullptr;
    std::size_t consumed_ = 0;
};

constexpr std::size_t kScratch = 64 * 1024;

std::uint32_t PeekBits(std::span<const std::uint8_t> d, std::uint64_t bit, int count) {
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint64_t b = bit + static_cast<std::uint64_t>(i);
        if (b / 8 >= d.size()) break;
        v |= ((static_cast<std::uint32_t>(d[static_cast<std::size_t>(b / 8)]) >> (b % 8)) & 1u) << i;
    }
    return v;
}

// Cheap rejections before zlib sees a candidate: the reserved block type, a
// stored block whose length and its complement disagree, a dynamic header
// with more codes than deflate has.
bool MayStartBlock(std::span<const std::uint8_t> d, std::uint64_t bit) {
    const std::uint32_t type = PeekBits(d, bit + 1, 2);
    if (type == 3) return false;
    if (type == 0) {
        const std::uint64_t at = (bit + 3 + 7) / 8;
        if (at + 4 > d.size()) return false;
        const std::size_t i = static_cast<std::size_t>(at);
        const unsigned len = d[i] | static_cast<unsigned>(d[i + 1]) << 8;
        const unsigned nlen = d[i + 2] | static_cast<unsigned>(d[i + 3]) << 8;
        return (len ^ 0xFFFFu) == nlen;
    }
    if (type == 2) return PeekBits(d, bit + 3, 5) <= 29 && PeekBits(d, bit + 8, 5) <= 29;
    return true;
}

// Deflate's codes read for their structure only: which symbols come, not
// what they produce. Canonical Huffman decoding a bit at a time, as the
// format defines it; fast enough for one pass over the stream.
class BitReader {
public:
    BitReader(std::span<const std::uint8_t> d, std::uint64_t bit) : d_(d), bit_(bit) {}
    bool Has(int n) const { return bit_ + static_cast<std::uint64_t>(n) <= std::uint64_t{d_.size()} * 8; }
    std::uint32_t Bits(int n) {
        const std::uint32_t v = PeekBits(d_, bit_, n);
        bit_ += static_cast<std::uint64_t>(n);
        return v;
    }
    void ToByte() { bit_ = (bit_ + 7) / 8 * 8; }
    void Skip(std::uint64_t bytes) { bit_ += bytes * 8; }

private:
    std::span<const std::uint8_t> d_;
    std::uint64_t bit_;
};

class Huffman {
public:
    // False when the lengths over-subscribe the code space.
    bool Build(std::span<const std::uint8_t> lengths) {
        count_.fill(0);
        symbol_.assign(lengths.size(), 0);
        for (const std::uint8_t l : lengths) ++count_[l];
        int left = 1;
        for (std::size_t l = 1; l <= kMaxBits; ++l) {
            left = left * 2 - count_[l];
            if (left < 0) return false;
        }
        std::array<std::uint16_t, kMaxBits + 2> offset{};
        for (std::size_t l = 1; l <= kMaxBits; ++l) offset[l + 1] = static_cast<std::uint16_t>(offset[l] + count_[l]);
        for (std::size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] != 0) symbol_[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
        count_[0] = 0;
        return true;
    }
    // The next symbol, or -1 at an invalid code or the data's end.
    int Decode(BitReader& in) const {
        int code = 0, first = 0, index = 0;
        for (std::size_t l = 1; l <= kMaxBits; ++l) {
            if (!in.Has(1)) return -1;
            code |= static_cast<int>(in.Bits(1));
            const int count = count_[l];
            if (code - count < first) return symbol_[static_cast<std::size_t>(index + code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    static constexpr std::size_t kMaxBits = 15;
    std::array<int, kMaxBits + 1> count_{};
    std::vector<std::uint16_t> symbol_;
};

}  // namespace

Dechunked Dechunk(std::span<const std::uint8_t> trailer) {
    Dechunked out;
    if (!png::EndsWithIendChunk(trailer)) return out;
    out.remnant = true;
    const std::size_t end = trailer.size() - png::kIendChunk.size();
    // reaches[p]: a chain of whole headers from p leads exactly to the IEND.
    // Filled from the back, each chunk's next header being further on.
    std::vector<bool> reaches(end + 1, false);
    reaches[end] = true;
    std::size_t first = end;
    for (std::size_t p = end; p-- > 0;) {
        const std::optional<png::ChunkHeader> header = png::HeaderAt(trailer, p);
        if (!header || !png::IsChainHeader(*header)) continue;
        const std::uint64_t next = png::NextChunk(p, header->length);
        if (next <= end && reaches[static_cast<std::size_t>(next)]) {
            reaches[p] = true;
            if (header->type == png::kIDAT) first = p;
        }
    }
    AppendCutChunk(trailer.first(first), first, out.data);
    for (std::size_t p = first; p < end;) {
        const png::ChunkHeader header = *png::HeaderAt(trailer, p);
        if (header.type == png::kIDAT) {
            const auto data = trailer.subspan(p + png::kHeaderSize, header.length);
            out.data.insert(out.data.end(), data.begin(), data.end());
        }
        p = static_cast<std::size_t>(png::NextChunk(p, header.length));
    }
    return out;
}

Start FindBlockStart(std::span<const std::uint8_t> data) {
    Start s;
    if (data.size() < 6) {
        s.why = "too little compressed data in the remnant";
        return s;
    }
    RawInflater inflater;
    if (!inflater.Ok()) {
        s.why = "zlib could not start";
        return s;
    }
    const Bytes window(kWindowSize, 0);
    Bytes scratch(kScratch);
    std::uint64_t work = 0;
    const std::uint64_t bits = std::uint64_t{std::min(data.size(), kMaxStartBytes)} * 8;
    // A start that reaches the stream's end wins; failing that, the first
    // that runs cleanly to the end of the data, unless it is a stored block:
    // one stored header in 65536 random bits checks out and then copies
    // whatever follows without complaint.
    std::optional<std::uint64_t> clean;
    bool primed = false;
    for (std::uint64_t bit = 0; bit < bits; ++bit) {
        if (!MayStartBlock(data, bit)) continue;
        if (!(primed ? inflater.Restart(data, bit) : inflater.Start(data, bit, window.data()))) continue;
        primed = true;
        for (;;) {
            std::size_t produced = 0;
            const auto step = inflater.Next(scratch.data(), scratch.size(), produced, Z_NO_FLUSH);
            work += produced + inflater.Consumed();
            if (step == RawInflater::Step::End) {
                if (inflater.InputLeft() == 4) {
                    s.found = s.ended = true;
                    s.bit = bit;
                    return s;
                }
                break;
            }
            if (step == RawInflater::Step::InputDone) {
                if (!clean && data.size() - bit / 8 >= kLongRunBytes && PeekBits(data, bit + 1, 2) != 0) clean = bit;
                break;
            }
            if (step == RawInflater::Step::Error || work > kMaxSearchWork) break;
        }
        if (work > kMaxSearchWork) {
            s.why = "no deflate block start found within the search's bound";
            return s;
        }
    }
    if (clean) {
        s.found = true;
        s.bit = *clean;
        return s;
    }
    s.why = "no deflate block start found that decodes to the end of the data";
    return s;
}

Tracked InflateTracked(std::span<const std::uint8_t> data, std::uint64_t startBit, bool ended) {
    Tracked t;
    t.ended = ended;
    // Placeholder windows: the low 8 bits of each position; its high 7 bits;
    // the same with bit 7 set. The last two differ at every position, so a
    // byte is known exactly where they agree.
    Bytes low(kWindowSize), high(kWindowSize), highSet(kWindowSize);
    for (std::size_t w = 0; w < kWindowSize; ++w) {
        low[w] = static_cast<std::uint8_t>(w);
        high[w] = static_cast<std::uint8_t>(w >> 8);
        highSet[w] = static_cast<std::uint8_t>((w >> 8) | 0x80);
    }
    Bytes scratch(kScratch);

    // One run; `take(offset, bytes)` gets each piece of output.
    auto run = [&](const Bytes& window, bool blocks, auto&& take) {
        RawInflater inflater;
        if (!inflater.Start(data, startBit, window.data())) return false;
        std::uint64_t total = 0;
        for (;;) {
            std::size_t produced = 0;
            const auto step = inflater.Next(scratch.data(), scratch.size(), produced, blocks ? Z_BLOCK : Z_NO_FLUSH);
            take(total, std::span<const std::uint8_t>(scratch.data(), produced));
            total += produced;
            if (blocks && t.firstBlockEnd == 0 && total > 0 && inflater.AtBlockEnd() &&
                step == RawInflater::Step::Output) {
                t.firstBlockEnd = total;
                t.firstBlockEndBit = inflater.BitPos();
            }
            if (step == RawInflater::Step::End || step == RawInflater::Step::InputDone) return true;
            if (step == RawInflater::Step::Error || total > kMaxInflateTotal) return false;
        }
    };

    // The first run keeps the last kMaxKeptBytes, trimming in large steps.
    bool ok = run(low, true, [&](std::uint64_t, std::span<const std::uint8_t> piece) {
        t.value.insert(t.value.end(), piece.begin(), piece.end());
        t.total += piece.size();
        if (t.value.size() >= 2 * kMaxKeptBytes)
            t.value.erase(t.value.begin(), t.value.end() - static_cast<std::ptrdiff_t>(kMaxKeptBytes));
    });
    if (t.firstBlockEnd == t.total) t.firstBlockEnd = t.firstBlockEndBit = 0;  // the only block
    if (t.value.size() > kMaxKeptBytes)
        t.value.erase(t.value.begin(), t.value.end() - static_cast<std::ptrdiff_t>(kMaxKeptBytes));
    const std::uint64_t dropped = t.Dropped();
    t.source.assign(t.value.size(), 0);
    auto kept = [&](std::uint64_t offset, std::span<const std::uint8_t> piece, auto&& each) {
        for (std::size_t i = 0; i < piece.size(); ++i) {
            const std::uint64_t at = offset + i;
            if (at >= dropped && at < t.total) each(static_cast<std::size_t>(at - dropped), piece[i]);
        }
    };
    ok = ok && run(high, false, [&](std::uint64_t offset, std::span<const std::uint8_t> piece) {
             kept(offset, piece, [&](std::size_t i, std::uint8_t b) { t.source[i] = b; });
         });
    ok = ok && run(highSet, false, [&](std::uint64_t offset, std::span<const std::uint8_t> piece) {
             kept(offset, piece, [&](std::size_t i, std::uint8_t b) {
                 if (t.source[i] == b) t.source[i] = Tracked::kKnown;
             });
         });
    t.complete = ok;
    if (ok) t.distances = MatchDistances(data, startBit, kMaxInflateTotal).perDistance;
    return t;
}

Matches MatchDistances(std::span<const std::uint8_t> data, std::uint64_t startBit, std::uint64_t maxOutput) {
    static constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                                  15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                                  67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static constexpr std::array<std::uint16_t, 30> kDistanceBase = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static constexpr std::array<std::uint8_t, 30> kDistanceExtra = {
        0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    static constexpr std::array<std::uint8_t, 19> kOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                            11, 4,  12, 3, 13, 2, 14, 1, 15};
    Matches m;
    m.perDistance.assign(kWindowSize + 1, 0);
    std::uint64_t& out = m.produced;
    BitReader in(data, startBit);
    Huffman lit, dist;
    for (bool last = false; !last && out <= maxOutput;) {
        if (!in.Has(3)) break;
        last = in.Bits(1) != 0;
        const std::uint32_t type = in.Bits(2);
        if (type == 0) {
            in.ToByte();
            if (!in.Has(32)) break;
            const std::uint32_t len = in.Bits(16);
            if ((in.Bits(16) ^ 0xFFFFu) != len || !in.Has(static_cast<int>(8 * len))) break;
            in.Skip(len);
            out += len;
            m.ended = last;
            continue;
        }
        if (type == 3) break;
        std::array<std::uint8_t, 288 + 32> lengths{};
        std::size_t nlit = 288, ndist = 30;
        if (type == 1) {
            for (std::size_t s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
            for (std::size_t s = 0; s < 30; ++s) lengths[288 + s] = 5;
        } else {
            if (!in.Has(14)) break;
            nlit = in.Bits(5) + 257;
            ndist = in.Bits(5) + 1;
            const std::size_t ncode = in.Bits(4) + 4;
            std::array<std::uint8_t, 19> codeLengths{};
            if (!in.Has(static_cast<int>(3 * ncode))) break;
            for (std::size_t i = 0; i < ncode; ++i) codeLengths[kOrder[i]] = static_cast<std::uint8_t>(in.Bits(3));
            Huffman code;
            if (!code.Build(codeLengths)) break;
            std::array<std::uint8_t, 288 + 32> read{};
            std::size_t i = 0;
            while (i < nlit + ndist) {
                const int sym = code.Decode(in);
                if (sym < 0) break;
                if (sym < 16) {
                    read[i++] = static_cast<std::uint8_t>(sym);
                    continue;
                }
                if (sym == 16 && i == 0) break;
                const std::uint8_t fill = sym == 16 ? read[i - 1] : 0;
                const std::size_t repeat = sym == 16 ? 3 + in.Bits(2) : sym == 17 ? 3 + in.Bits(3) : 11 + in.Bits(7);
                if (i + repeat > nlit + ndist) break;
                for (std::size_t k = 0; k < repeat; ++k) read[i++] = fill;
            }
            if (i != nlit + ndist) break;
            std::copy(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(nlit), lengths.begin());
            std::copy(read.begin() + static_cast<std::ptrdiff_t>(nlit),
                      read.begin() + static_cast<std::ptrdiff_t>(nlit + ndist), lengths.begin() + 288);
        }
        if (!lit.Build(std::span(lengths).first(nlit)) || !dist.Build(std::span(lengths).subspan(288, ndist))) break;
        for (;;) {
            const int sym = lit.Decode(in);
            if (sym < 0 || sym > 285) return m;
            if (sym < 256) {
                ++out;
                continue;
            }
            if (sym == 256) {
                m.ended = last;
                break;
            }
            const auto l = static_cast<std::size_t>(sym - 257);
            const std::uint32_t len = kLengthBase[l] + in.Bits(kLengthExtra[l]);
            const int d = dist.Decode(in);
            if (d < 0 || d > 29) return m;
            const std::uint32_t distance =
                kDistanceBase[static_cast<std::size_t>(d)] + in.Bits(kDistanceExtra[static_cast<std::size_t>(d)]);
            if (distance <= kWindowSize) ++m.perDistance[distance];
            out += len;
            if (out > maxOutput) return m;
        }
    }
    return m;
}

ColourCounts CountColours(const codec::DecodedPng& picture, std::size_t bpp) {
    ColourCounts counts;
    for (std::size_t x = 0; x + bpp <= picture.pixels.size(); x += bpp)
        CountColour(counts, PixelKey(&picture.pixels[x], bpp));
    return counts;
}

std::vector<Bytes> CommonPixels(const ColourCounts& counts, std::size_t bpp, std::size_t count) {
    std::vector<std::pair<std::size_t, std::uint64_t>> ranked;
    for (const auto& [key, n] : counts) ranked.emplace_back(n, key);
    const std::size_t keep = std::min(count, ranked.size());
    std::partial_sort(
        ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(keep), ranked.end(),
        [](const auto& a, const auto& b) { return a.first > b.first || (a.first == b.first && a.second < b.second); });
    std::vector<Bytes> pixels;
    for (std::size_t r = 0; r < keep; ++r) {
        Bytes pixel(bpp);
        std::uint64_t key = ranked[r].second;
        for (std::size_t k = bpp; k-- > 0; key >>= 8) pixel[k] = static_cast<std::uint8_t>(key);
        pixels.push_back(std::move(pixel));
    }
    return pixels;
}

}  // namespace vexlo::recover::detail
