// Paths as the platform spells them: UTF-16 on Windows, bytes on POSIX.
#pragma once

#include <string>

namespace vexlo::platform {

#ifdef _WIN32
using Char = wchar_t;
#else
using Char = char;
#endif
using Path = std::basic_string<Char>;

}  // namespace vexlo::platform
