// The name an output is written under until it is committed: in the output's
// own folder, so the commit is a rename within one volume; starting with a
// dot, so POSIX listings hide it; ending in ".part", which no output name
// ever does, so a left-over one can never be taken for an output or take
// an output's name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexlo::platform {

// Longest file name (one path component) the usual file systems accept.
inline constexpr std::size_t kMaxComponent = 255;

// ".NAME.vexlo-XXXXXX.part" beside `output` (NAME its file name, XXXXXX six
// letters or digits from `seed`); a long NAME is shortened so the name stays
// within kMaxComponent, never inside a UTF-8 sequence.
template <class Char>
std::basic_string<Char> TemporaryName(const std::basic_string<Char>& output, std::uint64_t seed) {
    using String = std::basic_string<Char>;
    constexpr std::string_view kDigits = "0123456789abcdefghijklmnopqrstuvwxyz";  // one case: Windows folds it
    constexpr std::string_view kStem = ".vexlo-";
    constexpr std::string_view kEnd = ".part";
    constexpr std::size_t kRandom = 6;

    std::size_t folderEnd = 0;
    for (std::size_t i = 0; i < output.size(); ++i) {
        const bool separator = output[i] == Char('/') || (sizeof(Char) > 1 && output[i] == Char('\\'));
        if (separator) folderEnd = i + 1;
    }
    // SplitMix64: every bit of the seed reaches the letters.
    std::uint64_t mixed = seed + 0x9E37'79B9'7F4A'7C15u;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58'476D'1CE4'E5B9u;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D0'49BB'1331'11EBu;
    mixed ^= mixed >> 31;

    String suffix(kStem.begin(), kStem.end());
    for (std::size_t i = 0; i < kRandom; ++i, mixed /= kDigits.size()) {
        suffix += Char(kDigits[static_cast<std::size_t>(mixed % kDigits.size())]);
    }
    suffix.append(kEnd.begin(), kEnd.end());

    String name = output.substr(folderEnd);
    const std::size_t room = kMaxComponent - 1 - suffix.size();
    if (name.size() > room) {
        std::size_t cut = room;
        if constexpr (sizeof(Char) == 1) {
            while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        }
        name.resize(cut);
    }
    return output.substr(0, folderEnd) + Char('.') + name + suffix;
}

}  // namespace vexlo::platform
