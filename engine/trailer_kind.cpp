#include "engine/trailer_kind.h"

#include <algorithm>
#include <cstring>

#include "engine/utf8.h"
#include "png/format.h"

namespace vexlo {
namespace {

using namespace std::string_view_literals;
using Head = std::span<const std::uint8_t>;

std::uint32_t Le32(Head h, std::size_t at) {
    return std::uint32_t{h[at]} | (std::uint32_t{h[at + 1]} << 8) | (std::uint32_t{h[at + 2]} << 16) |
           (std::uint32_t{h[at + 3]} << 24);
}

bool Has(Head h, std::size_t at, std::string_view bytes) {
    // No sum that could wrap where size_t is 32 bits: e_lfanew is any 32-bit value.
    // An empty part has no data pointer at all, which memcmp may not see.
    return at <= h.size() && bytes.size() <= h.size() - at &&
           (bytes.empty() || std::memcmp(h.data() + at, bytes.data(), bytes.size()) == 0);
}

// The length of the MPEG layer III frame whose header is at `at`; 0 when
// the four bytes there are no valid header.
std::size_t Mp3FrameLength(Head h, std::size_t at) {
    if (at + 4 > h.size() || h[at] != 0xFF || (h[at + 1] & 0xE0) != 0xE0) return 0;
    const int version = (h[at + 1] >> 3) & 3;  // 3: MPEG 1, 2: MPEG 2, 0: MPEG 2.5, 1: reserved
    const int layer = (h[at + 1] >> 1) & 3;    // 1: layer III
    const int bitrateIndex = h[at + 2] >> 4;
    const int rateIndex = (h[at + 2] >> 2) & 3;
    // Free-format and "bad" bit rates, reserved sample rates and the reserved emphasis are refused.
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 ||
        (h[at + 3] & 3) == 2) {
        return 0;
    }
    constexpr std::array<std::uint32_t, 15> kMpeg1Kbps = {0,   32,  40,  48,  56,  64,  80, 96,
                                                          112, 128, 160, 192, 224, 256, 320};
    constexpr std::array<std::uint32_t, 15> kMpeg2Kbps = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    constexpr std::array<std::uint32_t, 3> kMpeg1Rates = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const auto index = static_cast<std::size_t>(bitrateIndex);
    const std::uint32_t kbps = mpeg1 ? kMpeg1Kbps[index] : kMpeg2Kbps[index];
    // MPEG 2 halves MPEG 1's sample rates, MPEG 2.5 quarters them.
    const std::uint32_t rate = kMpeg1Rates[static_cast<std::size_t>(rateIndex)] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const std::uint32_t padding = (h[at + 2] >> 1) & 1u;
    return (mpeg1 ? 144'000u : 72'000u) * kbps / rate + padding;
}

// A frame header, and a matching one after it when that lies within the head.
bool IsMp3Frames(Head h) {
    const std::size_t next = Mp3FrameLength(h, 0);
    if (next == 0) return false;
    if (next + 4 > h.size()) return true;
    return Mp3FrameLength(h, next) != 0 && h[next + 1] == h[1] && ((h[next + 2] ^ h[2]) & 0x0C) == 0;
}

bool IsId3Header(Head h) {
    // Version 2.2 to 2.4, then a size of four 7-bit bytes.
    return h.size() >= 10 && h[3] >= 2 && h[3] <= 4 && h[4] != 0xFF &&
           std::all_of(h.begin() + 6, h.begin() + 10, [](std::uint8_t b) { return b < 0x80; });
}

bool IsBmpHeader(Head h) {
    if (h.size() < 18) return false;
    constexpr std::array<std::uint32_t, 7> kDibSizes = {12, 40, 52, 56, 64, 108, 124};
    return std::find(kDibSizes.begin(), kDibSizes.end(), Le32(h, 14)) != kDibSizes.end();
}

bool HasPeHeader(Head h) {
    if (h.size() < 0x40) return false;
    return Has(h, Le32(h, 0x3C), "PE\0\0"sv);
}

bool IsBoxSize(Head h) {
    const std::uint32_t size = png::ReadBe32(h, 0);
    return size == 1 || size >= 8;  // 1: a 64-bit size follows
}

bool IsBzip2Level(Head h) { return h[3] >= '1' && h[3] <= '9'; }

struct Part {
    std::size_t offset = 0;
    std::string_view bytes;  // empty: matches anything
};

struct Signature {
    std::string_view kind;
    Part first;
    Part second;
    bool (*check)(Head) = nullptr;  // run once the parts match
};

// In order of precedence; the parts make sure the bytes a check reads exist,
// except where the check tests the length itself.
constexpr Signature kSignatures[] = {
    {"jpeg", {0, "\xFF\xD8\xFF"sv}, {}},
    {"png", {0, png::kSignatureText}, {}},
    {"gif", {0, "GIF87a"sv}, {}},
    {"gif", {0, "GIF89a"sv}, {}},
    {"bmp", {0, "BM"sv}, {6, "\0\0\0\0"sv}, IsBmpHeader},
    {"webp", {0, "RIFF"sv}, {8, "WEBP"sv}},
    {"wav", {0, "RIFF"sv}, {8, "WAVE"sv}},
    {"avi", {0, "RIFF"sv}, {8, "AVI "sv}},
    {"tiff", {0, "II*\0"sv}, {}},
    {"tiff", {0, "MM\0*"sv}, {}},
    {"tiff", {0, "II+\0"sv}, {}},
    {"tiff", {0, "MM\0+"sv}, {}},
    {"zip", {0, "PK\x03\x04"sv}, {}},
    {"zip", {0, "PK\x05\x06"sv}, {}},
    {"zip", {0, "PK\x07\x08"sv}, {4, "PK\x03\x04"sv}},
    {"rar", {0, "Rar!\x1A\x07\x00"sv}, {}},
    {"rar", {0, "Rar!\x1A\x07\x01\x00"sv}, {}},
    {"7z", {0, "7z\xBC\xAF\x27\x1C"sv}, {}},
    {"gzip", {0, "\x1F\x8B\x08"sv}, {}},
    {"bzip2", {0, "BZh"sv}, {4, "1AY&SY"sv}, IsBzip2Level},
    {"bzip2", {0, "BZh"sv}, {4, "\x17\x72\x45\x38\x50\x90"sv}, IsBzip2Level},
    {"xz",
     {0,
      "\xFD"
      "7zXZ\x00"sv},
     {}},
    {"zstd", {0, "\x28\xB5\x2F\xFD"sv}, {}},
    {"pdf", {0, "%PDF-"sv}, {}},
    {"mp3", {0, "ID3"sv}, {}, IsId3Header},
    {"mp3", {0, "\xFF"sv}, {}, IsMp3Frames},
    {"mp4", {4, "ftyp"sv}, {}, IsBoxSize},
    {"mp4", {4, "moov"sv}, {}, IsBoxSize},
    {"ogg", {0, "OggS\x00"sv}, {}},
    {"exe", {0, "MZ"sv}, {}, HasPeHeader},
    {"elf",
     {0,
      "\x7F"
      "ELF"sv},
     {}},
    {"sqlite", {0, "SQLite format 3\x00"sv}, {}},
};

bool Matches(const Signature& s, Head h) {
    return Has(h, s.first.offset, s.first.bytes) && Has(h, s.second.offset, s.second.bytes) &&
           (s.check == nullptr || s.check(h));
}

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

void TrailerKind::Feed(std::span<const std::uint8_t> bytes) {
    if (size_ < kHeadSize) {
        const std::size_t take = std::min(bytes.size(), kHeadSize - static_cast<std::size_t>(size_));
        std::copy_n(bytes.begin(), take, head_.begin() + static_cast<std::ptrdiff_t>(size_));
    }
    const auto last = bytes.last(std::min(bytes.size(), tail_.size()));
    const auto keep = static_cast<std::ptrdiff_t>(last.size());
    std::shift_left(tail_.begin(), tail_.end(), keep);
    std::copy(last.begin(), last.end(), tail_.end() - keep);

    if (allZero_) allZero_ = AllZero(bytes);
    if (text_) TextRun(bytes);
    ChunkScan(bytes);
    size_ += bytes.size();
}

bool TrailerKind::AllZero(std::span<const std::uint8_t> bytes) {
    // Whole blocks of 64 bytes OR-ed together, then the rest byte by byte.
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= 64; p += 64, left -= 64) {
        std::uint64_t any = 0;
        for (int w = 0; w < 8; ++w) any |= Load64(p + 8 * w);
        if (any != 0) return false;
    }
    return std::all_of(p, p + left, [](std::uint8_t b) { return b == 0; });
}

