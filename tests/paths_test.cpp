// Path splitting and output naming as pure functions, with the file system
// replaced by a set of existing names and a fixed current directory.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/paths.h"
#include "platform/platform.h"

namespace vexlo {
namespace {

struct SplitCase {
    std::wstring path;
    bool ok;
    std::int32_t NameStart;
    std::int32_t RootEnd;
    std::int32_t DotPos;
};

TEST(WindowsSplitPath, RootsNamesAndExtensions) {
    // Positions start at -1 so untouched ones show.
    const SplitCase cases[] = {
        {L"C:\\pics\\photo.png", true, 9, 3, 14},
        {L"C:\\photo.png", true, 4, 3, 9},
        {L"c:\\a.b", true, 4, 3, 5},
        {L"C:\\x.y\\README", true, 8, 3, 14},
        {L"C:\\pics\\archive.tar.png", true, 9, 3, 20},
        {L"C:\\pics\\.png", true, 9, 3, 9},
        {L"\\\\srv\\share\\a.txt", true, 13, 12, 14},
        {L"\\\\srv\\share\\dir\\a.b.c", true, 17, 12, 20},
        {L"\\\\srv\\share", true, 7, -1, 12},  // no root found: share is the final component
        {L"\\single", false, -1, -1, -1},
        {L"_under", false, -1, -1, -1},
        {L"~tilde\\x", false, -1, -1, -1},
        {L"\u00e9t\u00e9\\x", false, -1, -1, -1},
        {L"C:", true, -1, -1, 3},        // a bare drive: no separator, nothing split
        {L"name.txt", true, -1, -1, 5},  // a bare name
        {L"1:\\x.y", true, 4, -1, 5},    // no root detection below 'A'
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        std::int32_t NameStart = -1;
        std::int32_t RootEnd = -1;
        std::int32_t DotPos = -1;
        EXPECT_EQ(WindowsSyntax::SplitPath(c.path, NameStart, RootEnd, DotPos), c.ok);
        EXPECT_EQ(NameStart, c.NameStart);
        EXPECT_EQ(RootEnd, c.RootEnd);
        EXPECT_EQ(DotPos, c.DotPos);
    }
}

TEST(WindowsSplitPath, NetworkPathWithoutShareSeparatorKeepsCallersRoot) {
    std::int32_t NameStart = 0;
    std::int32_t RootEnd = 0;
    std::int32_t DotPos = 0;
    ASSERT_TRUE(WindowsSyntax::SplitPath(L"\\\\srv\\share", NameStart, RootEnd, DotPos));
    EXPECT_EQ(RootEnd, 0);
    EXPECT_EQ(NameStart, 7);
    EXPECT_EQ(DotPos, 12);
}

// A fake Windows file system: a current directory and a set of existing paths.
struct FakeWindows {
    std::wstring cwd = L"C:\\work";
    std::set<std::wstring> existing;
    int fullPathCalls = 0;

