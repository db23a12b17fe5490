// The argument splitter over arbitrary UTF-16 text and limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks the limit: small ones exercise the cut-off, 255 the default.
    const int maxArgs = data[0] == 255 ? vexlo::app::kDefaultMaxArgs : data[0] % 8;
    std::wstring text;
    for (std::size_t i = 1; i + 1 < size; i += 2) {
        text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    }
    const auto args = vexlo::app::ParseCommandLine(text, maxArgs);
    if (args.empty() || !args[0].empty()) std::abort();
    if (static_cast<int>(args.size()) - 1 > maxArgs) std::abort();
    std::size_t stored = 0;
    for (const auto& arg : args) {
        if (arg.find(L'"') != std::wstring::npos) std::abort();  // quotes are never stored
        stored += arg.size();
    }
    if (stored > text.size()) std::abort();
    // The argument text of a command line is always a tail of it.
    const std::wstring_view tail = vexlo::app::ArgumentText(text);
    if (tail.size() > text.size() || std::wstring_view(text).substr(text.size() - tail.size()) != tail) std::abort();
    return 0;
}
