// Splits the program's argument text into paths. Deliberately simpler than
// the C runtime's rules: a double quote only groups, a backslash is an
// ordinary character, so "C:\My Pics\" stays a path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vexlo::app {

inline constexpr int kDefaultMaxArgs = 256;

// ArgList: position 0 is always empty, the arguments stand at 1..ArgCount,
// so size() - 1 is the number of arguments. At most MaxArgs are taken; the
// text from where argument MaxArgs + 1 would begin is ignored.
std::vector<std::wstring> ParseCommandLine(std::wstring_view text, int MaxArgs = kDefaultMaxArgs);

// The argument text of a full command line: what follows the program's own
// name (quoted or not) and the blanks and tabs after it.
std::wstring_view ArgumentText(std::wstring_view commandLine);

}  // namespace vexlo::app
