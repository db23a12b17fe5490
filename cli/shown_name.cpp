#include "cli/shown_name.h"

#include <array>
#include <cstdio>

#include "engine/utf8.h"

namespace vexlo::cli {
namespace {

void AppendHex(std::string& out, const char* format, unsigned value) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), format, value);
    out += text.data();
}

// Appends code point `c`, escaped when it is a control character.
void AppendCodePoint(std::string& out, char32_t c) {
    if (c == U'\n') {
        out += "\\n";
    } else if (c == U'\t') {
        out += "\\t";
    } else if (c == U'\r') {
        out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
        AppendHex(out, "\\x%02x", static_cast<unsigned>(c));
    } else if (c >= 0x80 && c <= 0x9F) {
        // As a code point: "\x85" already means the stray byte 0x85.
        AppendHex(out, "\\u%04x", static_cast<unsigned>(c));
    } else {
        utf8::Append(out, c);
    }
}

}  // namespace

std::string EscapedBytes(std::string_view bytes, bool backslash) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t length = utf8::SequenceLength(bytes.substr(i));
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (length == 0) {
            AppendHex(out, "\\x%02x", lead);
            ++i;
            continue;
        }
        if (length == 1 && lead == '\\' && backslash) {
            out += "\\\\";
        } else {
            AppendCodePoint(out, utf8::CodePoint(bytes.substr(i), length));
        }
        i += length;
    }
    return out;
}

std::string EscapedUtf16(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            AppendCodePoint(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendHex(out, "\\u%04x", unit);
        } else {
            AppendCodePoint(out, unit);
        }
    }
    return out;
}

std::string ShownName(const platform::Path& name) {
#ifdef _WIN32
    return EscapedUtf16(std::u16string(name.begin(), name.end()));
#else
    return EscapedBytes(name, true);
#endif
}

}  // namespace vexlo::cli
