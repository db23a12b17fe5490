// vexlo-cli's JSON Lines: one object per input. File names become JSON
// strings losslessly: a name that is not valid Unicode (stray bytes on POSIX,
// lone surrogates on Windows) is written with U+FFFD in their place, and a
// "<field>_hex" member beside it holds the name's exact bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/extract.h"
#include "platform/platform.h"

namespace vexlo::cli {

// A name as UTF-8 text; `exact` is false when U+FFFD replaced something.
struct NameText {
    std::string utf8;
    bool exact = true;
};

// Bytes as UTF-8, one U+FFFD per byte that is not part of a valid sequence
// (overlong forms, surrogates and code points past U+10FFFF are invalid).
NameText FromBytes(std::string_view bytes);
// UTF-16 code units as UTF-8, one U+FFFD per lone surrogate.
NameText FromUtf16(std::u16string_view units);

// The JSON string literal, quotes included, of valid UTF-8 text.
std::string Quote(std::string_view utf8);

// The whole line for one input, newline included.
std::string JsonLine(const platform::Path& given, const ExtractReport& report, bool check);

struct RecoverReport;
// With --recover: the line above (as with --check: nothing is extracted)
// with a "recover" object, null for a file that could not be examined.
std::string JsonLine(const platform::Path& given, const RecoverReport& report);

}  // namespace vexlo::cli
