// UTF-8 as vexlo reads it, written once: which bytes may start a sequence
// and what must follow them. Overlong forms, surrogates and values past
// U+10FFFF are invalid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexlo::utf8 {

// What a lead byte starts: the number of continuation bytes that follow and
// the range of the first of them (the others lie in 80-BF).
struct Lead {
    int due = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
};

// None for a byte that starts no sequence: a continuation byte, C0, C1, F5-FF.
constexpr std::optional<Lead> LeadOf(std::uint8_t b) {
    if (b < 0x80) return Lead{0};
    if (b >= 0xC2 && b <= 0xDF) return Lead{1};
    if (b == 0xE0) return Lead{2, 0xA0, 0xBF};  // no overlong forms
    if (b == 0xED) return Lead{2, 0x80, 0x9F};  // no surrogates
    if (b >= 0xE1 && b <= 0xEF) return Lead{2};
    if (b == 0xF0) return Lead{3, 0x90, 0xBF};  // no overlong forms
    if (b >= 0xF1 && b <= 0xF3) return Lead{3};
    if (b == 0xF4) return Lead{3, 0x80, 0x8F};  // nothing past U+10FFFF
    return std::nullopt;
}

// Length of the valid sequence at the start of `bytes`; 0 when there is none.
constexpr std::size_t SequenceLength(std::string_view bytes) {
    const auto at = [&bytes](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    if (bytes.empty()) return 0;
    const std::optional<Lead> lead = LeadOf(at(0));
    if (!lead) return 0;
    const auto length = static_cast<std::size_t>(lead->due) + 1;
    if (bytes.size() < length || (length > 1 && (at(1) < lead->low || at(1) > lead->high))) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (at(i) < 0x80 || at(i) > 0xBF) return 0;
    }
    return length;
}

// The code point of the valid sequence of `length` bytes (SequenceLength's
// answer, not 0) at the start of `bytes`.
constexpr char32_t CodePoint(std::string_view bytes, std::size_t length) {
    constexpr std::uint8_t kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = static_cast<std::uint8_t>(bytes[0]) & kLeadBits[length];
    for (std::size_t i = 1; i < length; ++i) c = (c << 6) | (static_cast<std::uint8_t>(bytes[i]) & 0x3F);
    return c;
}

// Appends a code point (at most U+10FFFF, no surrogate) as UTF-8.
inline void Append(std::string& out, char32_t c) {
    const auto byte = [&out](char32_t v) { out.push_back(static_cast<char>(static_cast<unsigned char>(v))); };
    if (c < 0x80) {
        byte(c);
    } else if (c < 0x800) {
        byte(0xC0 | (c >> 6));
        byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        byte(0xE0 | (c >> 12));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    } else {
        byte(0xF0 | (c >> 18));
        byte(0x80 | ((c >> 12) & 0x3F));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
}

}  // namespace vexlo::utf8
