// The list of sources for one run, fixed before anything is written, so an
// output of this run is never taken as one of its inputs.
#pragma once

#include <functional>
#include <vector>

#include "platform/platform.h"

namespace vexlo::cli {

struct Inputs {
    std::vector<platform::Path> files;
    std::size_t unreadable = 0;  // entries of walked folders that could not be read
};

// Each operand in order. With `recursive`, an operand naming a folder is
// replaced by the files under it that start with the PNG signature, folder by
// folder in byte order of names; links met inside are skipped whatever they
// point to (no loops, nothing outside the tree), and so are other non-files.
// An entry that cannot be listed, typed or read is passed to `unreadable`
// with the system's reason (0 when it gave none) and the walk goes on.
using UnreadableFn = std::function<void(const platform::Path&, platform::OsError)>;
Inputs CollectInputs(const std::vector<platform::Path>& operands, bool recursive, const UnreadableFn& unreadable);

}  // namespace vexlo::cli
