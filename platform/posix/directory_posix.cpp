// POSIX folder listing: readdir for the names, lstat for the types (d_type
// is not filled in on every file system).
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/directory.h"

namespace vexlo::platform {
namespace {

void CloseDir(DIR* dir) { ::closedir(dir); }
DIR* NoDir() { return nullptr; }
using UniqueDir = UniqueAny<DIR*, CloseDir, NoDir>;

DirEntry EntryOf(const Path& prefix, const Path& name) {
    struct stat st {};
    if (::lstat((prefix + name).c_str(), &st) != 0) return {name, EntryType::Unknown, static_cast<OsError>(errno)};
    if (S_ISLNK(st.st_mode)) return {name, EntryType::Link};
    if (S_ISDIR(st.st_mode)) return {name, EntryType::Directory};
    if (S_ISREG(st.st_mode)) return {name, EntryType::File};
    return {name, EntryType::Other};
}

}  // namespace

std::optional<std::vector<DirEntry>> ListDirectory(const Path& folder, OsError& error) {
    error = 0;
    const UniqueDir dir(::opendir(folder.c_str()));
    if (dir.get() == nullptr) {
        error = static_cast<OsError>(errno);
        return std::nullopt;
    }
    const Path prefix = folder.ends_with('/') ? folder : folder + '/';
    std::vector<DirEntry> entries;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) break;
        const Path name = entry->d_name;
        if (name == "." || name == "..") continue;
        entries.push_back(EntryOf(prefix, name));
    }
    // readdir gives nullptr both at the end and on an error; only errno tells them apart.
    if (errno != 0) {
        error = static_cast<OsError>(errno);
        return std::nullopt;
    }
    return entries;
}

bool IsDirectory(const Path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace vexlo::platform
