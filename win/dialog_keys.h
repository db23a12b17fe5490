// Tab moves the focus between the main window's check boxes, as in a
// dialog, wherever it is typed: on the window, on a box, or on the balloon
// during a hop. It is never a key press for the window, so never a stop
// gesture. Only Tab: the dialog manager would swallow Enter and Escape,
// which are key presses like any other.
#pragma once

#include <windows.h>

namespace vexlo::win {

// Call for each message before translating it; true when it was a Tab for
// `dialog` (the main window) and has been handled.
inline bool MoveFocusOnTab(HWND dialog, const MSG& msg) {
    if (!dialog || msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) return false;
    if (msg.hwnd == dialog || ::IsChild(dialog, msg.hwnd)) {
        MSG copy = msg;
        return ::IsDialogMessageW(dialog, &copy) != FALSE;
    }
    // Typed on the balloon: the focus comes back to the window's first box.
    if (const HWND first = ::GetNextDlgTabItem(dialog, nullptr, FALSE)) ::SetFocus(first);
    return true;
}

}  // namespace vexlo::win
