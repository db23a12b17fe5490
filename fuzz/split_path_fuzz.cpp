// Windows-syntax path splitting and output naming over arbitrary text: the
// positions stay inside the path and a made name stays beside the source.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "engine/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring path;
    for (std::size_t i = 0; i + 1 < size; i += 2) path += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    path.resize(std::min(path.size(), path.find(L'\0')));  // a path ends at its terminator
    if (path.empty()) return 0;

    std::int32_t NameStart = 0;
    std::int32_t RootEnd = 0;
    std::int32_t DotPos = 0;
    const auto length = static_cast<std::int32_t>(path.size());
    if (vexlo::WindowsSyntax::SplitPath(path, NameStart, RootEnd, DotPos)) {
        if (DotPos < 1 || DotPos > length + 1) std::abort();
        if (NameStart != 0 && (NameStart < 2 || NameStart > length + 1 || DotPos < NameStart)) std::abort();
        if (RootEnd < 0 || RootEnd > length) std::abort();
    } else if (NameStart != 0 || RootEnd != 0 || DotPos != 0) {
        std::abort();  // a rejected path touches nothing
    }

    // The text taken as already full; every third candidate name is taken.
    int asked = 0;
    const auto full = [](const std::wstring& p) -> std::optional<std::wstring> { return p; };
    const auto exists = [&asked](const std::wstring&) { return ++asked % 3 != 0; };
    const std::wstring out = vexlo::MakeOutFileName<vexlo::WindowsSyntax>(path, ".jpg", full, exists);
    if (!out.empty()) {
        const std::size_t slash = path.rfind(L'\\');
        if (slash == std::wstring::npos || out.compare(0, slash + 1, path, 0, slash + 1) != 0) std::abort();
        if (!out.ends_with(L".jpg") || asked > 101) std::abort();
    }
    return 0;
}