    std::wstring Out(const std::wstring& source, std::string_view type, std::string_view suffix = {}) {
        const auto fullPath = [this](const std::wstring& p) -> std::optional<std::wstring> {
            ++fullPathCalls;
            if (p.size() >= 2 && (p[1] == L':' || p[0] == L'\\')) return p;
            return cwd + L"\\" + p;
        };
        const auto exists = [this](const std::wstring& p) { return existing.contains(p); };
        return MakeOutFileName<WindowsSyntax>(source, suffix, type, fullPath, exists);
    }
};

TEST(WindowsMakeOutFileName, FirstFreeNameBesideTheSource) {
    const struct {
        const char* name;
        std::wstring source;
        std::string_view type;
        std::set<std::wstring> existing;
        std::wstring expected;
        std::string_view suffix = {};
    } cases[] = {
        {"plain", L"C:\\pics\\photo.png", ".jpg", {}, L"C:\\pics\\photo.jpg"},
        {"taken", L"C:\\pics\\photo.png", ".jpg", {L"C:\\pics\\photo.jpg"}, L"C:\\pics\\photo(1).jpg"},
        {"two taken",
         L"C:\\pics\\photo.png",
         ".jpg",
         {L"C:\\pics\\photo.jpg", L"C:\\pics\\photo(1).jpg"},
         L"C:\\pics\\photo(2).jpg"},
        {"gap first",
         L"C:\\pics\\photo.png",
         ".jpg",
         {L"C:\\pics\\photo.jpg", L"C:\\pics\\photo(2).jpg"},
         L"C:\\pics\\photo(1).jpg"},
        {"same type as source", L"C:\\pics\\photo.png", ".png", {L"C:\\pics\\photo.png"}, L"C:\\pics\\photo(1).png"},
        {"only the last extension", L"C:\\pics\\archive.tar.png", ".gif", {}, L"C:\\pics\\archive.tar.gif"},
        {"no dot in the name", L"C:\\x.y\\README", ".dat", {}, L"C:\\x.y\\README.dat"},
        {"empty base name", L"C:\\pics\\.png", ".jpg", {}, L""},
        {"trailing backslash", L"C:\\pics\\", ".jpg", {}, L""},
        {"drive root", L"C:\\photo.png", ".jpg", {}, L"C:\\photo.jpg"},
        {"relative", L"photo.png", ".jpg", {}, L"C:\\work\\photo.jpg"},
        {"network share", L"\\\\srv\\share\\a.txt", ".bmp", {}, L"\\\\srv\\share\\a.bmp"},
        {"empty", L"", ".jpg", {}, L""},
        {"blanks only", L"   ", ".jpg", {}, L""},
        {"suffixed base",
         L"C:\\pics\\photo.png",
         ".png",
         {L"C:\\pics\\photo.png"},
         L"C:\\pics\\photo.recovered.png",
         ".recovered"},
        {"counter after the suffix",
         L"C:\\pics\\photo.png",
         ".png",
         {L"C:\\pics\\photo.guessed.png"},
         L"C:\\pics\\photo.guessed(1).png",
         ".guessed"},
        {"suffix on an empty base", L"C:\\pics\\.png", ".png", {}, L"", ".guessed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindows fs;
        fs.existing = c.existing;
        EXPECT_EQ(fs.Out(c.source, c.type, c.suffix), c.expected);
    }
}

TEST(WindowsMakeOutFileName, CounterStopsAtOneHundred) {
    FakeWindows fs;
    fs.existing.insert(L"C:\\pics\\photo.jpg");
    for (int n = 1; n <= 99; ++n) fs.existing.insert(L"C:\\pics\\photo(" + std::to_wstring(n) + L").jpg");
    EXPECT_EQ(fs.Out(L"C:\\pics\\photo.png", ".jpg"), L"C:\\pics\\photo(100).jpg");
    fs.existing.insert(L"C:\\pics\\photo(100).jpg");
    EXPECT_EQ(fs.Out(L"C:\\pics\\photo.png", ".jpg"), L"");
}

TEST(WindowsMakeOutFileName, BlankPathNeverReachesThePlatform) {
    FakeWindows fs;
    EXPECT_EQ(fs.Out(L"", ".jpg"), L"");
    EXPECT_EQ(fs.Out(L"  ", ".jpg"), L"");
    EXPECT_EQ(fs.fullPathCalls, 0);
    // A tab is not a blank: the platform is asked.
    fs.Out(L"\t", ".jpg");
    EXPECT_EQ(fs.fullPathCalls, 1);
}

TEST(WindowsMakeOutFileName, FullPathLimitIs254) {
    FakeWindows fs;
    // C:\ + directory + \ + a.png: choose the directory length for 254 and 255 characters.
    const std::wstring at254 = L"C:\\" + std::wstring(254 - 3 - 6, L'd') + L"\\a.png";
    const std::wstring at255 = L"C:\\" + std::wstring(255 - 3 - 6, L'd') + L"\\a.png";
    ASSERT_EQ(at254.size(), 254u);
    ASSERT_EQ(at255.size(), 255u);
    EXPECT_EQ(fs.Out(at254, ".jpg"), at254.substr(0, 250) + L".jpg");
    EXPECT_EQ(fs.Out(at255, ".jpg"), L"");
}

TEST(PosixSplitPath, RootIsSlash) {
    const struct {
        std::string path;
        bool ok;
        std::int32_t NameStart, RootEnd, DotPos;
    } cases[] = {
        {"/home/u/photo.png", true, 9, 1, 14}, {"/photo.png", true, 2, 1, 7},
        {"/a.b/README", true, 6, 1, 12},       {"/", true, 2, 1, 2},
        {"relative.png", false, -1, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::int32_t NameStart = -1;
        std::int32_t RootEnd = -1;
        std::int32_t DotPos = -1;
        EXPECT_EQ(PosixSyntax::SplitPath(c.path, NameStart, RootEnd, DotPos), c.ok);
        EXPECT_EQ(NameStart, c.NameStart);
        EXPECT_EQ(RootEnd, c.RootEnd);
        EXPECT_EQ(DotPos, c.DotPos);
    }
}

#ifndef _WIN32
TEST(PosixFullPathName, AbsoluteAndNormalisedAsText) {
    const std::string cwd = *platform::FullPathName(".");
    ASSERT_EQ(cwd.back(), '/');
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"/a/b/../c.png", "/a/c.png"}, {"//a///b/./c.png", "/a/b/c.png"}, {"/../..", "/"},
        {"/a/dir/", "/a/dir/"},        {"x.png", cwd + "x.png"},          {"./x/../y.png", cwd + "y.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(platform::FullPathName(c.in), c.out);
    }
    EXPECT_EQ(platform::FullPathName(""), std::nullopt);
}
#endif

}  // namespace
}  // namespace vexlo
