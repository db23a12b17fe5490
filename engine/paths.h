// Path splitting and the choice of a free output name beside the source.
//
// Both path syntaxes live here as pure functions so that the Windows rules
// (drive roots, \\server\share\ roots) are tested on every build host. The
// platform is reached only through the two callables a caller passes in: the
// full-path function and the existence test.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vexlo {

// Longest full path accepted, in code units (UTF-16 on Windows, bytes on POSIX).
inline constexpr std::size_t kMaxFullPath = 254;
// Highest counter tried in "name(n).ext".
inline constexpr int kMaxNameCounter = 100;

// Drive roots (C:\), network roots (\\server\share\), backslash separators.
struct WindowsSyntax {
    using Char = wchar_t;
    static bool SplitPath(std::wstring_view path, std::int32_t& NameStart, std::int32_t& RootEnd, std::int32_t& DotPos);
};

// Root "/", separator "/".
struct PosixSyntax {
    using Char = char;
    static bool SplitPath(std::string_view path, std::int32_t& NameStart, std::int32_t& RootEnd, std::int32_t& DotPos);
};

#ifdef _WIN32
using NativeSyntax = WindowsSyntax;
#else
using NativeSyntax = PosixSyntax;
#endif

// Full path of `path` with its split positions (1-based, in SplitPath's
// order); empty when the path is blank, refused by `fullPath`, longer than
// kMaxFullPath, or refused by SplitPath (no root of its syntax). The
// positions change only when a full path is returned.
template <class Syntax, class FullPathFn>
std::basic_string<typename Syntax::Char> GetFullPath(const std::basic_string<typename Syntax::Char>& path,
                                                     std::int32_t& NameStart, std::int32_t& RootEnd,
                                                     std::int32_t& DotPos, FullPathFn&& fullPath) {
    using String = std::basic_string<typename Syntax::Char>;
    if (path.find_first_not_of(typename Syntax::Char(' ')) == String::npos) return {};
    const std::optional<String> full = fullPath(path);
    if (!full || full->empty() || full->size() > kMaxFullPath) return {};
    // Anything after an embedded terminator is not part of the path.
    String text = full->substr(0, full->find(typename Syntax::Char(0)));
    if (text.empty()) return {};
    if (!Syntax::SplitPath(text, NameStart, RootEnd, DotPos)) return {};
    return text;
}

// The first free name among dir\base<ext>, dir\base(1)<ext> .. dir\base(100)<ext>,
// as a full path beside `source`; empty when none can be made. The base is
// the source's name without its extension, followed by `BaseSuffix` (ASCII,
// e.g. ".recovered": the counter then comes after it).
template <class Syntax, class FullPathFn, class ExistsFn>
std::basic_string<typename Syntax::Char> MakeOutFileName(const std::basic_string<typename Syntax::Char>& source,
                                                         std::string_view BaseSuffix, std::string_view FileType,
                                                         FullPathFn&& fullPath, ExistsFn&& exists) {
    using String = std::basic_string<typename Syntax::Char>;
    std::int32_t NameStart = 0;
    std::int32_t DotPos = 0;
    std::int32_t RootEnd = 0;
    const String full = GetFullPath<Syntax>(source, NameStart, RootEnd, DotPos, fullPath);
    // NameStart stays 0 when no separator was found: there is no directory to put the output in.
    if (full.empty() || NameStart < 1 || DotPos < NameStart) return {};

    const auto nameStart = static_cast<std::size_t>(NameStart);
    const String stem =
        full.substr(0, nameStart - 1) + full.substr(nameStart - 1, static_cast<std::size_t>(DotPos - NameStart));
    if (stem.size() == nameStart - 1) return {};  // empty base name, e.g. ".png" or "dir\"

    const auto widen = [](std::string_view ascii) { return String(ascii.begin(), ascii.end()); };
    const String base = stem + widen(BaseSuffix);
    const String type = widen(FileType);

    String candidate = base + type;
    if (!exists(candidate)) return candidate;
    for (int n = 1; n <= kMaxNameCounter; ++n) {
        candidate = base + widen("(") + widen(std::to_string(n)) + widen(")") + type;
        if (!exists(candidate)) return candidate;
    }
    return {};
}

// The extraction's names: no suffix after the base.
template <class Syntax, class FullPathFn, class ExistsFn>
std::basic_string<typename Syntax::Char> MakeOutFileName(const std::basic_string<typename Syntax::Char>& source,
                                                         std::string_view FileType, FullPathFn&& fullPath,
                                                         ExistsFn&& exists) {
    return MakeOutFileName<Syntax>(source, std::string_view(), FileType, std::forward<FullPathFn>(fullPath),
                                   std::forward<ExistsFn>(exists));
}

}  // namespace vexlo
