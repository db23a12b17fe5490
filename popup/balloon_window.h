// frmIMG, the balloon: a borderless, topmost window cut to the outline of
// its picture (a sheet of paper with a pencil) that hops once over the
// main window for every processed file and beeps at the end of the hop
// when a stop was asked for. Hidden between hops.
//
// WndPopUp pumps the message queue after each of its 20 moves, so any
// handler of either window may run inside it; that pump is PumpEvents.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <optional>

#include "win/picture.h"
#include "win/twips.h"
#include "win/window.h"

namespace vexlo::popup {

// The balloon's contact with time and sound, replaceable for tests.
struct BalloonHooks {
    // The line on the debug output lets a test that cannot hear see the beep.
    std::function<void()> beep = [] {
        ::MessageBeep(MB_OK);
        ::OutputDebugStringA("vexlo: beep\n");
    };
    std::function<void(DWORD milliseconds)> sleep = [](DWORD milliseconds) { ::Sleep(milliseconds); };
    // Called after the move and the pump of each step (1 to 20), before
    // its sleep.
    std::function<void(int step)> stepDone;
};

class BalloonWindow final : public win::Window {
public:
    static constexpr int kSteps = 20;

    BalloonWindow() = default;

    // Creates the balloon hidden, owned by the main window (whose outer
    // corner it hops beside), and runs Form_Load.
    bool Load(HINSTANCE instance, HWND mainWindow);
    // Destroys the balloon; a hop in progress ends at its next step.
    void Unload() { Destroy(); }

    // One hop: shows the balloon, moves it 20 times, beeps when StopFlag
    // is set, hides it. Takes a little over half a second.
    void WndPopUp();

    void Paint(HDC hdc) const override;

    BalloonHooks hooks;

private:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    void Form_Load();
    void Form_KeyPress(int& KeyAscii);

    // Moves the balloon's top left corner to a position in twips.
    void MoveTo(int leftTwips, int topTwips);
    // Handles every pending message of the thread. False when the program
    // is quitting (the quit message is put back for the main loop).
    bool PumpEvents() const;

    HWND mainWindow_ = nullptr;
    std::optional<win::Picture> picture_;

    std::array<int, kSteps> HopTable{};
    win::TwipsPerPixel screen_;  // the screen's factors, read at Load
    int TwipsX = 15;
    int TwipsY = 15;
};

}  // namespace vexlo::popup
