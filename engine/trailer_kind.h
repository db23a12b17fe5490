// What a trailer holds, as a stable lower-case word for reports: the common
// file signatures ("jpeg", "png", "zip", "pdf", ...), "png-remnant" for the
// tail of a longer PNG's chunk stream, "zeros", "text", else "data". Only
// reported: output names keep GetFileType's five extensions.
//
// The words, first match wins:
//
// 1. From the first bytes (at most kHeadSize of them):
//    jpeg    FF D8 FF
//    png     the 8-byte PNG signature
//    gif     "GIF87a" or "GIF89a"
//    bmp     "BM", reserved bytes 6-9 zero and a known DIB header size at 14
//    webp    "RIFF" ... "WEBP" at 8
//    wav     "RIFF" ... "WAVE" at 8
//    avi     "RIFF" ... "AVI " at 8
//    tiff    "II*\0", "MM\0*" (and their BigTIFF forms with '+')
//    zip     "PK\3\4", the empty archive "PK\5\6", a split archive "PK\7\8PK\3\4";
//            docx, xlsx, odt, jar, apk are zip too
//    rar     "Rar!\x1A\x07\0" (RAR 1.5-4) or "Rar!\x1A\x07\x01\0" (RAR 5)
//    7z      "7z\xBC\xAF\x27\x1C"
//    gzip    1F 8B 08
//    bzip2   "BZh1" to "BZh9", then a block or the end-of-stream magic
//    xz      FD "7zXZ" 00
//    zstd    28 B5 2F FD
//    pdf     "%PDF-"
//    mp3     an ID3v2 tag header, or a valid MPEG layer III frame header
//            (MPEG 1, 2 or 2.5); when the next frame's header falls within the
//            head, it must be a matching frame header too
//    mp4     a box whose type at 4 is "ftyp" or "moov" (ISO media and MOV)
//    ogg     "OggS\0"
//    exe     "MZ" whose e_lfanew (at 0x3C) points at "PE\0\0" within the head:
//            "MZ" alone is two bytes of nothing much, and DOS-only programs
//            are not worth the false hits, so they are "data"
//    elf     7F "ELF"
//    sqlite  "SQLite format 3\0"
// 2. png-remnant: a remnant as png/format.h defines it, the tail of a longer
//    PNG's chunk stream that a cropping tool leaves behind: the last 12
//    bytes are exactly the IEND chunk (00000000 "IEND" AE426082), and either
//    a. a whole IDAT chunk header (length below 2^31, "IDAT") lies in the
//       trailer, and following chunk lengths from it, over the remnant's
//       chain headers (png::IsChainHeader), leads exactly to that final
//       IEND, and no IEND header of length 0 comes before it; or
//    b. no whole IDAT header and no other whole IEND header lies in the
//       trailer, and the bytes before the final IEND are none or at least 4
//       (a cut chunk still ends with its CRC): they are taken as the end of
//       a chunk cut through, typically the one big IDAT of the original.
//    Rule b needs no structure before the IEND because an exact 12-byte IEND
//    chunk at the very end is itself a strong PNG mark; rules a and b reject
//    what contradicts a plain remnant (a chain that misses the end, a second
//    IEND). Only kMaxChains chains are followed at once: surplus IDAT
//    candidates are ignored.
// 3. zeros: at least one byte, every byte zero.
// 4. text: at least one byte, valid UTF-8 throughout (engine/utf8.h: no
//    overlong forms, no surrogates, nothing above U+10FFFF; and no
//    character cut off at the end), no control characters other than tab,
//    LF, FF and CR (C0, DEL and the C1 range U+0080-U+009F are out). A UTF-8
//    BOM is just a valid character.
// 5. data: anything else, and an empty trailer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vexlo {

// Fed the whole trailer in order, in pieces of any size, in bounded memory
// (zeros and text need every byte; signatures only the first ones).
class TrailerKind {
public:
    void Feed(std::span<const std::uint8_t> bytes);
    // The kind of everything fed so far.
    std::string_view Kind() const;

    // The signatures look no further than this.
    static constexpr std::size_t kHeadSize = 1024;
    static constexpr std::size_t kMaxChains = 8;

private:
    static constexpr std::uint64_t kNone = UINT64_MAX;

    static bool AllZero(std::span<const std::uint8_t> bytes);
    void TextRun(std::span<const std::uint8_t> bytes);
    void TextStep(std::uint8_t b);
    void ChunkScan(std::span<const std::uint8_t> bytes);
    void ChunkAt(std::uint64_t header, std::uint32_t length, std::uint32_t type);
    void FollowChains(std::uint64_t header, std::uint32_t length, std::uint32_t type);
    void TypeAt(std::uint64_t header, std::uint32_t length, std::uint32_t type);
    void StartChain(std::uint64_t next);
    bool IsRemnant() const;

    std::uint64_t size_ = 0;
    std::array<std::uint8_t, kHeadSize> head_{};
    std::array<std::uint8_t, 12> tail_{};  // the last 12 bytes, oldest first
    bool allZero_ = true;

    // UTF-8 state: continuation bytes still due and the range the next one must lie in.
    bool text_ = true;
    int textDue_ = 0;
    std::uint8_t textLow_ = 0x80;
    std::uint8_t textHigh_ = 0xBF;

    // The last 8 bytes as a big-endian number: a whole chunk header once 8 bytes are in.
    std::uint64_t window_ = 0;
    bool sawIdat_ = false;
    std::uint64_t firstIend_ = kNone;       // offset of the first whole IEND header
    std::uint64_t firstEmptyIend_ = kNone;  // offset of the first whole IEND header of length 0
    std::uint64_t chainIend_ = kNone;       // offset of the last IEND header a chain reached
    // The next header offset of each chain followed, kNone for a free slot.
    std::array<std::uint64_t, kMaxChains> chains_ = [] {
        std::array<std::uint64_t, kMaxChains> free{};
        free.fill(kNone);
        return free;
    }();
    std::uint64_t nextHeader_ = kNone;  // the smallest of chains_
};

}  // namespace vexlo