void TrailerKind::TextRun(std::span<const std::uint8_t> bytes) {
    constexpr std::uint64_t kOnes = 0x0101'0101'0101'0101;
    constexpr std::uint64_t kHigh = 0x8080'8080'8080'8080;
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n && text_) {
        // Eight printable ASCII bytes at once: no high bit, none below 0x20, no DEL.
        if (textDue_ == 0 && n - i >= 8) {
            const std::uint64_t w = Load64(bytes.data() + i);
            const std::uint64_t del = w ^ (kOnes * 0x7F);
            if ((w & kHigh) == 0 && ((w - kOnes * 0x20) & ~w & kHigh) == 0 && ((del - kOnes) & ~del & kHigh) == 0) {
                i += 8;
                continue;
            }
        }
        TextStep(bytes[i]);
        ++i;
    }
}

// Every 8-byte window ending in the piece is a possible chunk header. The few that
// start in an earlier piece go through window_ byte by byte; within the piece only
// the offsets a chain waits for and the "IDAT"/"IEND" types found by memchr are visited.
void TrailerKind::ChunkScan(std::span<const std::uint8_t> bytes) {
    const std::size_t n = bytes.size();
    const std::uint64_t base = size_;
    const std::size_t across = std::min<std::size_t>(n, 7);
    for (std::size_t i = 0; i < across; ++i) {
        window_ = (window_ << 8) | bytes[i];
        if (base + i >= 7) {
            ChunkAt(base + i - 7, static_cast<std::uint32_t>(window_ >> 32), static_cast<std::uint32_t>(window_));
        }
    }
    if (n < 8) return;

    const std::uint8_t* p = bytes.data();
    const std::size_t lastHeader = n - 8;  // the last local header offset whose 8 bytes are all in the piece
    std::size_t from = 0;                  // the next local header offset not yet visited
    while (from <= lastHeader) {
        // The next header offset whose type starts with 'I', else one past the last.
        const auto* found = static_cast<const std::uint8_t*>(std::memchr(p + from + 4, 'I', lastHeader + 1 - from));
        const std::size_t tag = found == nullptr ? lastHeader + 1 : static_cast<std::size_t>(found - p) - 4;
        // Chains waiting at or before it go first, as header offsets come in order.
        while (nextHeader_ != kNone && nextHeader_ - base <= std::min(tag, lastHeader)) {
            const auto at = static_cast<std::size_t>(nextHeader_ - base);
            FollowChains(nextHeader_, png::ReadBe32(bytes, at), png::ReadBe32(bytes, at + 4));
        }
        if (tag > lastHeader) break;
        const std::uint32_t type = png::ReadBe32(bytes, tag + 4);
        if (type == png::kIDAT || type == png::kIEND) TypeAt(base + tag, png::ReadBe32(bytes, tag), type);
        from = tag + 1;
    }
    window_ = std::uint64_t{png::ReadBe32(bytes, n - 8)} << 32 | png::ReadBe32(bytes, n - 4);
}

