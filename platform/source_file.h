// A source opened for reading at any 64-bit offset, so a walk can read the
// chunk headers and seek over chunk data instead of reading a whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/platform.h"

namespace vexlo::platform {

class SourceFile {
public:
    SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile() = default;

    // CannotOpen when the path cannot be opened for reading or names no
    // regular file (a directory, a FIFO: never blocks; no system error then).
    // Closes what was open before.
    ReadStatus Open(const Path& path);
    // Measured on the open file.
    std::uint64_t Size() const { return size_; }
    // Reads bytes.size() bytes at `offset`, fewer only at the end of the
    // file; nullopt on a read error.
    std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const;

private:
    UniqueFile file_;
    std::uint64_t size_ = 0;
};

}  // namespace vexlo::platform
