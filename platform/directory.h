// Listing one folder, for vexlo-cli's recursive walk. Entries are typed
// without following links, so a walk can refuse to enter them.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace vexlo::platform {

// Unknown: the system would not say what the entry is (a folder that can be
// listed but not searched, a path too long); `error` then says why.
enum class EntryType { File, Directory, Link, Other, Unknown };

struct DirEntry {
    Path name;  // the entry's own name, without the folder
    EntryType type = EntryType::Other;
    OsError error = 0;
};

// The entries of `folder` other than "." and "..", in the system's order;
// nullopt when the folder cannot be opened or read, with `error` set to the
// system's reason (0 when it gave none).
std::optional<std::vector<DirEntry>> ListDirectory(const Path& folder, OsError& error);

// True when the path names a folder (links followed, as for a path typed by a user).
bool IsDirectory(const Path& path);

}  // namespace vexlo::platform
