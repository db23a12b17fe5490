// Win32 SourceFile: a synchronous handle read at 64-bit offsets through
// OVERLAPPED, with functions Windows XP has.
#include <windows.h>

#include "platform/source_file.h"
#include "platform/win32/handles.h"
#include "platform/win32/source_share.h"

namespace vexlo::platform {

ReadStatus SourceFile::Open(const Path& path) {
    file_.reset();
    size_ = 0;
    // Directories cannot be opened without FILE_FLAG_BACKUP_SEMANTICS.
    win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, kSourceShareMode, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {ReadStatus::CannotOpen, ::GetLastError()};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) return {ReadStatus::CannotOpen};  // no pipes, consoles, devices
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (!::GetFileInformationByHandle(file.get(), &info) || !::GetFileSizeEx(file.get(), &size)) {
        return {ReadStatus::CannotOpen, ::GetLastError()};
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || size.QuadPart < 0) return {ReadStatus::CannotOpen};
    file_ = std::move(file);
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return {};
}

std::optional<std::size_t> SourceFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
    constexpr std::size_t kMaxPiece = 1u << 30;
    if (!file_) return std::nullopt;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint64_t at = offset + done;
        if (at < offset || at > 0x7FFF'FFFF'FFFF'FFFFu) return std::nullopt;  // beyond any file
        const std::size_t piece = bytes.size() - done < kMaxPiece ? bytes.size() - done : kMaxPiece;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!::ReadFile(file_.get(), bytes.data() + done, static_cast<DWORD>(piece), &got, &where)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) break;
            return std::nullopt;
        }
        if (got == 0) break;  // end of file
        done += got;
    }
    return done;
}

}  // namespace vexlo::platform
