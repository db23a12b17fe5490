// Owning wrappers for Win32 handles, on the platform's one template.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace vexlo::win32 {

using platform::UniqueAny;

namespace detail {
inline HANDLE NullHandle() { return nullptr; }
inline void CloseKernel(HANDLE h) { ::CloseHandle(h); }
template <class G>
G NullGdi() {
    return nullptr;
}
template <class G>
void DeleteGdi(G g) {
    ::DeleteObject(g);
}
inline HWND NullHwnd() { return nullptr; }
inline void Destroy(HWND h) { ::DestroyWindow(h); }
}  // namespace detail

using UniqueFile = platform::UniqueFile;  // INVALID_HANDLE_VALUE when empty
using UniqueHandle = UniqueAny<HANDLE, detail::CloseKernel, detail::NullHandle>;
template <class G>
using UniqueGdi = UniqueAny<G, detail::DeleteGdi<G>, detail::NullGdi<G>>;
using UniqueHwnd = UniqueAny<HWND, detail::Destroy, detail::NullHwnd>;

}  // namespace vexlo::win32

namespace vexlo::win32 {

namespace detail {
inline HDC NullDc() { return nullptr; }
inline void DeleteDc(HDC h) { ::DeleteDC(h); }
}  // namespace detail

// A memory device context from CreateCompatibleDC.
using UniqueDc = UniqueAny<HDC, detail::DeleteDc, detail::NullDc>;

// A window's (or, with no window, the screen's) device context from GetDC,
// handed back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), hdc_(::GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (hdc_) ::ReleaseDC(hwnd_, hdc_);
    }
    HDC get() const { return hdc_; }

private:
    HWND hwnd_;
    HDC hdc_;
};

// BeginPaint/EndPaint for one WM_PAINT.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { ::BeginPaint(hwnd_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { ::EndPaint(hwnd_, &ps_); }
    HDC get() const { return ps_.hdc; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_ = {};
};

// Selects an object into a DC and puts the previous one back on scope exit,
// so the object can be deleted afterwards.
class ScopedSelect {
public:
    ScopedSelect(HDC hdc, HGDIOBJ object) : hdc_(hdc), previous_(::SelectObject(hdc, object)) {}
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    ~ScopedSelect() {
        // HGDI_ERROR itself, spelled so that x64 builds see no sign conversion.
        const HGDIOBJ gdiError = reinterpret_cast<HGDIOBJ>(static_cast<INT_PTR>(-1));
        if (previous_ && previous_ != gdiError) ::SelectObject(hdc_, previous_);
    }

private:
    HDC hdc_;
    HGDIOBJ previous_;
};

}  // namespace vexlo::win32
