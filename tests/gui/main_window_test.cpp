// The main window as built: frame, client size, check boxes, key preview
// and what its client area shows for each status picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/app_state.h"
#include "codec/gif_decoder.h"
#include "res/resource.h"
#include "tests/support/canvas.h"
#include "tests/support/gui.h"
#include "ui/main_window.h"
#include "win/picture.h"

namespace {

using vexlo::test::Canvas;
using vexlo::test::Pump;
using vexlo::test::Rgb;
using vexlo::test::TypeKey;

constexpr int kClientWidth = 128;  // 1920 x 1635 twips at 15 twips per pixel
constexpr int kClientHeight = 109;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vexlo::test::CreateMainWindow(window));
        ASSERT_EQ(::GetDeviceCaps(vexlo::win32::WindowDc(nullptr).get(), LOGPIXELSX), 96)
            << "the pixel figures below hold for 96 DPI";
    }
    RECT ChildRect(HWND child) const {
        RECT r = {};
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(nullptr, window.Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    vexlo::ui::MainWindow window;
};

TEST_F(MainWindowTest, FixedFrameWithCaptionCloseBoxAndDesignClientSize) {
    const HWND hwnd = window.Hwnd();
    EXPECT_FALSE(::IsWindowVisible(hwnd)) << "created hidden; the program shows it";
    wchar_t caption[64] = {};
    ::GetWindowTextW(hwnd, caption, 64);
    EXPECT_EQ(std::wstring(caption), L"vexlo v0.91b");
    EXPECT_EQ(vexlo::test::ClassName(hwnd), vexlo::test::kMainWindowClass) << "the class the probe finds it by";

    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
    EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);

    RECT client = {};
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, kClientWidth);
    EXPECT_EQ(client.bottom, kClientHeight);
    // The frame is what AdjustWindowRectEx adds, nothing more.
    RECT outer = {}, expected = client;
    ::GetWindowRect(hwnd, &outer);
    ::AdjustWindowRectEx(&expected, style, FALSE, static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE)));
    EXPECT_EQ(outer.right - outer.left, expected.right - expected.left);
    EXPECT_EQ(outer.bottom - outer.top, expected.bottom - expected.top);

    EXPECT_NE(::GetClassLongPtrW(hwnd, GCLP_HICON), 0u) << "the program icon";
    EXPECT_NE(::GetClassLongPtrW(hwnd, GCLP_HICONSM), 0u);
}

