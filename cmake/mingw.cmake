# Windows with mingw-w64, for the target the preset names in VEXLO_MINGW
# (i686-w64-mingw32 for x86, x86_64-w64-mingw32 for x64). The -posix
# compilers carry std::thread and std::mutex, which GoogleTest needs.
if(NOT VEXLO_MINGW)
  message(FATAL_ERROR "set VEXLO_MINGW to i686-w64-mingw32 or x86_64-w64-mingw32 (the win32 and win64 presets do)")
endif()
# CMake's compiler checks read this file again in projects of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VEXLO_MINGW)
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${VEXLO_MINGW}")
set(CMAKE_C_COMPILER ${VEXLO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXLO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXLO_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VEXLO_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
