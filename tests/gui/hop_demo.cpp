// hop_demo [--hops N]
// Opens the main window at (20, 20) with the balloon, as the program does,
// prints the CPU time that creating both windows (and decoding the six
// pictures) took and the wall time of each hop.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "popup/balloon_window.h"
#include "ui/main_window.h"

namespace {

double CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](FILETIME t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

double WallMilliseconds() {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int hops = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--hops") == 0 && i + 1 < argc) {
            hops = std::wcstol(argv[++i], nullptr, 10);
        } else {
            return 2;
        }
    }

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const double cpuBefore = CpuMilliseconds();
    const double wallBefore = WallMilliseconds();
    vexlo::ui::MainWindow frmMAIN;
    vexlo::popup::BalloonWindow frmIMG;
    if (!frmMAIN.Create(instance) || !frmIMG.Load(instance, frmMAIN.Hwnd())) return 1;
    const double cpuAfter = CpuMilliseconds();
    const double wallAfter = WallMilliseconds();
    std::printf("create windows and load pictures: %.1f ms CPU, %.1f ms wall\n", cpuAfter - cpuBefore,
                wallAfter - wallBefore);

    ::SetWindowPos(frmMAIN.Hwnd(), HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    ::UpdateWindow(frmMAIN.Hwnd());
    for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < 300;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::Sleep(10);
    }

    for (int i = 0; i < hops; ++i) {
        const double start = WallMilliseconds();
        frmIMG.WndPopUp();
        std::printf("WndPopUp %d: %.1f ms\n", i + 1, WallMilliseconds() - start);
    }
    std::fflush(stdout);
    return 0;
}
