// The balloon: its shape, its place beside the main window, the 20 steps
// of a hop, the beep and the key that asks for a stop.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "popup/balloon_window.h"
#include "tests/support/gui.h"
#include "ui/main_window.h"

namespace {

using vexlo::app::StopFlag;
using vexlo::test::Pump;

// Where the balloon stands after each step, in pixels above (negative) or
// below its start.
constexpr std::array<int, 20> kOffsets = {-3,  -6,  -9,  -11, -13, -14, -15, -16, -17, -18,
                                          -17, -16, -15, -14, -13, -11, -9,  -6,  -3,  0};

struct Step {
    POINT topLeft;
    bool visible;
};

class BalloonTest : public ::testing::Test {
protected:
    void SetUp() override {
        StopFlag = false;
        ASSERT_TRUE(vexlo::test::CreateMainWindow(main));
        ASSERT_TRUE(balloon.Load(::GetModuleHandleW(nullptr), main.Hwnd()));
        ::SetWindowPos(main.Hwnd(), nullptr, kMainLeft, kMainTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
        Pump();
        balloon.hooks.beep = [this] { ++beeps; };
        balloon.hooks.sleep = [this](DWORD ms) { sleeps.push_back(ms); };
        balloon.hooks.stepDone = [this](int step) {
            RECT r = {};
            ::GetWindowRect(balloon.Hwnd(), &r);
            steps.push_back({{r.left, r.top}, ::IsWindowVisible(balloon.Hwnd()) != FALSE});
            if (onStep) onStep(step);
        };
    }
    void TearDown() override { StopFlag = false; }

    POINT BalloonTopLeft() const {
        RECT r = {};
        ::GetWindowRect(balloon.Hwnd(), &r);
        return {r.left, r.top};
    }
    void ExpectFullHopFromBase() {
        ASSERT_EQ(steps.size(), kOffsets.size());
        RECT main_rect = {};
        ::GetWindowRect(main.Hwnd(), &main_rect);
        const POINT base = {main_rect.left + 53, main_rect.top + 28};
        for (std::size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i + 1));
            EXPECT_EQ(steps[i].topLeft.x, base.x);
            EXPECT_EQ(steps[i].topLeft.y - base.y, kOffsets[i]);
            EXPECT_TRUE(steps[i].visible);
        }
        EXPECT_EQ(sleeps, std::vector<DWORD>(20, 25));
        EXPECT_FALSE(::IsWindowVisible(balloon.Hwnd()));
        const POINT end = BalloonTopLeft();
        EXPECT_EQ(end.x, base.x);
        EXPECT_EQ(end.y, base.y);
    }

    static constexpr int kMainLeft = 300;
    static constexpr int kMainTop = 200;
    vexlo::ui::MainWindow main;
    vexlo::popup::BalloonWindow balloon;
    int beeps = 0;
    std::vector<DWORD> sleeps;
    std::vector<Step> steps;
    std::function<void(int)> onStep;
};

TEST_F(BalloonTest, LoadsHiddenTopmostBorderlessWithTheDesignClientSize) {
    const HWND hwnd = balloon.Hwnd();
    EXPECT_FALSE(::IsWindowVisible(hwnd));
    EXPECT_EQ(vexlo::test::ClassName(hwnd), vexlo::test::kBalloonClass) << "the class the probe finds it by";
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME));
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW) << "no task-bar button";
    RECT client = {}, outer = {};
    ::GetClientRect(hwnd, &client);
    ::GetWindowRect(hwnd, &outer);
    EXPECT_EQ(client.right, 108);  // 1620 x 510 twips
    EXPECT_EQ(client.bottom, 34);
    EXPECT_EQ(outer.right - outer.left, 108) << "no frame around the client area";
    wchar_t caption[8] = {L'x'};
    EXPECT_EQ(::GetWindowTextW(hwnd, caption, 8), 0);
}