void TrailerKind::TextStep(std::uint8_t b) {
    if (textDue_ > 0) {
        text_ = b >= textLow_ && b <= textHigh_;
        --textDue_;
        textLow_ = 0x80;
        textHigh_ = 0xBF;
        return;
    }
    if (b < 0x80) {
        text_ = (b >= 0x20 && b != 0x7F) || b == '\t' || b == '\n' || b == '\f' || b == '\r';
        return;
    }
    const std::optional<utf8::Lead> lead = utf8::LeadOf(b);
    text_ = lead.has_value();
    if (!text_) return;
    textDue_ = lead->due;
    textLow_ = b == 0xC2 ? 0xA0 : lead->low;  // U+0080-U+009F are the C1 controls
    textHigh_ = lead->high;
}

// A whole 8-byte chunk header at offset `header`.
void TrailerKind::ChunkAt(std::uint64_t header, std::uint32_t length, std::uint32_t type) {
    if (header == nextHeader_) FollowChains(header, length, type);
    TypeAt(header, length, type);
}

// The chains expecting a header at `header` take a step.
void TrailerKind::FollowChains(std::uint64_t header, std::uint32_t length, std::uint32_t type) {
    nextHeader_ = kNone;
    for (std::uint64_t& next : chains_) {
        if (next == header) {
            if (type == png::kIEND && length == 0) {
                chainIend_ = header;
                next = kNone;
            } else {
                next = png::IsChainHeader({length, type}) ? png::NextChunk(header, length) : kNone;
            }
        }
        nextHeader_ = std::min(nextHeader_, next);
    }
}

// An IDAT header starts a chain; the first IEND header, and the first empty one, are remembered.
void TrailerKind::TypeAt(std::uint64_t header, std::uint32_t length, std::uint32_t type) {
    if (type == png::kIDAT && length <= png::kMaxLength) {
        sawIdat_ = true;
        StartChain(png::NextChunk(header, length));
    }
    if (type == png::kIEND && firstIend_ == kNone) firstIend_ = header;
    if (type == png::kIEND && length == 0 && firstEmptyIend_ == kNone) firstEmptyIend_ = header;
}

void TrailerKind::StartChain(std::uint64_t next) {
    // A chain already on its way there covers this one; without a free slot the candidate is dropped.
    if (std::find(chains_.begin(), chains_.end(), next) != chains_.end()) return;
    const auto slot = std::find(chains_.begin(), chains_.end(), kNone);
    if (slot == chains_.end()) return;
    *slot = next;
    nextHeader_ = std::min(nextHeader_, next);
}

bool TrailerKind::IsRemnant() const {
    // Fewer than 12 bytes leave zeros at the tail's start, which could pass for the IEND's length.
    if (size_ < tail_.size() || !png::EndsWithIendChunk(tail_)) return false;
    const std::uint64_t iend = size_ - tail_.size();
    // A PNG's end before the final one (an IEND, then a whole PNG) is no plain remnant.
    if (chainIend_ == iend) return firstEmptyIend_ == iend;
    return !sawIdat_ && firstIend_ == iend && (iend == 0 || iend >= 4);
}

std::string_view TrailerKind::Kind() const {
    if (size_ == 0) return "data";
    const Head head(head_.data(), static_cast<std::size_t>(std::min<std::uint64_t>(size_, kHeadSize)));
    for (const Signature& s : kSignatures) {
        if (Matches(s, head)) return s.kind;
    }
    if (IsRemnant()) return "png-remnant";
    if (allZero_) return "zeros";
    if (text_ && textDue_ == 0) return "text";
    return "data";
}

}  // namespace vexlo
