#include "app/command_line.h"

namespace vexlo::app {
namespace {

bool IsSeparator(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> ParseCommandLine(std::wstring_view text, int MaxArgs) {
    std::vector<std::wstring> ArgList(1);
    bool InQuote = false;
    bool InWord = false;
    // Starts an argument unless the limit is reached; false stops the scan.
    const auto begin = [&] {
        if (static_cast<int>(ArgList.size()) - 1 >= MaxArgs) return false;
        ArgList.emplace_back();
        return true;
    };

    for (const wchar_t c : text) {
        if (c == L'"') {
            if (!InQuote) {
                // Opening a quote always begins a new argument, also mid-word.
                if (!begin()) break;
                InQuote = true;
            } else {
                // Closing returns to where the quote was opened: Between or Word.
                InQuote = false;
            }
        } else if (IsSeparator(c) && !InQuote) {
            InWord = false;
        } else if (!InQuote && !InWord) {
            if (!begin()) break;
            InWord = true;
            ArgList.back() += c;
        } else {
            ArgList.back() += c;
        }
    }
    return ArgList;
}

std::wstring_view ArgumentText(std::wstring_view commandLine) {
    std::size_t pos = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const std::size_t close = commandLine.find(L'"', 1);
        pos = close == std::wstring_view::npos ? commandLine.size() : close + 1;
    } else {
        while (pos < commandLine.size() && !IsSeparator(commandLine[pos])) ++pos;
    }
    while (pos < commandLine.size() && IsSeparator(commandLine[pos])) ++pos;
    return commandLine.substr(pos);
}

}  // namespace vexlo::app
