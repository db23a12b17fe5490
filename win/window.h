// The base of our windows. It owns the window handle, registers the class
// on first use, ties the window to its object from WM_NCCREATE to
// WM_NCDESTROY, sends painting to Paint and every other message to
// HandleMessage (nothing thrown unwinds into the window system), and
// holds the one teardown order: timers, drop target, subclassed controls,
// user data (no message reaches the object after it), destroy.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <vector>

#include "platform/win32/handles.h"

namespace vexlo::win {

class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Hwnd() const { return hwnd_.get(); }

    // Everything the client area shows apart from its child controls.
    virtual void Paint(HDC hdc) const = 0;

protected:
    Window() = default;
    // A window whose teardown reaches its own members (a drop target, a
    // subclass procedure) calls Destroy in its own destructor, while they live.
    virtual ~Window() { Destroy(); }

    // Registers `wc` (its procedure set here) unless its class already is,
    // then creates the window with this object attached. False when either
    // fails or the window exists already.
    bool Create(WNDCLASSEXW wc, DWORD exStyle, const wchar_t* caption, DWORD style, int x, int y, int width,
                int height);

    // Tears the window down in the written order; nothing when there is none.
    void Destroy();

    // One-shot timers: each handler disarms its own timer first.
    struct Timer {
        UINT_PTR id;
        UINT Interval = 0;
    };
    void Arm(const Timer& timer);
    void Disarm(const Timer& timer) const;

    // The window as an OLE drop target until teardown; false when refused
    // (OLE not initialised on this thread).
    bool RegisterDropTarget(IDropTarget* target);
    // A child control subclassed until teardown.
    void Subclass(HWND control, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // The window and its children are gone. From the base's destructor
    // only the base's own (empty) version runs.
    virtual void Detached() {}
    // The first three steps of the teardown, also when the window is
    // destroyed from outside (WM_DESTROY).
    void ReleaseAttachments();

    win32::UniqueHwnd hwnd_;
    HBRUSH background_ = nullptr;  // the class's, not owned
    std::vector<UINT_PTR> timers_;
    bool dropTarget_ = false;
    struct Subclassed {
        HWND control;
        SUBCLASSPROC procedure;
        UINT_PTR id;
    };
    std::vector<Subclassed> subclassed_;
};

}  // namespace vexlo::win
