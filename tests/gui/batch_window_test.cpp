// The main window's drop target and batches end to end: real files in a
// folder of their own, the real window, engine and balloon. Only the
// balloon's sleep and beep are replaced, so hops take no time and beeps
// can be counted.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "tests/support/canvas.h"
#include "tests/support/data_object.h"
#include "tests/support/files.h"
#include "tests/support/gui.h"
#include "ui/main_window.h"
#include "win/com_ptr.h"

namespace {

namespace fs = std::filesystem;
using vexlo::test::Bytes;
using vexlo::test::Canvas;
using vexlo::test::DataObject;
using vexlo::test::Pump;
using vexlo::test::Rgb;
const auto ReadAll = vexlo::test::ReadFileBytes;

// The samples folder as this program sees it: Wine shows the host's root
// as drive Z:.
fs::path SamplesDir() {
    const std::string host = VEXLO_SAMPLES_DIR;
    std::wstring dir(host.begin(), host.end());
    std::replace(dir.begin(), dir.end(), L'/', L'\\');
    if (!dir.empty() && dir.front() == L'\\') dir.insert(0, L"Z:");
    return fs::path(dir);
}

std::size_t WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    return ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)) ? counters.WorkingSetSize : 0;
}

constexpr int kSuccess = 3, kUnusable = 1, kNothingHidden = 0, kIdle = vexlo::ui::MainWindow::kIdlePicture;
constexpr POINTL kOverWindow = {0, 0};

class BatchWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        vexlo::app::StopFlag = vexlo::app::BusyFlag = false;
        hidden = ReadAll(SamplesDir() / L"hidden.png");
        payload = ReadAll(SamplesDir() / L"payload.jpg");
        ASSERT_FALSE(payload.empty());
        ASSERT_GT(hidden.size(), payload.size());
        ASSERT_TRUE(std::equal(payload.rbegin(), payload.rend(), hidden.rbegin()))
            << "the sample ends with its payload";

        ASSERT_TRUE(vexlo::test::CreateMainWindow(window));
        // Not under test: the viewer each extracted picture would be handed to.
        ::SendMessageW(window.chkVIEW(), BM_SETCHECK, BST_UNCHECKED, 0);
        ::ShowWindow(window.Hwnd(), SW_SHOWNA);
        Pump();

        auto& balloon = window.frmIMG().hooks;
        balloon.sleep = [](DWORD) {};
        balloon.beep = [this] { ++beeps; };
        balloon.stepDone = [this](int step) {
            if (step == 1) {
                ++hops;
                if (watchHops) {
                    shown.push_back(ShownPicture());
                    busy.push_back(vexlo::app::BusyFlag);
                }
            }
            if (duringHop) duringHop(hops, step);
        };

        const vexlo::win::Picture* const first = window.StatusPicture(0);
        ASSERT_NE(first, nullptr);
        width = first->Width();
        height = first->Height();
        for (int n = 0; n < vexlo::ui::MainWindow::kPictureCount; ++n) {
            const vexlo::win::Picture* const picture = window.StatusPicture(n);
            ASSERT_NE(picture, nullptr);
            ASSERT_EQ(picture->Width(), width);
            ASSERT_EQ(picture->Height(), height);
            references.push_back(Snapshot([picture](HDC hdc) { picture->Draw(hdc, 0, 0); }));
            for (int m = 0; m < n; ++m) ASSERT_NE(references[static_cast<std::size_t>(m)], references.back());
        }
    }
    void TearDown() override { vexlo::app::StopFlag = vexlo::app::BusyFlag = false; }

    std::vector<Rgb> Snapshot(const std::function<void(HDC)>& draw) const {
        Canvas canvas(width, height);
        canvas.Fill({1, 2, 3});  // a colour the artwork never uses
        draw(canvas.dc());
        return canvas.Pixels();
    }
    // The status picture the window paints now, -1 when it is none of them.
    int ShownPicture() const {
        const auto now = Snapshot([this](HDC hdc) { window.Paint(hdc); });
        const auto match = std::find(references.begin(), references.end(), now);
        return match == references.end() ? -1 : static_cast<int>(match - references.begin());
    }

    std::wstring Copy(const wchar_t* name, const Bytes& bytes) const { return folder.Write(name, bytes); }
    Bytes PlainPng() const { return Bytes(hidden.begin(), hidden.end() - static_cast<std::ptrdiff_t>(payload.size())); }

    // A drag over the window and a drop, as OLE delivers them; the batch
    // runs once the drop has returned and the queue is pumped.
    void DragAndDrop(DataObject& data) {
        auto& target = window.dropTarget();
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        target.DragEnter(&data, MK_LBUTTON, kOverWindow, &effect);
        target.DragOver(MK_LBUTTON, kOverWindow, &effect);
        const DWORD offered = effect;
        effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;  // OLE hands the source's set to the drop again
        const int hopsBefore = hops;
        target.Drop(&data, 0, kOverWindow, &effect);
        EXPECT_EQ(effect, offered) << "the drop answers what the drag was offered, never a move";
        EXPECT_EQ(hops, hopsBefore) << "nothing runs inside the drop notification";
        Pump();
        EXPECT_EQ(data.refs(), 0u) << "the drop target keeps no reference";
    }

    // Drag sources outlive the window, so a reference its drop target failed
    // to let go of fails a check instead of pointing at a dead object.
    DataObject& Files(std::vector<std::wstring> files) { return sources.emplace_back(std::move(files), std::nullopt); }
    DataObject& Text(std::wstring text) { return sources.emplace_back(std::nullopt, std::move(text)); }

    vexlo::win::OleSession ole;  // so the window registers its drop target as in the program
    vexlo::test::TempFolder folder{"vexlo-batch"};
    std::deque<DataObject> sources;
    vexlo::ui::MainWindow window;
    Bytes hidden, payload;
    int width = 0, height = 0;
    std::vector<std::vector<Rgb>> references;

    int hops = 0, beeps = 0;
    bool watchHops = true;
    std::vector<int> shown;  // the picture during each hop
    std::vector<bool> busy;  // BusyFlag during each hop
    std::function<void(int hop, int step)> duringHop;
};

