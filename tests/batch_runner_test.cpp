// The batch rules: order, pictures, pop-ups, stopping, and what may run
// inside a pop-up's event pump.
#include <gtest/gtest.h>

#include <map>

#include "app/app_state.h"
#include "app/batch_runner.h"

namespace vexlo::app {
namespace {

// Records every hook call as one line of a script; the pop-up can run a
// nested action the first time, as a pumped event would.
struct Recorder {
    std::vector<std::string> events;
    std::map<std::wstring, std::int32_t> results;
    WindowState state = WindowState::Normal;
    std::function<void()> duringFirstPopUp;
    int popUps = 0;

    BatchHooks Hooks() {
        return {
            [this](const std::wstring& path) {
                events.push_back("process " + std::string(path.begin(), path.end()));
                const auto it = results.find(path);
                return it == results.end() ? std::int32_t{0} : it->second;
            },
            [this](int picture) { events.push_back("picture " + std::to_string(picture)); },
            [this] {
                events.push_back(std::string("popup") + (app::BusyFlag ? " busy" : " idle"));
                if (++popUps == 1 && duringFirstPopUp) duringFirstPopUp();
            },
            [this] { return state; },
            [this] { events.push_back("arm idle"); },
        };
    }
};

class BatchRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        app::StopFlag = false;
        app::BusyFlag = false;
    }
    Recorder rec;
};

using Events = std::vector<std::string>;

TEST(PictureForResult, EveryResultAndOutsiders) {
    const int expected[] = {3, 1, 1, 1, 0, 2, 2};
    for (int r = 0; r < 7; ++r) EXPECT_EQ(PictureForResult(r), expected[r]) << r;
    for (const int r : {-1, 7, 100, INT32_MIN, INT32_MAX}) EXPECT_EQ(PictureForResult(r), -1) << r;
}

TEST_F(BatchRunnerTest, DropBatchProcessesInOrderWithAPopUpEach) {
    rec.results = {{L"b", 4}, {L"c", 99}};
    BatchRunner runner(rec.Hooks());
    app::StopFlag = true;  // left over from a click while idle: cleared by the batch
    runner.Form_OLEDragDrop(std::vector<std::wstring>{L"a", L"b", L"c"});
    EXPECT_EQ(rec.events, (Events{"process a", "picture 3", "popup busy", "process b", "picture 0", "popup busy",
                                  "process c", "popup busy", "arm idle"}));
    EXPECT_FALSE(app::BusyFlag);
}

TEST_F(BatchRunnerTest, DropWithoutFileListOnlyArmsTheIdleTimer) {
    BatchRunner runner(rec.Hooks());
    runner.Form_OLEDragDrop(std::nullopt);
    EXPECT_EQ(rec.events, Events{"arm idle"});
    EXPECT_FALSE(app::BusyFlag);
}

TEST_F(BatchRunnerTest, StopDuringTheFirstPopUpEndsTheBatchAfterThatFile) {
    BatchRunner runner(rec.Hooks());
    rec.duringFirstPopUp = [] { app::StopFlag = true; };
    runner.Form_OLEDragDrop(std::vector<std::wstring>{L"a", L"b", L"c"});
    EXPECT_EQ(rec.events, (Events{"process a", "picture 3", "popup busy", "arm idle"}));
    EXPECT_TRUE(app::StopFlag) << "only the next batch clears it";
}

TEST_F(BatchRunnerTest, DropDuringABatchIsIgnored) {
    BatchRunner runner(rec.Hooks());
    rec.duringFirstPopUp = [&] { runner.Form_OLEDragDrop(std::vector<std::wstring>{L"x"}); };
    runner.Form_OLEDragDrop(std::vector<std::wstring>{L"a", L"b"});
    EXPECT_EQ(rec.events,
              (Events{"process a", "picture 3", "popup busy", "process b", "picture 3", "popup busy", "arm idle"}));
}

TEST_F(BatchRunnerTest, CommandLineBatch) {
    const struct {
        const char* name;
        std::wstring text;
        WindowState state;
        std::size_t args;
        Events expected;
    } cases[] = {
        {"no arguments", L"", WindowState::Normal, 0, {"arm idle"}},
        {"in order",
         L"a \"b c\"",
         WindowState::Normal,
         2,
         {"process a", "picture 3", "popup busy", "process b c", "picture 3", "popup busy", "arm idle"}},
        {"minimized: no pop-up",
         L"a b",
         WindowState::Minimized,
         2,
         {"process a", "picture 3", "process b", "picture 3", "arm idle"}},
        {"maximized: no pop-up", L"a", WindowState::Maximized, 1, {"process a", "picture 3", "arm idle"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rec.events.clear();
        rec.state = c.state;
        BatchRunner runner(rec.Hooks());
        runner.tmrSTART_Timer(c.text);
        EXPECT_EQ(rec.events, c.expected);
        EXPECT_EQ(runner.ArgList.size(), c.args + 1);
        EXPECT_FALSE(app::BusyFlag);
    }
}

TEST_F(BatchRunnerTest, CommandLineBatchIgnoresBusyAndClearsItInsideADrop) {
    // The start timer fires inside a drop batch's pop-up: the inner batch runs
    // to its end and clears BusyFlag while the outer one goes on.
    BatchRunner runner(rec.Hooks());
    rec.duringFirstPopUp = [&] { runner.tmrSTART_Timer(L"arg"); };
    runner.Form_OLEDragDrop(std::vector<std::wstring>{L"d1", L"d2"});
    EXPECT_EQ(rec.events, (Events{"process d1", "picture 3", "popup busy", "process arg", "picture 3", "popup busy",
                                  "arm idle", "process d2", "picture 3", "popup idle", "arm idle"}));
}

TEST_F(BatchRunnerTest, IdleTimerRestoresTheIdlePicture) {
    BatchRunner runner(rec.Hooks());
    runner.tmrIDLE_Timer();
    EXPECT_EQ(rec.events, Events{"picture 4"});
}

}  // namespace
}  // namespace vexlo::app
