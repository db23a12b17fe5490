// What a trailer holds, as a stable lower-case word for reports: the common
// file signatures ("jpeg", "png", "zip", "pdf", ...), "png-remnant" for the
// tail of a longer PNG's chunk stream, "zeros", "text", else "data". Only
// reported: output names keep GetFileType's five extensions.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vexlo {

// Fed the whole trailer in order, in pieces of any size, in bounded memory
// (zeros and text need every byte; signatures only the first ones).
class TrailerKind {
public:
    void Feed(std::span<const std::uint8_t> bytes);
    // The kind of everything fed so far.
    std::string_view Kind() const;

private:
    // Implementation state goes here.
};

}  // namespace vexlo
