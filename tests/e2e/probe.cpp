// e2e_probe: looks at a running vexlo.exe from another process, for the
// host-side end-to-end test. One subcommand per run; times in milliseconds.
//
//   window TIMEOUT               wait for the main window to be shown, then print
//                                "rect L T R B", "screen W H", "topmost 0|1", "iconic 0|1"
//   picture [EXPECTED TIMEOUT]   print the status picture shown (0..4, -1 for none);
//                                with EXPECTED, poll until it is shown or time runs out
//   click-on-hop TIMEOUT READY   create the file READY, wait for the balloon to show,
//   close-on-hop TIMEOUT READY   then click the window's background / close the window
//   click-top                    click the keep-in-front box: "before 0|1 after 0|1 checked 0|1"
//   close TIMEOUT                close every main window, ending its process (forcibly
//                                once TIMEOUT has passed); print "closed N"
//   drag EFFECTS TIMEOUT FILE... drag FILE... (a CF_HDROP list) from this process onto
//                                the main window's background, the source allowing
//                                EFFECTS (DROPEFFECT bits), and drop it there; print
//                                "effect N", what DoDragDrop hands back to the source
//
// Exit status 0 when the condition was met, 1 on a timeout, 2 on a usage error.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32/handles.h"
#include "res/resource.h"
#include "tests/support/canvas.h"
#include "tests/support/data_object.h"
#include "tests/support/gui.h"
#include "win/com_ptr.h"
#include "win/picture.h"

namespace {

using vexlo::test::Canvas;
using vexlo::test::Rgb;
constexpr int kPictureCount = 5;
constexpr int kPictureWidth = 80;
constexpr int kPictureHeight = 61;
// Client point right of the picture and above the check boxes.
constexpr POINT kBackground = {110, 30};
constexpr DWORD kPollMilliseconds = 5;

HWND MainWindow() { return ::FindWindowW(vexlo::test::kMainWindowClass, nullptr); }

bool IsTopmost(HWND hwnd) { return (::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

// Polls `done` until it holds or `timeout` has passed; true when it held.
bool WaitFor(DWORD timeout, const std::function<bool()>& done) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done()) return true;
        if (::GetTickCount() - start >= timeout) return false;  // unsigned: safe across the wrap
        ::Sleep(kPollMilliseconds);
    }
}

// Says "no window" when none was shown in time.
HWND WaitForShownMainWindow(DWORD timeout) {
    HWND hwnd = nullptr;
    WaitFor(timeout, [&] {
        hwnd = MainWindow();
        return hwnd && ::IsWindowVisible(hwnd);
    });
    if (hwnd && ::IsWindowVisible(hwnd)) return hwnd;
    std::puts("no window");
    return nullptr;
}

// The status pictures as the window draws them: each over the window's
// background colour.
class PictureMatcher {
public:
    PictureMatcher() {
        const HMODULE self = ::GetModuleHandleW(nullptr);
        const auto background = vexlo::test::FromColorref(::GetSysColor(COLOR_BTNFACE));
        for (int n = 0; n < kPictureCount; ++n) {
            Canvas canvas(kPictureWidth, kPictureHeight);
            canvas.Fill(background);
            if (const auto picture = vexlo::win::Picture::FromResource(self, IDG_INFO0 + n))
                picture->Draw(canvas.dc(), 0, 0);
            expected_[static_cast<std::size_t>(n)] = canvas.Pixels();
        }
    }

    // The picture in the top left corner of the window's client area, or
    // -1 when it is none of them (covered, minimized, not painted yet).
    int Shown(HWND hwnd) const {
        Canvas actual(kPictureWidth, kPictureHeight);
        {
            const vexlo::win32::WindowDc window(hwnd);
            if (!actual.ok() || !window.get() ||
                !::BitBlt(actual.dc(), 0, 0, kPictureWidth, kPictureHeight, window.get(), 0, 0, SRCCOPY))
                return -1;
        }
        const auto match = std::find(expected_.begin(), expected_.end(), actual.Pixels());
        return match == expected_.end() ? -1 : static_cast<int>(match - expected_.begin());
    }

private:
    std::array<std::vector<Rgb>, kPictureCount> expected_;
};

