#include "png/format.h"

namespace vexlo::png {

Step ChunkStep(std::span<const std::uint8_t, kHeaderSize> header, std::uint64_t at, std::uint64_t size) {
    const ChunkHeader chunk{ReadBe32(header, 0), ReadBe32(header, 4)};
    if (chunk.type == kIEND) {
        // Its length field is not trusted: the trailer starts 12 bytes in.
        const std::uint64_t trailer = NextChunk(at, 0);
        return trailer < size ? Step{Step::Kind::Trailer, trailer} : Step{};
    }
    if (chunk.length > kMaxLength || !ChunkFits(at, chunk.length, size)) return Step{};
    return Step{Step::Kind::Next, NextChunk(at, chunk.length)};
}

Ihdr ParseIhdr(std::span<const std::uint8_t> data) {
    return Ihdr{ReadBe32(data, 0), ReadBe32(data, 4), data[8], data[9], data[10], data[11], data[12]};
}

std::optional<Ihdr> ReadIhdr(std::span<const std::uint8_t> head) {
    const std::optional<ChunkHeader> header = HeaderAt(head, kFirstChunk);
    if (!header || header->length != kIhdrLength || header->type != kIHDR || head.size() < kIhdrEnd) {
        return std::nullopt;
    }
    return ParseIhdr(head.subspan(kFirstChunk + kHeaderSize));
}

std::uint8_t Channels(std::uint8_t colourType) {
    static constexpr std::array<std::uint8_t, 7> kChannels = {1, 0, 3, 1, 2, 0, 4};
    return colourType < kChannels.size() ? kChannels[colourType] : 0;
}

bool IsChainHeader(const ChunkHeader& header) {
    if (header.length > kMaxLength) return false;
    for (int shift = 0; shift < 32; shift += 8) {
        const auto c = static_cast<std::uint8_t>(header.type >> shift);
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

}  // namespace vexlo::png
