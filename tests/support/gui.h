// Small helpers shared by the window tests and the end-to-end probe:
// vexlo's window classes, the main window as the tests start it, pumping
// messages, typing keys, counting what the process holds of the window system.
#pragma once

#include <windows.h>

#include <string>

#include "ui/main_window.h"
#include "win/dialog_keys.h"

namespace vexlo::test {

// The classes vexlo registers its windows under: what other programs find them by.
inline constexpr wchar_t kMainWindowClass[] = L"vexloMain";
inline constexpr wchar_t kBalloonClass[] = L"vexloBalloon";

inline std::wstring ClassName(HWND hwnd) {
    wchar_t name[64] = {};
    return std::wstring(name, static_cast<std::size_t>(::GetClassNameW(hwnd, name, 64)));
}

// Creates the main window, hidden, without its start timer: the batch over
// the test program's own (empty) command line is not under test, and would
// clear StopFlag in the middle of a test.
inline bool CreateMainWindow(ui::MainWindow& window) {
    if (!window.Create(::GetModuleHandleW(nullptr))) return false;
    ::KillTimer(window.Hwnd(), ui::MainWindow::kStartTimerId);
    return true;
}

// Handles every pending message, then keeps doing so for `ms` milliseconds.
// With a main window, Tab goes to its dialog navigation as in the program's
// own message loop.
inline void Pump(DWORD ms = 0, HWND mainWindow = nullptr) {
    const DWORD start = ::GetTickCount();
    do {
        MSG msg = {};
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (win::MoveFocusOnTab(mainWindow, msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (ms) ::Sleep(5);
    } while (::GetTickCount() - start < ms);
}

// Types one key into the window that has the focus: the key messages the
// keyboard would queue, turned into characters by TranslateMessage as in
// the program's own loop. Posting them keeps the test independent of which
// window of the shared display is in the foreground.
inline void TypeKey(HWND focus, WORD vk) {
    const UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    ::PostMessageW(focus, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (scan << 16)));
    ::PostMessageW(focus, WM_KEYUP, vk, static_cast<LPARAM>(1 | (scan << 16) | (3u << 30)));
}

// What the process holds of the window system: the counts GetGuiResources
// reports, and the same two things counted directly, because Wine answers
// GetGuiResources with 0 ("not implemented"). The direct counts walk the
// handle tables by index: Wine takes a handle without its generation in the
// high word for the live entry at that index. On Windows, GetGuiResources
// is the measure that counts.
struct GuiObjectCounts {
    DWORD gdiObjects = 0;   // GR_GDIOBJECTS
    DWORD userObjects = 0;  // GR_USEROBJECTS
    int liveGdiObjects = 0;
    int ownWindows = 0;
    bool operator==(const GuiObjectCounts&) const = default;
};

inline GuiObjectCounts CountGuiObjects() {
    GuiObjectCounts counts;
    counts.gdiObjects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    counts.userObjects = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
    const DWORD self = ::GetCurrentProcessId();
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index) {
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index))) ++counts.liveGdiObjects;
        const auto hwnd = reinterpret_cast<HWND>(index);
        DWORD owner = 0;
        if (::IsWindow(hwnd) && ::GetWindowThreadProcessId(hwnd, &owner) && owner == self) ++counts.ownWindows;
    }
    return counts;
}

}  // namespace vexlo::test