TEST_F(BalloonTest, ItsRegionIsTheTenPointOutline) {
    const POINT outline[] = {{0, 0}, {18, 0}, {23, 5}, {24, 6}, {29, 1}, {32, 1}, {32, 3}, {24, 11}, {24, 32}, {0, 32}};
    vexlo::win32::UniqueGdi<HRGN> expected(::CreatePolygonRgn(outline, 10, ALTERNATE));
    vexlo::win32::UniqueGdi<HRGN> actual(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(::GetWindowRgn(balloon.Hwnd(), actual.get()), ERROR);
    EXPECT_TRUE(::EqualRgn(expected.get(), actual.get()));
}

TEST_F(BalloonTest, HopsTwentyStepsFromItsBaseBesideTheMainWindowAndEndsHiddenThere) {
    balloon.WndPopUp();
    ExpectFullHopFromBase();
    EXPECT_EQ(beeps, 0);

    // The next call follows the main window to its new place.
    ::SetWindowPos(main.Hwnd(), nullptr, 20, 500, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    steps.clear();
    sleeps.clear();
    balloon.WndPopUp();
    ExpectFullHopFromBase();
}

TEST_F(BalloonTest, MovingTheMainWindowDuringAHopDoesNotMoveTheBalloon) {
    onStep = [this](int step) {
        if (step == 5) ::SetWindowPos(main.Hwnd(), nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    };
    balloon.WndPopUp();
    ASSERT_EQ(steps.size(), 20u);
    EXPECT_EQ(steps[19].topLeft.x, kMainLeft + 53);
    EXPECT_EQ(steps[19].topLeft.y, kMainTop + 28);
}

TEST_F(BalloonTest, BeepsOnceAtTheEndOfEachHopOnlyWhileStopFlagIsSet) {
    struct Case {
        const char* name;
        bool stopBefore;
        int hops;
        int beeps;
    };
    const Case cases[] = {
        {"no stop", false, 1, 0},
        {"no stop, two hops", false, 2, 0},
        {"stop asked before", true, 1, 1},
        {"stop stays set", true, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StopFlag = c.stopBefore;
        beeps = 0;
        int beepStep = -1;
        balloon.hooks.beep = [&] {
            ++beeps;
            beepStep = static_cast<int>(steps.size());
            EXPECT_TRUE(::IsWindowVisible(balloon.Hwnd())) << "the beep comes before the balloon hides";
        };
        for (int i = 0; i < c.hops; ++i) {
            steps.clear();
            balloon.WndPopUp();
            EXPECT_EQ(steps.size(), 20u);
        }
        EXPECT_EQ(beeps, c.beeps);
        if (c.beeps) {
            EXPECT_EQ(beepStep, 20) << "after the last step";
        }
        EXPECT_EQ(StopFlag, c.stopBefore) << "the hop never clears the flag";
    }
}

TEST_F(BalloonTest, AKeyTypedOnTheBalloonSetsStopFlagWithoutCuttingTheHopShort) {
    onStep = [this](int step) {
        if (step != 5) return;
        // The key as the keyboard queues it for the balloon, posted so the
        // test does not depend on the shared display's foreground window.
        ::PostMessageW(balloon.Hwnd(), WM_KEYDOWN, 'Q', 1);
        ::PostMessageW(balloon.Hwnd(), WM_KEYUP, 'Q', static_cast<LPARAM>(1 | (3u << 30)));
    };
    int stopSeenAt = 0;
    balloon.hooks.stepDone = [&, inner = balloon.hooks.stepDone](int step) {
        inner(step);
        if (StopFlag && !stopSeenAt) stopSeenAt = step;
    };
    balloon.WndPopUp();
    EXPECT_TRUE(StopFlag);
    EXPECT_EQ(stopSeenAt, 6) << "handled by the pump of the next step";
    ExpectFullHopFromBase();
    EXPECT_EQ(beeps, 1);
}

TEST_F(BalloonTest, TabDuringAHopMovesTheFocusToTheBoxesAndIsNoStopGesture) {
    // Typed where the keyboard focus is: first on the balloon, which the hop
    // activated, then on the box that took the focus.
    std::vector<HWND> focus;
    onStep = [&](int step) {
        if (step == 5 || step == 10) vexlo::test::TypeKey(step == 5 ? balloon.Hwnd() : ::GetFocus(), VK_TAB);
        if (step == 6 || step == 11) focus.push_back(::GetFocus());
    };
    balloon.WndPopUp();
    EXPECT_EQ(focus, (std::vector<HWND>{main.chkTOP(), main.chkVIEW()}));
    EXPECT_FALSE(StopFlag);
    EXPECT_EQ(beeps, 0);
    ExpectFullHopFromBase();
}

TEST_F(BalloonTest, ClosingTheProgramDuringAHopEndsItAtOnceWithoutABeep) {
    StopFlag = true;
    onStep = [](int step) {
        if (step == 3) ::PostQuitMessage(7);
    };
    balloon.WndPopUp();
    EXPECT_EQ(steps.size(), 3u);
    EXPECT_EQ(beeps, 0);
    MSG msg = {};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "left for the main loop";
    EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
