#include "win/window.h"

#include <algorithm>
#include <utility>

namespace vexlo::win {

bool Window::Create(WNDCLASSEXW wc, DWORD exStyle, const wchar_t* caption, DWORD style, int x, int y, int width,
                    int height) {
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &Procedure;
    // The first window of a class registers it; later ones find it there.
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    if (hwnd_) return false;
    background_ = wc.hbrBackground;
    return ::CreateWindowExW(exStyle, wc.lpszClassName, caption, style, x, y, width, height, nullptr, nullptr,
                             wc.hInstance, this) != nullptr;
}

void Window::Destroy() {
    if (!hwnd_) return;
    ReleaseAttachments();
    ::SetWindowLongPtrW(hwnd_.get(), GWLP_USERDATA, 0);
    hwnd_.reset();
    Detached();  // WM_NCDESTROY no longer reaches the object
}

void Window::ReleaseAttachments() {
    const HWND hwnd = hwnd_.get();
    for (const UINT_PTR id : std::exchange(timers_, {})) ::KillTimer(hwnd, id);
    if (std::exchange(dropTarget_, false)) ::RevokeDragDrop(hwnd);
    for (const Subclassed& s : std::exchange(subclassed_, {})) ::RemoveWindowSubclass(s.control, s.procedure, s.id);
}

void Window::Arm(const Timer& timer) {
    if (!hwnd_ || !timer.Interval) return;
    if (::SetTimer(hwnd_.get(), timer.id, timer.Interval, nullptr) &&
        std::find(timers_.begin(), timers_.end(), timer.id) == timers_.end()) {
        timers_.push_back(timer.id);
    }
}

void Window::Disarm(const Timer& timer) const {
    if (hwnd_) ::KillTimer(hwnd_.get(), timer.id);
}

bool Window::RegisterDropTarget(IDropTarget* target) {
    if (!hwnd_ || dropTarget_) return false;
    dropTarget_ = SUCCEEDED(::RegisterDragDrop(hwnd_.get(), target));
    return dropTarget_;
}

void Window::Subclass(HWND control, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data) {
    if (control && ::SetWindowSubclass(control, procedure, id, data)) subclassed_.push_back({control, procedure, id});
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd_.get(), msg, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* const self = static_cast<Window*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_.reset(hwnd);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* const self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        switch (msg) {
            case WM_PAINT: {
                const win32::PaintScope paint(hwnd);
                self->Paint(paint.get());
                return 0;
            }
            case WM_PRINTCLIENT: {
                const auto hdc = reinterpret_cast<HDC>(wParam);
                if (lParam & PRF_ERASEBKGND) {
                    RECT client = {};
                    ::GetClientRect(hwnd, &client);
                    ::FillRect(hdc, &client, self->background_);
                }
                self->Paint(hdc);
                return 0;
            }
            case WM_DESTROY:
                // Destroyed from outside: Destroy would have detached the object first.
                self->ReleaseAttachments();
                break;
            case WM_NCDESTROY:
                // The window is gone; make sure nobody destroys it again.
                ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
                self->hwnd_.release();
                self->Detached();
                return ::DefWindowProcW(hwnd, msg, wParam, lParam);
            default: break;
        }
        return self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace vexlo::win
