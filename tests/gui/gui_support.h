// Small helpers shared by the window tests: pumping messages and reading
// back what a window draws.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "win/dialog_keys.h"

namespace vexlo::test {

// Handles every pending message, then keeps doing so for `ms` milliseconds.
// With a main window, Tab goes to its dialog navigation as in the program's
// own message loop.
inline void Pump(DWORD ms = 0, HWND mainWindow = nullptr) {
    DWORD const start = ::GetTickCount();
    do {
        MSG msg = {};
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (win32::MoveFocusOnTab(mainWindow, msg)) continue;
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
    UINT const scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    ::PostMessageW(focus, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (scan << 16)));
    ::PostMessageW(focus, WM_KEYUP, vk, static_cast<LPARAM>(1 | (scan << 16) | (3u << 30)));
}

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

inline Rgb FromColorref(COLORREF c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }
inline Rgb FromArgb(std::uint32_t c) {
    return {static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF)};
}

// A 32-bit top-down bitmap that something draws into, read back as RGB.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        dc_ = ::CreateCompatibleDC(nullptr);
        bitmap_ = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<std::uint32_t*>(bits);
        previous_ = ::SelectObject(dc_, bitmap_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas() {
        ::SelectObject(dc_, previous_);
        ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    bool ok() const { return dc_ && bits_; }
    void Fill(Rgb c) {
        HBRUSH const brush = ::CreateSolidBrush(RGB(c.r, c.g, c.b));
        RECT const all = {0, 0, width_, height_};
        ::FillRect(dc_, &all, brush);
        ::DeleteObject(brush);
    }
    Rgb At(int x, int y) const {
        ::GdiFlush();
        return FromArgb(bits_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                              static_cast<std::size_t>(x)]);
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

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
    DWORD const self = ::GetCurrentProcessId();
    for (ULONG_PTR index = 1; index <= 0xFFFF; ++index) {
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(index))) ++counts.liveGdiObjects;
        auto const hwnd = reinterpret_cast<HWND>(index);
        DWORD owner = 0;
        if (::IsWindow(hwnd) && ::GetWindowThreadProcessId(hwnd, &owner) && owner == self) ++counts.ownWindows;
    }
    return counts;
}

}  // namespace vexlo::test
