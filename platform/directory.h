// Listing one folder, for vexlo-cli's recursive walk. Entries are typed
// without following links, so a walk can refuse to enter them.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace vexlo::platform {

enum class EntryType { File, Directory, Link, Other };

struct DirEntry {
    Path name;  // the entry's own name, without the folder
    EntryType type = EntryType::Other;
};

// The entries of `folder` other than "." and "..", in the system's order;
// nullopt when the folder cannot be opened or read.
std::optional<std::vector<DirEntry>> ListDirectory(const Path& folder);

// True when the path names a folder (links followed, as for a path typed by a user).
bool IsDirectory(const Path& path);

}  // namespace vexlo::platform
