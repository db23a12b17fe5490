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

EntryType TypeOf(const Path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return EntryType::Other;
    if (S_ISLNK(st.st_mode)) return EntryType::Link;
    if (S_ISDIR(st.st_mode)) return EntryType::Directory;
    if (S_ISREG(st.st_mode)) return EntryType::File;
    return EntryType::Other;
}

}  // namespace

std::optional<std::vector<DirEntry>> ListDirectory(const Path& folder) {
    const UniqueDir dir(::opendir(folder.c_str()));
    if (dir.get() == nullptr) return std::nullopt;
    const Path prefix = folder.ends_with('/') ? folder : folder + '/';
    std::vector<DirEntry> entries;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) break;
        const Path name = entry->d_name;
        if (name == "." || name == "..") continue;
        entries.push_back({name, TypeOf(prefix + name)});
    }
    // readdir gives nullptr both at the end and on an error; only errno tells them apart.
    if (errno != 0) return std::nullopt;
    return entries;
}

bool IsDirectory(const Path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace vexlo::platform
