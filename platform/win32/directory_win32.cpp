// Win32 folder listing: FindFirstFileW / FindNextFileW (both in Windows 2000).
// A reparse point (symbolic link, junction, mount point) is reported as a
// link whatever it points to, so a walk never loops through one.
#include <windows.h>

#include "platform/directory.h"

namespace vexlo::platform {
namespace {

void CloseFind(HANDLE find) { ::FindClose(find); }
using UniqueFind = UniqueAny<HANDLE, CloseFind, detail::NoFile>;

EntryType TypeOf(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryType::Link;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryType::Directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryType::Other;
    return EntryType::File;
}

}  // namespace

std::optional<std::vector<DirEntry>> ListDirectory(const Path& folder) {
    const bool separated = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
    const Path pattern = folder + (separated ? L"*" : L"\\*");
    WIN32_FIND_DATAW data{};
    const UniqueFind find(::FindFirstFileW(pattern.c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE) {
        // An empty root folder has not even "." to report.
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<DirEntry>{};
        return std::nullopt;
    }
    std::vector<DirEntry> entries;
    do {
        const Path name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({name, TypeOf(data.dwFileAttributes)});
    } while (::FindNextFileW(find.get(), &data));
    if (::GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    return entries;
}

bool IsDirectory(const Path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace vexlo::platform
