// GetTickCount64 for the programs we ship, so that they load on Windows XP.
//
// The statically linked threading library times its waits with
// GetTickCount64, which kernel32 exports from Vista on; imported by name,
// it would keep the programs from loading on XP at all. This file defines
// the import's pointer itself, so the linker takes it instead of kernel32's:
// the real function where kernel32 has it, else the performance counter.
#include <windows.h>

#include "platform/win32/tick_count.h"

namespace {

ULONGLONG WINAPI TickCount64() {
    using Function = ULONGLONG(WINAPI*)();
    static const Function real = reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
    if (real) return real();
    LARGE_INTEGER count = {}, frequency = {};
    if (!::QueryPerformanceCounter(&count) || !::QueryPerformanceFrequency(&frequency)) return ::GetTickCount();
    return vexlo::win32::CounterToMilliseconds(static_cast<std::uint64_t>(count.QuadPart),
                                               static_cast<std::uint64_t>(frequency.QuadPart));
}

}  // namespace

// The name the import library gives the pointer: stdcall-decorated on x86.
#if defined(__i386__)
#define VEXLO_TICK_COUNT64_IMPORT "__imp__GetTickCount64@0"
#else
#define VEXLO_TICK_COUNT64_IMPORT "__imp_GetTickCount64"
#endif

extern "C" {
extern ULONGLONG(WINAPI* const vexloTickCount64Import)() __asm__(VEXLO_TICK_COUNT64_IMPORT);
ULONGLONG(WINAPI* const vexloTickCount64Import)() = TickCount64;
}
