// Win32 folder listing: FindFirstFileW / FindNextFileW (both in Windows 2000).
// A name surrogate (symbolic link, junction, mount point) is reported as a
// link whatever it points to, so a walk never loops through one; other
// reparse points are what they show (platform/win32/entry_type.h).
#include <windows.h>

#include "platform/directory.h"
#include "platform/win32/entry_type.h"

namespace vexlo::platform {
namespace {

void CloseFind(HANDLE find) { ::FindClose(find); }
using UniqueFind = UniqueAny<HANDLE, CloseFind, detail::NoFile>;

static_assert(kAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY && kAttributeDevice == FILE_ATTRIBUTE_DEVICE &&
              kAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(IsNameSurrogate(IO_REPARSE_TAG_SYMLINK) && IsNameSurrogate(IO_REPARSE_TAG_MOUNT_POINT) &&
              !IsNameSurrogate(IO_REPARSE_TAG_DEDUP));

}  // namespace

std::optional<std::vector<DirEntry>> ListDirectory(const Path& folder, OsError& error) {
    error = 0;
    const bool separated = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
    const Path pattern = folder + (separated ? L"*" : L"\\*");
    WIN32_FIND_DATAW data{};
    const UniqueFind find(::FindFirstFileW(pattern.c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE) {
        // An empty root folder has not even "." to report.
        error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return std::vector<DirEntry>{};
        return std::nullopt;
    }
    std::vector<DirEntry> entries;
    do {
        const Path name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        // dwReserved0 holds the reparse tag when the entry is a reparse point.
        entries.push_back({name, FoundEntryType(data.dwFileAttributes, data.dwReserved0)});
    } while (::FindNextFileW(find.get(), &data));
    error = ::GetLastError();
    if (error != ERROR_NO_MORE_FILES) return std::nullopt;
    error = 0;
    return entries;
}

bool IsDirectory(const Path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace vexlo::platform