bool CreateMarker(const wchar_t* path) {
    const vexlo::win32::UniqueFile file(
        ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

int Window(DWORD timeout) {
    const HWND hwnd = WaitForShownMainWindow(timeout);
    if (!hwnd) return 1;
    RECT r = {};
    ::GetWindowRect(hwnd, &r);
    std::printf("rect %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    std::printf("screen %d %d\n", ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    std::printf("topmost %d\n", IsTopmost(hwnd) ? 1 : 0);
    std::printf("iconic %d\n", ::IsIconic(hwnd) ? 1 : 0);
    return 0;
}

int Picture(std::optional<int> expected, DWORD timeout) {
    const HWND hwnd = WaitForShownMainWindow(timeout);
    if (!hwnd) return 1;
    const PictureMatcher matcher;
    int shown = -1;
    const bool met = WaitFor(expected ? timeout : 0, [&] {
        shown = matcher.Shown(hwnd);
        return !expected || shown == *expected;
    });
    std::printf("%d\n", shown);
    return met ? 0 : 1;
}

int OnHop(DWORD timeout, const wchar_t* ready, bool close) {
    if (!CreateMarker(ready)) return 2;
    HWND main = nullptr;
    const bool hopping = WaitFor(timeout, [&] {
        main = MainWindow();
        const HWND balloon = ::FindWindowW(vexlo::test::kBalloonClass, nullptr);
        return main && balloon && ::IsWindowVisible(balloon);
    });
    if (!hopping) {
        std::puts("no hop");
        return 1;
    }
    if (close) {
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        std::puts("closed");
    } else {
        const LPARAM at = MAKELPARAM(kBackground.x, kBackground.y);
        ::PostMessageW(main, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(main, WM_LBUTTONUP, 0, at);
        std::puts("clicked");
    }
    return 0;
}

int ClickTop() {
    const HWND main = MainWindow();
    const HWND box = main ? ::GetDlgItem(main, IDC_CHKTOP) : nullptr;
    if (!box) {
        std::puts("no window");
        return 1;
    }
    const int before = IsTopmost(main) ? 1 : 0;
    ::SendMessageW(box, BM_CLICK, 0, 0);
    const int checked = ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    std::printf("before %d after %d checked %d\n", before, IsTopmost(main) ? 1 : 0, checked);
    return 0;
}

int Close(DWORD timeout) {
    // Closing a window ends its process; the next one is found afterwards.
    // The bound only keeps a window that will not go from holding us here.
    constexpr int kMostWindows = 16;
    int closed = 0;
    bool allEnded = true;
    for (HWND hwnd = MainWindow(); hwnd && closed < kMostWindows; hwnd = MainWindow()) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hwnd, &pid);
        const vexlo::win32::UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        ++closed;
        if (!process) {
            allEnded = WaitFor(timeout, [&] { return !::IsWindow(hwnd); }) && allEnded;
        } else if (::WaitForSingleObject(process.get(), timeout) != WAIT_OBJECT_0) {
            allEnded = false;
            ::TerminateProcess(process.get(), 1);
            ::WaitForSingleObject(process.get(), timeout);
        }
    }
    std::printf("closed %d\n", closed);
    return allEnded ? 0 : 1;
}

// Lets go of the drag after a few polls, so the target has been entered and
// moved over first. No mouse button is held: the drag ends when this says so.
class DropSource final : public IDropSource {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource)) {
            *object = static_cast<IDropSource*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The object lives on this function's stack for the whole drag.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override {
        constexpr int kPollsBeforeTheDrop = 4;
        if (escape) return DRAGDROP_S_CANCEL;
        return ++polls_ >= kPollsBeforeTheDrop ? DRAGDROP_S_DROP : S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    int polls_ = 0;
};

// Wine's DoDragDrop polls the cursor on a timer, so putting the cursor over
// the window is the whole gesture.
int Drag(DWORD allowed, DWORD timeout, std::vector<std::wstring> files) {
    const HWND hwnd = WaitForShownMainWindow(timeout);
    if (!hwnd) return 1;
    POINT over = kBackground;
    ::ClientToScreen(hwnd, &over);
    ::SetCursorPos(over.x, over.y);
    const vexlo::win::OleSession ole;
    vexlo::test::DataObject data(std::move(files), std::nullopt);
    DropSource source;
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT hr = ::DoDragDrop(&data, &source, allowed, &effect);
    // A refused drop may come back as dropped with no effect or as cancelled.
    if (hr != DRAGDROP_S_DROP && hr != DRAGDROP_S_CANCEL) {
        std::printf("DoDragDrop 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("effect %lu\n", static_cast<unsigned long>(effect));
    return 0;
}

DWORD Milliseconds(const wchar_t* text) { return static_cast<DWORD>(std::wcstoul(text, nullptr, 10)); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring_view> args(argv + 1, argv + argc);
    const auto is = [&](std::wstring_view command, std::size_t count) {
        return args.size() == count + 1 && args[0] == command;
    };
    if (is(L"window", 1)) return Window(Milliseconds(argv[2]));
    if (is(L"picture", 0)) return Picture(std::nullopt, 0);
    if (is(L"picture", 2)) return Picture(static_cast<int>(std::wcstol(argv[2], nullptr, 10)), Milliseconds(argv[3]));
    if (is(L"click-on-hop", 2)) return OnHop(Milliseconds(argv[2]), argv[3], false);
    if (is(L"close-on-hop", 2)) return OnHop(Milliseconds(argv[2]), argv[3], true);
    if (is(L"click-top", 0)) return ClickTop();
    if (is(L"close", 1)) return Close(Milliseconds(argv[2]));
    if (args.size() >= 4 && args[0] == L"drag") {
        return Drag(Milliseconds(argv[2]), Milliseconds(argv[3]), std::vector<std::wstring>(argv + 4, argv + argc));
    }
    std::fputs("usage: e2e_probe window|picture|click-on-hop|close-on-hop|click-top|close|drag ...\n", stderr);
    return 2;
}
