// The window procedure our window classes share: it ties a window to its
// C++ object when the window is created and hands every message to the
// object's HandleMessage, which dispatches to the named handlers. Nothing
// thrown may unwind into the window system.
#pragma once

#include <windows.h>

namespace vexlo::ui {

// Window must have `Attach(HWND)` and `HandleMessage(UINT, WPARAM, LPARAM)`
// reachable from here (make this function a friend), and must be passed as
// the creation parameter of CreateWindowExW.
template <class Window>
LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* const self = static_cast<Window*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->Attach(hwnd);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* const self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace vexlo::ui
