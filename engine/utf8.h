// UTF-8 as vexlo reads it, written once: which bytes may start a sequence
// and what must follow them. Overlong forms, surrogates and values past
// U+10FFFF are invalid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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

}  // namespace vexlo::utf8
