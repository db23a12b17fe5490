// frmMAIN, the program's small status window: a fixed frame with a close
// box, the current status picture in the top left corner of the client
// area and two check boxes below it. Sizes are given in twips and turned
// into pixels with the screen's own factors, so the window keeps its
// proportions on any DPI.
//
// Key preview: a character typed while the window is active reaches
// Form_KeyPress first, whichever control has the focus, because the check
// boxes are subclassed and hand their WM_CHAR here before handling it.
//
// The window also runs the program: start-up (Form_Load), the two timers,
// the drop target and the batches, the balloon it owns, and closing.
#pragma once

#include <windows.h>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_runner.h"
#include "engine/engine.h"
#include "popup/balloon_window.h"
#include "ui/drop_target.h"
#include "win/picture.h"
#include "win/twips.h"
#include "win/window.h"

namespace vexlo::ui {

// Observers of the stop gestures (each also sets StopFlag), and how closing
// ends the program: at once, by default, whatever handler was interrupted.
struct MainWindowHooks {
    std::function<void(int& KeyAscii)> keyPress;
    std::function<void()> click;
    std::function<void()> dblClick;
    std::function<void()> endProgram = [] { ::ExitProcess(0); };
};

class MainWindow final : public win::Window {
public:
    static constexpr int kPictureCount = 5;
    static constexpr int kIdlePicture = app::kIdlePictureIndex;
    // Timer identifiers of tmrSTART and tmrIDLE.
    static constexpr UINT_PTR kStartTimerId = 1;
    static constexpr UINT_PTR kIdleTimerId = 2;

    MainWindow();
    ~MainWindow() override;

    // Creates the window and its controls as designed, hidden, then runs
    // Form_Load and registers the drop target (OLE must be initialised on
    // this thread for drops; without it the window works without them).
    // False when the window cannot be created.
    bool Create(HINSTANCE instance);

    HWND chkTOP() const { return chkTOP_; }
    HWND chkVIEW() const { return chkVIEW_; }
    popup::BalloonWindow& frmIMG() { return frmIMG_; }
    DropTarget& dropTarget() { return dropTarget_; }

    // Status picture n (imgINFO(n)), 0 to 4; null for any other index or
    // a picture that failed to load.
    const win::Picture* StatusPicture(int n) const;
    // Makes status picture n the window's picture; other indices leave it.
    void SetPicture(int n);

    // Everything the client area shows apart from the check boxes.
    void Paint(HDC hdc) const override;

    MainWindowHooks hooks;

private:
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void Detached() override { chkTOP_ = chkVIEW_ = nullptr; }

    void Form_Initialize(HINSTANCE instance);
    void Form_Load(HINSTANCE instance);
    void chkTOP_Click();
    void tmrSTART_Timer();
    void tmrIDLE_Timer();
    void RunPendingDrop();
    void Form_KeyPress(int& KeyAscii);
    void Form_Click();
    void Form_DblClick();
    // Closing is never refused.
    void Form_Unload();

    HWND CreateCheckBox(HINSTANCE instance, const wchar_t* caption, int id, const win::TwipsBox& twips);

    // Children die with the window; they need no owner of their own.
    HWND chkTOP_ = nullptr;
    HWND chkVIEW_ = nullptr;
    std::array<std::optional<win::Picture>, kPictureCount> imgINFO_;
    const win::Picture* picture_ = nullptr;
    win32::UniqueGdi<HFONT> font_;
    HFONT windowFont_ = nullptr;  // the window's own font (WM_SETFONT), not owned

    Timer tmrSTART_{kStartTimerId};
    Timer tmrIDLE_{kIdleTimerId};

    Engine engine_;
    app::BatchRunner runner_;
    DropTarget dropTarget_;
    // Drops wait here until the drag source has been let go (see RunPendingDrop).
    std::deque<std::optional<std::vector<std::wstring>>> pendingDrops_;
    popup::BalloonWindow frmIMG_;
};

}  // namespace vexlo::ui
