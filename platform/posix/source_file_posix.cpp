// POSIX SourceFile: pread at 64-bit offsets. Only a 32-bit build needs the
// define (off_t is 64-bit on every 64-bit target); it must precede every include.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>

#include "platform/source_file.h"

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace vexlo::platform {

ReadStatus SourceFile::Open(const Path& path) {
    file_.reset();
    size_ = 0;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    UniqueFile file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!file || ::fstat(file.get(), &st) != 0) return {ReadStatus::CannotOpen, static_cast<OsError>(errno)};
    if (!S_ISREG(st.st_mode) || st.st_size < 0) return {ReadStatus::CannotOpen};
    file_ = std::move(file);
    size_ = static_cast<std::uint64_t>(st.st_size);
    return {};
}

std::optional<std::size_t> SourceFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
    constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    constexpr std::size_t kMaxPiece = 1u << 30;  // well below SSIZE_MAX on every target
    if (!file_) return std::nullopt;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint64_t at = offset + done;
        if (at < offset || at > kMaxOffset) return std::nullopt;  // beyond any file
        const std::size_t piece = bytes.size() - done < kMaxPiece ? bytes.size() - done : kMaxPiece;
        const ssize_t n = ::pread(file_.get(), bytes.data() + done, piece, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;  // end of file
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace vexlo::platform
