// Names as plain lines and messages show them: each result stays one line
// and nothing in a name reaches a terminal as a control sequence. JSON has
// its own exact form (cli/json.h).
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vexlo::cli {

// UTF-8 text with C0 controls, DEL and C1 controls escaped ("\n", "\t",
// "\r", "\x1b", "\u0085"), each byte outside a valid sequence as "\xe9", and
// with `backslash` a backslash as "\\", so the escapes cannot be forged.
std::string EscapedBytes(std::string_view bytes, bool backslash);
// The same for UTF-16 units; a lone surrogate becomes "\ud800". Backslashes
// stay: on Windows they separate folders and no name holds one.
std::string EscapedUtf16(std::u16string_view units);

// The name as this system holds it, escaped as above.
std::string ShownName(const platform::Path& name);

}  // namespace vexlo::cli
