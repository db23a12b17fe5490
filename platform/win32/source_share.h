// The sharing both programs open a source with. Read, write and delete: a PNG
// that an editor or a sync client holds open for writing can still be read,
// as on POSIX; asking for read sharing alone would fail on any file another
// program has open for writing. A source that changes meanwhile is caught
// by the reads themselves (short reads are errors).
#pragma once

#include <windows.h>

namespace vexlo::platform {

inline constexpr DWORD kSourceShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace vexlo::platform