TEST_F(BatchWindowTest, DragsAreOfferedACopyOnlyForAFileListThatMayBeCopied) {
    auto& files = Files({folder / L"a.png"});
    auto& text = Text(folder / L"a.png");
    struct Case {
        const char* name;
        DataObject* data;
        DWORD allowed;
        DWORD expected;
    };
    // Alternating kinds, so an answer taken from the previous drag would show.
    const Case cases[] = {
        {"file list, copy or move", &files, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_COPY},
        {"no file list, copy or move", &text, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_NONE},
        {"file list, copy, move or link", &files, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_COPY},
        {"file list, move only", &files, DROPEFFECT_MOVE, DROPEFFECT_NONE},
        {"file list, copy only", &files, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {"file list, link only", &files, DROPEFFECT_LINK, DROPEFFECT_NONE},
        {"no file list, copy only", &text, DROPEFFECT_COPY, DROPEFFECT_NONE},
    };
    auto& target = window.dropTarget();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD effect = c.allowed;
        EXPECT_EQ(target.DragEnter(c.data, MK_LBUTTON, kOverWindow, &effect), S_OK);
        EXPECT_EQ(effect, c.expected) << "entering";
        for (LONG x : {10, 20}) {
            effect = c.allowed;
            EXPECT_EQ(target.DragOver(MK_LBUTTON, {x, 10}, &effect), S_OK);
            EXPECT_EQ(effect, c.expected) << "moving over";
        }
        EXPECT_EQ(target.DragLeave(), S_OK);
        EXPECT_EQ(c.data->refs(), 0u) << "let go when the drag leaves";
    }
    EXPECT_EQ(hops, 0);
    EXPECT_EQ(folder.Names(), std::set<fs::path>{});
}

