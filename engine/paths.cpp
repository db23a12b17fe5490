#include "engine/paths.h"

namespace vexlo {
namespace {

// Scans back from the last character to RootEnd (never below position 1):
// the last dot of the final component gives DotPos, the first separator met
// ends the scan and gives NameStart.
template <class Char>
void ScanFinalComponent(std::basic_string_view<Char> path, Char separator, std::int32_t& NameStart,
                        std::int32_t RootEnd, std::int32_t& DotPos) {
    const auto length = static_cast<std::int32_t>(path.size());
    DotPos = length + 1;
    bool dotSeen = false;
    for (std::int32_t pos = length; pos >= RootEnd && pos >= 1; --pos) {
        const Char c = path[static_cast<std::size_t>(pos - 1)];
        if (!dotSeen && c == Char('.')) {
            DotPos = pos;
            dotSeen = true;
        }
        if (c == separator) {
            NameStart = pos + 1;
            return;
        }
    }
}

}  // namespace

bool WindowsSyntax::SplitPath(std::wstring_view path, std::int32_t& NameStart, std::int32_t& RootEnd,
                              std::int32_t& DotPos) {
    if (path.empty()) return false;
    const auto length = static_cast<std::int32_t>(path.size());
    wchar_t c = path[0];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');

    if (c > L'Z') {
        // Only a \\server\share\ root is allowed past the letters.
        if (c != L'\\' || length < 2 || path[1] != L'\\') return false;
        bool firstSeen = false;
        for (std::int32_t pos = 3; pos <= length - 1; ++pos) {
            if (path[static_cast<std::size_t>(pos - 1)] != L'\\') continue;
            if (firstSeen) {
                RootEnd = pos;
                break;
            }
            firstSeen = true;
        }
    } else if (c >= L'A') {
        if (length >= 3 && path[1] == L':' && path[2] == L'\\') RootEnd = 3;
    }

    ScanFinalComponent(path, L'\\', NameStart, RootEnd, DotPos);
    return true;
}

bool PosixSyntax::SplitPath(std::string_view path, std::int32_t& NameStart, std::int32_t& RootEnd,
                            std::int32_t& DotPos) {
    if (path.empty() || path[0] != '/') return false;
    RootEnd = 1;
    ScanFinalComponent(path, '/', NameStart, RootEnd, DotPos);
    return true;
}

}  // namespace vexlo