TEST_F(MainWindowTest, StartUpPutsTheWindowAtTheRightEdgeInFrontWithTheJapaneseFace) {
    RECT outer = {};
    ::GetWindowRect(window.Hwnd(), &outer);
    EXPECT_EQ(outer.right, ::GetSystemMetrics(SM_CXSCREEN)) << "right edge on the screen's right edge";
    EXPECT_EQ(outer.top, 45);
    EXPECT_TRUE(::GetWindowLongPtrW(window.Hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(::GetWindowLongPtrW(window.frmIMG().Hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST) << "the balloon is loaded";
    EXPECT_FALSE(::IsWindowVisible(window.frmIMG().Hwnd()));

    for (const HWND control : {window.Hwnd(), window.chkTOP(), window.chkVIEW()}) {
        const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTW face = {};
        ASSERT_NE(::GetObjectW(font, sizeof(face), &face), 0);
        EXPECT_EQ(std::wstring(face.lfFaceName), L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
        EXPECT_EQ(face.lfHeight, -12) << "9 points at 96 DPI";
        EXPECT_EQ(face.lfWeight, FW_NORMAL);
        EXPECT_FALSE(face.lfItalic || face.lfUnderline || face.lfStrikeOut);
    }
}

TEST_F(MainWindowTest, KeepInFrontFollowsEachClickOnItsBoxWithoutMovingTheWindow) {
    ::ShowWindow(window.Hwnd(), SW_SHOWNA);
    Pump();
    RECT before = {};
    ::GetWindowRect(window.Hwnd(), &before);
    const auto topmost = [&] { return (::GetWindowLongPtrW(window.Hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    ::SendMessageW(window.chkTOP(), BM_CLICK, 0, 0);
    EXPECT_EQ(::SendMessageW(window.chkTOP(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_FALSE(topmost());
    ::SendMessageW(window.chkTOP(), BM_CLICK, 0, 0);
    EXPECT_EQ(::SendMessageW(window.chkTOP(), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(topmost());
    EXPECT_TRUE(::GetWindowLongPtrW(window.frmIMG().Hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST)
        << "the balloon stays in front";
    RECT after = {};
    ::GetWindowRect(window.Hwnd(), &after);
    EXPECT_TRUE(::EqualRect(&before, &after));
}

TEST_F(MainWindowTest, CheckBoxesSitWhereDesignedWithTheirCaptionsAndStates) {
    struct Case {
        const char* name;
        HWND hwnd;
        const wchar_t* caption;
        RECT rect;  // pixels in the client area
        LRESULT check;
    };
    const Case cases[] = {
        {"chkTOP", window.chkTOP(), L"\u624B\u524D\u306B\u8868\u793A", {2, 78, 2 + 81, 78 + 13}, BST_CHECKED},
        // Unticked at design, ticked by every start-up.
        {"chkVIEW", window.chkVIEW(), L"Viewer\u3092\u8D77\u52D5", {2, 94, 2 + 89, 94 + 13}, BST_CHECKED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.hwnd, nullptr);
        EXPECT_EQ(::GetParent(c.hwnd), window.Hwnd());
        wchar_t text[64] = {};
        ::GetWindowTextW(c.hwnd, text, 64);
        EXPECT_EQ(std::wstring(text), c.caption);
        const RECT r = ChildRect(c.hwnd);
        EXPECT_EQ(r.left, c.rect.left);
        EXPECT_EQ(r.top, c.rect.top);
        EXPECT_EQ(r.right, c.rect.right);
        EXPECT_EQ(r.bottom, c.rect.bottom);
        EXPECT_EQ(::SendMessageW(c.hwnd, BM_GETCHECK, 0, 0), c.check);
        const auto style = static_cast<DWORD>(::GetWindowLongPtrW(c.hwnd, GWL_STYLE));
        EXPECT_EQ(style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));
    }
    // Tab order 0 then 1.
    EXPECT_EQ(::GetNextDlgTabItem(window.Hwnd(), nullptr, FALSE), window.chkTOP());
    EXPECT_EQ(::GetNextDlgTabItem(window.Hwnd(), window.chkTOP(), FALSE), window.chkVIEW());
}

TEST_F(MainWindowTest, KeyPreviewHandsEveryTypedCharacterToTheWindowFirst) {
    const HWND hwnd = window.Hwnd();
    ::ShowWindow(hwnd, SW_SHOW);
    Pump(50);

    std::wstring seen;
    window.hooks.keyPress = [&](int& KeyAscii) { seen += static_cast<wchar_t>(KeyAscii); };
    struct Case {
        const char* name;
        HWND focus;
        WORD vk;
        wchar_t expected;
    };
    const Case cases[] = {
        {"window", hwnd, 'A', L'a'},
        {"chkTOP", window.chkTOP(), 'B', L'b'},
        {"chkVIEW", window.chkVIEW(), VK_RETURN, L'\r'},
        {"chkVIEW", window.chkVIEW(), VK_ESCAPE, L'\x1b'},
        {"chkTOP", window.chkTOP(), VK_SPACE, L' '},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        seen.clear();
        TypeKey(c.focus, c.vk);
        Pump();
        EXPECT_EQ(seen, std::wstring(1, c.expected));
    }
    // Keys that type nothing (a bare Shift) are no key presses.
    seen.clear();
    TypeKey(hwnd, VK_SHIFT);
    Pump();
    EXPECT_TRUE(seen.empty());
    // Tab, through the program loop's dialog navigation, moves the focus
    // from box to box and round, and is no key press.
    ::SetFocus(window.chkTOP());
    for (const HWND next : {window.chkVIEW(), window.chkTOP()}) {
        TypeKey(::GetFocus(), VK_TAB);
        Pump(0, hwnd);
        EXPECT_EQ(::GetFocus(), next);
    }
    EXPECT_TRUE(seen.empty());
}

TEST_F(MainWindowTest, ClicksOnTheWindowReachItsHandlersButClicksOnCheckBoxesDoNot) {
    int clicks = 0, doubleClicks = 0;
    window.hooks.click = [&] { ++clicks; };
    window.hooks.dblClick = [&] { ++doubleClicks; };
    const LPARAM onBackground = MAKELPARAM(100, 30);
    ::SendMessageW(window.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, onBackground);
    ::SendMessageW(window.Hwnd(), WM_LBUTTONUP, 0, onBackground);
    ::SendMessageW(window.Hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, onBackground);
    EXPECT_TRUE(vexlo::app::StopFlag) << "a click on the window asks for a stop";
    vexlo::app::StopFlag = false;
    ::SendMessageW(window.chkVIEW(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ::SendMessageW(window.chkVIEW(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(::SendMessageW(window.chkVIEW(), BM_GETCHECK, 0, 0), BST_UNCHECKED) << "the box took its own click";
    EXPECT_FALSE(vexlo::app::StopFlag) << "and it was no stop gesture";
}

// Colour families of the signs, loose enough to survive retouching.
bool IsBlue(Rgb c) { return c.b >= 160 && c.r < 100 && c.g < 100; }
bool IsYellow(Rgb c) { return c.r >= 200 && c.g >= 200 && c.b < 100; }
bool IsRed(Rgb c) { return c.r >= 200 && c.g < 80 && c.b < 80; }
bool IsDarkRed(Rgb c) { return c.r >= 100 && c.r < 200 && c.g < 40 && c.b < 40; }
bool IsWhite(Rgb c) { return c.r == 255 && c.g == 255 && c.b == 255; }
bool IsBlack(Rgb c) { return c.r == 0 && c.g == 0 && c.b == 0; }
bool IsShadowGrey(Rgb c) { return c.r == c.g && c.g == c.b && c.r >= 96 && c.r <= 160; }

struct SignCase {
    int picture;
    std::vector<std::pair<const char*, bool (*)(Rgb)>> colours;
};

constexpr RECT kSign = {10, 9, 42, 41};
constexpr RECT kSheet = {48, 29, 80, 61};  // the sheet drawing in the lower right corner of every picture

// The client area as designed: the picture at natural size in the top left
// corner, the background through every transparent pixel and everywhere
// beside and below it.
auto AsDesigned(const vexlo::codec::GifImage& image, Rgb background) {
    return [&image, background](int x, int y, Rgb pixel) {
        const bool inPicture = x < image.width && y < image.height;
        const std::uint32_t gif = inPicture ? image.pixels[static_cast<std::size_t>(y * image.width + x)] : 0;
        return pixel == (inPicture && (gif >> 24) ? vexlo::test::FromArgb(gif) : background);
    };
}

TEST_F(MainWindowTest, EachStatusPictureShowsItsSignAndTheBackgroundThroughItsTransparentParts) {
    const Rgb background = vexlo::test::FromColorref(::GetSysColor(COLOR_BTNFACE));
    const SignCase cases[] = {
        {3, {{"blue", IsBlue}, {"white", IsWhite}, {"black", IsBlack}, {"shadow", IsShadowGrey}}},
        {0, {{"blue", IsBlue}, {"white", IsWhite}, {"black", IsBlack}, {"shadow", IsShadowGrey}}},
        {1, {{"yellow", IsYellow}, {"black", IsBlack}, {"shadow", IsShadowGrey}}},
        {2, {{"red", IsRed}, {"dark red", IsDarkRed}, {"white", IsWhite}, {"shadow", IsShadowGrey}}},
        {4, {}},
    };
    for (const SignCase& c : cases) {
        SCOPED_TRACE("picture " + std::to_string(c.picture));
        window.SetPicture(c.picture);
        const auto image =
            vexlo::codec::DecodeGif(vexlo::win::GifResourceBytes(::GetModuleHandleW(nullptr), IDG_INFO0 + c.picture));
        ASSERT_TRUE(image);
        ASSERT_EQ(image->width, 80);
        ASSERT_EQ(image->height, 61);

        Canvas canvas(kClientWidth, kClientHeight);
        ASSERT_TRUE(canvas.ok());
        ::SendMessageW(window.Hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()),
                       PRF_CLIENT | PRF_ERASEBKGND);

        const auto wrong = canvas.Differences({0, 0, kClientWidth, kClientHeight}, AsDesigned(*image, background));
        for (std::size_t i = 0; i < std::min<std::size_t>(wrong.size(), 5); ++i)
            ADD_FAILURE() << "pixel (" << wrong[i].x << ", " << wrong[i].y << ")";
        EXPECT_EQ(wrong.size(), 0u);

        for (const auto& [name, is] : c.colours) EXPECT_GT(canvas.Count(kSign, is), 8) << name;
        if (c.colours.empty()) {
            ASSERT_EQ(canvas.Count(kSign, [&](Rgb pixel) { return pixel == background; }), 32 * 32)
                << "idle has no sign";
        }
        EXPECT_GT(canvas.Count(kSheet, IsWhite), 100);
    }
}

TEST_F(MainWindowTest, TransparentPixelsLeaveWhateverWasPaintedBefore) {
    // A colour the artwork never uses, laid down before the picture: it
    // must show through exactly the transparent pixels, and only there.
    const Rgb underlay = {1, 2, 3};
    for (int n = 0; n < vexlo::ui::MainWindow::kPictureCount; ++n) {
        SCOPED_TRACE("picture " + std::to_string(n));
        window.SetPicture(n);
        const auto image =
            vexlo::codec::DecodeGif(vexlo::win::GifResourceBytes(::GetModuleHandleW(nullptr), IDG_INFO0 + n));
        ASSERT_TRUE(image);
        Canvas canvas(image->width, image->height);
        canvas.Fill(underlay);
        ::SendMessageW(window.Hwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
        const auto clear = [](std::uint32_t argb) { return (argb >> 24) == 0; };
        EXPECT_GT(std::count_if(image->pixels.begin(), image->pixels.end(), clear), 80 * 61 / 3);
        const auto wrong = canvas.Differences({0, 0, image->width, image->height}, [&](int x, int y, Rgb pixel) {
            return (pixel == underlay) == clear(image->pixels[static_cast<std::size_t>(y * image->width + x)]);
        });
        EXPECT_EQ(wrong.size(), 0u);
    }
}

TEST_F(MainWindowTest, TheShownWindowPaintsTheIdlePictureOnScreen) {
    const HWND hwnd = window.Hwnd();
    ::SetWindowPos(hwnd, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    ::UpdateWindow(hwnd);
    Pump(100);
    // Read back through the window's own DC: what the window system holds.
    Canvas canvas(kClientWidth, kClientHeight);
    ::BitBlt(canvas.dc(), 0, 0, kClientWidth, kClientHeight, vexlo::win32::WindowDc(hwnd).get(), 0, 0, SRCCOPY);
    const auto image = vexlo::codec::DecodeGif(
        vexlo::win::GifResourceBytes(::GetModuleHandleW(nullptr), IDG_INFO0 + vexlo::ui::MainWindow::kIdlePicture));
    ASSERT_TRUE(image);
    const Rgb background = vexlo::test::FromColorref(::GetSysColor(COLOR_BTNFACE));
    // Down to the first check box.
    EXPECT_EQ(canvas.Differences({0, 0, kClientWidth, 77}, AsDesigned(*image, background)).size(), 0u);
}

TEST_F(MainWindowTest, StatusPicturesExistForIndicesZeroToFourOnly) {
    for (int n = -1; n <= 5; ++n) {
        const vexlo::win::Picture* const p = window.StatusPicture(n);
        if (n < 0 || n > 4) {
            EXPECT_EQ(p, nullptr) << n;
            continue;
        }
        ASSERT_NE(p, nullptr) << n;
        EXPECT_EQ(p->Width(), 80);
        EXPECT_EQ(p->Height(), 61);
    }
}

}  // namespace