// A handler that fails must not unwind into OLE, which called the drop.
TEST(DropTarget, AFailureInTheDropIsAnErrorWithNoEffect) {
    DataObject data(std::vector<std::wstring>{L"C:\\a.png"}, std::nullopt);
    struct Case {
        const char* name;
        std::function<void()> fail;
        HRESULT expected;
    };
    const Case cases[] = {
        {"out of memory", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"anything else", [] { throw std::runtime_error("x"); }, E_UNEXPECTED},
        {"not even an exception class", [] { throw 1; }, E_UNEXPECTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vexlo::ui::DropTarget target([&c](const auto&) { c.fail(); });
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        EXPECT_EQ(target.DragEnter(&data, MK_LBUTTON, kOverWindow, &effect), S_OK);
        EXPECT_EQ(target.Drop(&data, 0, kOverWindow, &effect), c.expected);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
        EXPECT_EQ(data.refs(), 0u);
    }
}

TEST_F(BatchWindowTest, ADropProcessesItsFilesInListOrderShowingEachOutcome) {
    const std::wstring missing = folder / L"missing.png";
    fs::create_directory(folder.path() / L"folder");
    struct File {
        std::wstring path;
        int picture;            // shown during its hop
        const wchar_t* output;  // the payload's copy beside it, if any
    };
    const std::vector<File> files = {
        {Copy(L"first.png", hidden), kSuccess, L"first.jpg"},
        {Copy(L"plain.png", PlainPng()), kNothingHidden, nullptr},
        {missing, kUnusable, nullptr},
        {folder / L"folder", kUnusable, nullptr},
        {Copy(L"empty.png", {}), kUnusable, nullptr},
        {Copy(L"second.png", hidden), kSuccess, L"second.jpg"},
    };
    std::set<fs::path> expectedNames = folder.Names();
    std::vector<std::wstring> paths;
    std::vector<int> expectedShown;
    for (const File& f : files) {
        paths.push_back(f.path);
        expectedShown.push_back(f.picture);
        if (f.output) expectedNames.insert(f.output);
    }
    ASSERT_EQ(ShownPicture(), kIdle);

    // A stop asked for before the drop belongs to no batch: the drop clears it.
    vexlo::app::StopFlag = true;
    auto& data = Files(paths);
    DragAndDrop(data);

    EXPECT_EQ(shown, expectedShown);
    EXPECT_EQ(busy, std::vector<bool>(files.size(), true));
    EXPECT_EQ(ShownPicture(), files.back().picture) << "the last outcome stays";
    EXPECT_EQ(beeps, 0);
    EXPECT_FALSE(vexlo::app::BusyFlag);
    EXPECT_FALSE(vexlo::app::StopFlag);
    EXPECT_EQ(folder.Names(), expectedNames);
    for (const File& f : files) {
        if (f.output) {
            EXPECT_EQ(ReadAll(folder.path() / f.output), payload) << f.output;
        }
    }
}

TEST_F(BatchWindowTest, ADropWithoutAFileListProcessesNothing) {
    // Text naming a usable file is still no file list.
    const std::wstring source = Copy(L"named.png", hidden);
    const auto before = folder.Names();
    vexlo::app::StopFlag = true;
    auto& data = Text(source);
    DragAndDrop(data);
    Pump(20);
    EXPECT_EQ(hops, 0);
    EXPECT_EQ(ShownPicture(), kIdle);
    EXPECT_EQ(folder.Names(), before);
    EXPECT_FALSE(vexlo::app::BusyFlag);
    EXPECT_FALSE(vexlo::app::StopFlag) << "it still counts as a batch, which clears the stop";
}

TEST_F(BatchWindowTest, ADropArrivingDuringABatchIsIgnoredForGood) {
    auto& first = Files({Copy(L"a.png", hidden), Copy(L"b.png", hidden)});
    auto& late = Files({Copy(L"c.png", hidden)});
    duringHop = [&](int hop, int step) {
        if (hop == 1 && step == 1) {
            DWORD effect = DROPEFFECT_COPY;
            window.dropTarget().DragEnter(&late, MK_LBUTTON, kOverWindow, &effect);
            EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY)) << "the drag itself is still offered a copy";
            window.dropTarget().Drop(&late, 0, kOverWindow, &effect);
        }
    };
    DragAndDrop(first);
    duringHop = nullptr;
    Pump(50);
    EXPECT_EQ(hops, 2);
    EXPECT_EQ(folder.Names(), (std::set<fs::path>{L"a.png", L"a.jpg", L"b.png", L"b.jpg", L"c.png"}));
    EXPECT_EQ(late.refs(), 0u);
    EXPECT_FALSE(vexlo::app::BusyFlag);

    // The same drop once the window is idle: the file was usable all along.
    DragAndDrop(late);
    EXPECT_EQ(hops, 3);
    EXPECT_EQ(folder.Names(), (std::set<fs::path>{L"a.png", L"a.jpg", L"b.png", L"b.jpg", L"c.png", L"c.jpg"}));
    EXPECT_EQ(ReadAll(folder / L"c.jpg"), payload);
}

