// frmMAIN, the program's small status window: a fixed frame with a close
// box, the current status picture in the top left corner of the client
// area and two check boxes below it. Sizes are given in twips and turned
// into pixels with the screen's own factors, so the window keeps its
// proportions on any DPI.
//
// Key preview: a character typed while the window is active reaches
// Form_KeyPress first, whichever control has the focus, because the check
// boxes are subclassed and hand their WM_CHAR here before handling it.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <optional>

#include "platform/win32/handles.h"
#include "ui/picture.h"
#include "ui/twips.h"

namespace vexlo::ui {

// Where the stop gestures land. Empty by default; whoever runs batches
// fills them in.
struct MainWindowHooks {
    std::function<void(int& KeyAscii)> keyPress;
    std::function<void()> click;
    std::function<void()> dblClick;
};

class MainWindow {
public:
    static constexpr int kPictureCount = 5;
    static constexpr int kIdlePicture = 4;

    MainWindow() = default;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow();

    // Creates the window and its controls as designed, hidden, then runs
    // Form_Load. False when the window cannot be created.
    bool Create(HINSTANCE instance);

    HWND Hwnd() const { return hwnd_.get(); }
    HWND chkTOP() const { return chkTOP_; }
    HWND chkVIEW() const { return chkVIEW_; }

    // Status picture n (imgINFO(n)), 0 to 4; null for any other index or
    // a picture that failed to load.
    const Picture* StatusPicture(int n) const;
    // Makes status picture n the window's picture; other indices leave it.
    void SetPicture(int n);

    // Everything the client area shows apart from the check boxes.
    void Paint(HDC hdc) const;

    MainWindowHooks hooks;

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                        DWORD_PTR self);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void Form_Initialize(HINSTANCE instance);
    void Form_Load();
    void Form_Paint();
    void Form_PrintClient(HDC hdc, LPARAM flags);
    void Form_KeyPress(int& KeyAscii);
    void Form_Click();
    void Form_DblClick();
    void Form_Unload(int& Cancel);

    void EraseBackground(HDC hdc) const;
    HWND CreateCheckBox(HINSTANCE instance, const wchar_t* caption, int id, const TwipsBox& twips);

    win32::UniqueHwnd hwnd_;
    // Children die with the window; they need no owner of their own.
    HWND chkTOP_ = nullptr;
    HWND chkVIEW_ = nullptr;
    std::array<std::optional<Picture>, kPictureCount> imgINFO_;
    const Picture* picture_ = nullptr;
};

}  // namespace vexlo::ui
