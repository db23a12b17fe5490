#include "cli/json.h"

#include <array>
#include <cstdio>
#include <optional>
#include <span>

#include "cli/recover_command.h"
#include "cli/results.h"
#include "engine/utf8.h"
#include "platform/sha256.h"

namespace vexlo::cli {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The name's exact bytes as the system holds them: UTF-16LE on Windows.
std::string NameHex(const platform::Path& name) {
#ifdef _WIN32
    std::string bytes;
    for (const wchar_t unit : name) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
#else
    const std::string& bytes = name;
#endif
    return platform::ToHex({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

NameText Text(const platform::Path& name) {
#ifdef _WIN32
    return FromUtf16(std::u16string(name.begin(), name.end()));
#else
    return FromBytes(name);
#endif
}

class JsonObject {
public:
    void Raw(std::string_view key, std::string_view json) {
        text_ += text_.empty() ? "{" : ",";
        text_ += Quote(key);
        text_ += ':';
        text_ += json;
    }
    void String(std::string_view key, std::string_view utf8) { Raw(key, Quote(utf8)); }
    void Number(std::string_view key, std::uint64_t value) { Raw(key, std::to_string(value)); }
    void Null(std::string_view key) { Raw(key, "null"); }
    void Bool(std::string_view key, bool value) { Raw(key, value ? "true" : "false"); }
    // A share from 0 to 1 with nine decimals: times the pixels it is a share
    // of, it rounds back to their exact count for pictures of up to 8 Mi
    // pixels, the most rebuilt (six decimals were a pixel off on phone
    // screens).
    void Share(std::string_view key, double value) {
        std::array<char, 32> text{};
        std::snprintf(text.data(), text.size(), "%.9f", value);
        Raw(key, text.data());
    }
    // A name, or null when empty; "<key>_hex" follows when the text is not exact.
    void Name(std::string_view key, const platform::Path& name) {
        if (name.empty()) return Null(key);
        const NameText text = Text(name);
        String(key, text.utf8);
        if (!text.exact) String(std::string(key) + "_hex", NameHex(name));
    }
    std::string Object() const { return text_.empty() ? "{}" : text_ + "}"; }
    std::string Line() const { return Object() + "\n"; }

private:
    std::string text_;
};

}  // namespace

NameText FromBytes(std::string_view bytes) {
    NameText out;
    out.utf8.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t length = utf8::SequenceLength(bytes);
        if (length == 0) {
            out.utf8 += kReplacement;
            out.exact = false;
            bytes.remove_prefix(1);
        } else {
            out.utf8 += bytes.substr(0, length);
            bytes.remove_prefix(length);
        }
    }
    return out;
}

NameText FromUtf16(std::u16string_view units) {
    NameText out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            utf8::Append(out.utf8, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (high || low) {
            out.utf8 += kReplacement;
            out.exact = false;
        } else {
            utf8::Append(out.utf8, unit);
        }
    }
    return out;
}

std::string Quote(std::string_view utf8) {
    constexpr std::string_view kHex = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

namespace {

JsonObject Fields(const platform::Path& given, const ExtractReport& report, bool check) {
    JsonObject json;
    json.Name("path", given);
    json.Name("full_path", report.fullPath);
    json.Number("result", static_cast<std::uint64_t>(report.result));
    json.String("status", StatusWord(report.result, check));
    if (report.hasTrailer) {
        json.Number("offset", report.trailer.offset);
        json.Number("length", report.trailer.length);
        json.String("sha256", platform::ToHex(report.sha256));
        json.String("extension", report.extension);
        json.String("kind", report.kind);
    } else {
        for (const std::string_view key : {"offset", "length", "sha256", "extension", "kind"}) json.Null(key);
    }
    json.Name("output", report.output);
    return json;
}

}  // namespace

std::string JsonLine(const platform::Path& given, const ExtractReport& report, bool check) {
    return Fields(given, report, check).Line();
}

std::string JsonLine(const platform::Path& given, const RecoverReport& report) {
    JsonObject json = Fields(given, report.extraction, true);
    if (!report.Examined()) {
        json.Null("recover");
        return json.Line();
    }
    const recover::Result& result = report.result;
    JsonObject inner;
    inner.String("status", RecoverWord(result.status));
    inner.String("message", result.message);
    inner.Number("width", result.width);
    inner.Bool("widthFound", result.widthFound);
    inner.Number("bytesPerPixel", result.bytesPerPixel);
    inner.Number("rows", result.rows);
    inner.Number("startBit", result.startBit);
    inner.Number("inflatedBytes", result.inflatedBytes);
    inner.Share("knownShare", result.knownShare);
    inner.Name("picture", report.picture);
    inner.Name("guess", report.guess);
    json.Raw("recover", inner.Object());
    return json.Line();
}

}  // namespace vexlo::cli