TEST_F(BatchWindowTest, AClickDuringTheFirstHopStopsTheBatchAfterOneFileAndTheNextBatchRunsInFull) {
    auto& stopped = Files({Copy(L"x1.png", hidden), Copy(L"x2.png", hidden), Copy(L"x3.png", hidden)});
    duringHop = [&](int hop, int step) {
        // Queued as the mouse would queue it; the hop's own pump delivers it.
        if (hop == 1 && step == 1) ::PostMessageW(window.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(100, 30));
    };
    DragAndDrop(stopped);
    duringHop = nullptr;
    EXPECT_EQ(hops, 1);
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(vexlo::app::StopFlag) << "left set until the next batch";
    EXPECT_FALSE(vexlo::app::BusyFlag);
    EXPECT_EQ(folder.Names(), (std::set<fs::path>{L"x1.png", L"x1.jpg", L"x2.png", L"x3.png"}));

    auto& next = Files({Copy(L"y1.png", hidden), Copy(L"y2.png", PlainPng()), Copy(L"y3.png", hidden)});
    DragAndDrop(next);
    EXPECT_EQ(hops, 4);
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(vexlo::app::StopFlag);
    EXPECT_EQ(std::vector<int>(shown.begin() + 1, shown.end()), (std::vector<int>{kSuccess, kNothingHidden, kSuccess}));
    for (const wchar_t* out : {L"y1.jpg", L"y3.jpg"}) EXPECT_EQ(ReadAll(folder / out), payload) << out;
    EXPECT_FALSE(fs::exists(folder.path() / L"y2.jpg"));
}

void Report(const char* what, const vexlo::test::GuiObjectCounts& before, const vexlo::test::GuiObjectCounts& after,
            std::size_t wsBefore, std::size_t wsAfter) {
    std::cout << what << ": GR_GDIOBJECTS " << before.gdiObjects << " -> " << after.gdiObjects << ", GR_USEROBJECTS "
              << before.userObjects << " -> " << after.userObjects << ", live GDI objects " << before.liveGdiObjects
              << " -> " << after.liveGdiObjects << ", own windows " << before.ownWindows << " -> " << after.ownWindows
              << ", working set " << wsBefore << " -> " << wsAfter << " bytes\n";
    ::testing::Test::RecordProperty(
        "gdi_objects", std::to_string(before.liveGdiObjects) + " -> " + std::to_string(after.liveGdiObjects));
    ::testing::Test::RecordProperty("working_set", std::to_string(wsBefore) + " -> " + std::to_string(wsAfter));
}

constexpr std::size_t kWorkingSetSlack = 1 << 20;  // the working set is noisy; only real growth counts

TEST_F(BatchWindowTest, AThousandHopsLeaveTheWindowSystemResourcesAsTheyWere) {
    watchHops = false;
    int steps = 0;
    duringHop = [&](int, int) { ++steps; };
    window.frmIMG().WndPopUp();  // warm-up: whatever a first hop creates once
    const auto before = vexlo::test::CountGuiObjects();
    const std::size_t wsBefore = WorkingSet();
    for (int i = 0; i < 1000; ++i) window.frmIMG().WndPopUp();
    const std::size_t wsAfter = WorkingSet();
    const auto after = vexlo::test::CountGuiObjects();
    Report("1000 hops", before, after, wsBefore, wsAfter);

    EXPECT_EQ(steps, 1001 * vexlo::popup::BalloonWindow::kSteps) << "every hop ran in full";
    EXPECT_GT(before.liveGdiObjects, 0) << "the count sees the window's pictures";
    EXPECT_EQ(after, before);
    EXPECT_LT(wsAfter, wsBefore + kWorkingSetSlack);
}

TEST_F(BatchWindowTest, AHundredBatchesLeaveTheWindowSystemResourcesAsTheyWere) {
    watchHops = false;
    auto& data = Files({Copy(L"small.png", hidden)});
    const std::wstring output = folder / L"small.jpg";
    const auto batch = [&] {
        DragAndDrop(data);
        // Removed each time, so every batch writes the same name afresh.
        return ::DeleteFileW(output.c_str()) != FALSE;
    };
    ASSERT_TRUE(batch()) << "warm-up";
    const auto before = vexlo::test::CountGuiObjects();
    const std::size_t wsBefore = WorkingSet();
    int written = 0;
    for (int i = 0; i < 100; ++i) written += batch() ? 1 : 0;
    const std::size_t wsAfter = WorkingSet();
    const auto after = vexlo::test::CountGuiObjects();
    Report("100 batches", before, after, wsBefore, wsAfter);

    EXPECT_EQ(written, 100);
    EXPECT_EQ(hops, 101);
    EXPECT_EQ(after, before);
    EXPECT_LT(wsAfter, wsBefore + kWorkingSetSlack);
}

}  // namespace
