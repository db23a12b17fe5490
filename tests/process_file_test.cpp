// ProcessFile over real files in a fresh temporary directory, on the real
// platform layer (POSIX natively, Win32 under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/extract.h"
#include "engine/output_writer.h"
#include "engine/paths.h"
#include "platform/temporary_name.h"
#include "tests/support/png_bytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vexlo::test {
namespace {

class ProcessFileTest : public ::testing::Test {
protected:
    fs::path Write(const fs::path& name, const Bytes& bytes) { return dir_.Write(name, bytes); }
    static Bytes Read(const fs::path& path) { return test::ReadFileBytes(path); }
    std::set<fs::path> Files() const { return dir_.Names(); }
    ProcessResult Process(const fs::path& path) { return engine_.ProcessFile(path.native(), {}); }
    // Processes `source`, which must write exactly `trailer` to `output` beside it.
    void ExpectOutput(const fs::path& source, const fs::path& output, const Bytes& trailer) {
        ASSERT_EQ(Process(source), resDONE);
        EXPECT_EQ(fs::path(engine_.OutFileName), dir_ / output);
        EXPECT_EQ(Read(dir_ / output), trailer);
    }

    test::TempFolder dir_;
    Engine engine_;
};

// A PNG of exactly `total` bytes whose trailer is a JFIF JPEG.
Bytes PngOfSize(std::size_t total) {
    const Bytes png = test::SmallPng();
    Bytes file = png + test::Jfif(total - png.size() - test::Jfif(0).size());
    EXPECT_EQ(file.size(), total);
    return file;
}

TEST_F(ProcessFileTest, EachResultCode) {
    const Bytes png = test::SmallPng();
    const NamedBytes<ProcessResult> cases[] = {
        {"ok.png", png + test::Jfif(), resDONE},
        {"empty.png", {}, resNOTPNG},
        {"seven.png", Bytes(test::kSignature.begin(), test::kSignature.begin() + 7), resNOTPNG},
        {"text.png", Ascii("this is not a PNG image at all"), resNOTPNG},
        {"signature.png", test::kSignature, resNOTRAIL},
        {"plain.png", png, resNOTRAIL},
        {"cut.png", Bytes(png.begin(), png.end() - 1), resNOTRAIL},
        {".png", png + Ascii("x"), resNONAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path source = Write(c.name, c.bytes);
        const auto before = Files();
        EXPECT_EQ(Process(source), c.expected);
        if (c.expected != resDONE) {
            EXPECT_EQ(Files(), before) << "nothing may be written";
        }
        EXPECT_EQ(Read(source), c.bytes) << "the source is never modified";
    }
    EXPECT_EQ(Process(dir_ / "missing.png"), resNOFILE);
    EXPECT_EQ(Process(fs::path()), resNOFILE);
    fs::create_directory(dir_ / "folder.png");
    EXPECT_EQ(Process(dir_ / "folder.png"), resNOREAD);
}

TEST_F(ProcessFileTest, OutputIsExactlyTheTrailingBytesUnderATypedName) {
    const Bytes png = test::SmallPng();
    const struct {
        const char* source;
        Bytes trailer;
        const char* output;
    } cases[] = {
        {"a.png", test::Jfif(500), "a.jpg"},
        {"b.png", Ascii("GIF89a") + Bytes(100, 7), "b.gif"},
        {"c.png", Ascii("BM") + Bytes(54, 0), "c.bmp"},
        {"d.png", png + Ascii("nested"), "d(1).png"},  // the source itself holds d.png
        {"e.png", Bytes{0x42}, "e.dat"},
        {"f.tar.png", Bytes(3000, 0), "f.tar.dat"},
        {"README", Ascii("text"), "README.dat"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        ExpectOutput(Write(c.source, png + c.trailer), c.output, c.trailer);
    }
}

TEST_F(ProcessFileTest, ViewerOpensWrittenImagesOnlyWhenTicked) {
    const Bytes png = test::SmallPng();
    const struct {
        const char* source;
        Bytes trailer;
        int chkVIEW;
        const char* opened;  // null: no launch
    } cases[] = {
        {"a.png", test::Jfif(), kChecked, "a.jpg"},
        {"b.png", Ascii("GIF89a") + Bytes(9, 7), kChecked, "b.gif"},
        {"c.png", Ascii("BM") + Bytes(54, 0), kChecked, "c.bmp"},
        {"d.png", png, kChecked, "d(1).png"},
        {"e.png", Ascii("plain data"), kChecked, nullptr},
        {"f.png", test::Jfif(), 0, nullptr},
        {"g.png", test::Jfif(), 2, nullptr},    // greyed is not ticked
        {"h.png", Bytes(), kChecked, nullptr},  // nothing written, nothing opened
    };
    int owner = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        std::vector<std::pair<fs::path, platform::WindowHandle>> opened;
        const ViewerSettings viewer{c.chkVIEW, &owner,
                                    [&opened](const platform::Path& path, platform::WindowHandle window) {
                                        opened.emplace_back(path, window);
                                    }};
        engine_.ProcessFile(Write(c.source, png + c.trailer).native(), viewer);
        if (c.opened) {
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_EQ(opened[0].first, dir_ / c.opened);
            EXPECT_EQ(opened[0].second, &owner);
        } else {
            EXPECT_TRUE(opened.empty());
        }
    }
}

TEST_F(ProcessFileTest, SizeLimitIs2048000Bytes) {
    const fs::path atLimit = Write("limit.png", PngOfSize(2'048'000));
    const fs::path overLimit = Write("over.png", PngOfSize(2'048'001));
    EXPECT_EQ(Process(overLimit), resNOREAD);
    EXPECT_FALSE(fs::exists(dir_ / "over.jpg"));
    ASSERT_EQ(Process(atLimit), resDONE);
    EXPECT_EQ(fs::file_size(dir_ / "limit.jpg"), 2'048'000u - test::SmallPng().size());
}

TEST_F(ProcessFileTest, RepeatedRunsNeverOverwriteAndStopAfterOneHundred) {
    const Bytes trailer = test::Jfif(64);
    const fs::path source = Write("photo.png", test::SmallPng() + trailer);
    Write("photo(2).jpg", Ascii("keep me"));
    fs::create_directory(dir_ / "photo(3).jpg");  // a directory takes a name too

    std::vector<fs::path> outputs;
    for (int i = 0; i < 101 - 2; ++i) {
        ASSERT_EQ(Process(source), resDONE) << "run " << i;
        outputs.push_back(fs::path(engine_.OutFileName).filename());
    }
    EXPECT_EQ(outputs[0], "photo.jpg");
    EXPECT_EQ(outputs[1], "photo(1).jpg");
    EXPECT_EQ(outputs[2], "photo(4).jpg");
    EXPECT_EQ(outputs.back(), "photo(100).jpg");
    for (const fs::path& out : outputs) EXPECT_EQ(Read(dir_ / out), trailer) << out;
    EXPECT_EQ(Read(dir_ / "photo(2).jpg"), Ascii("keep me"));

    const auto before = Files();
    EXPECT_EQ(Process(source), resNONAME);
    EXPECT_EQ(Files(), before);
}

// The writer's claim: the name is taken when the output is committed, not
// when it is chosen; a file that took it meanwhile moves the output to the
// next free name; a temporary left by a killed run never takes or blocks one.
TEST_F(ProcessFileTest, CommitClaimsTheFirstNameFreeAtThatMoment) {
    struct Case {
        const char* name;
        std::vector<std::string> before;     // files there before the name is chosen
        std::vector<std::string> meanwhile;  // files made between the choice and the commit
        ProcessResult result;
        std::string output;
    };
    std::vector<std::string> all = {"a.gif"};
    for (int n = 1; n <= 100; ++n) all.push_back("a(" + std::to_string(n) + ").gif");
    const Case cases[] = {
        {"free", {}, {}, resDONE, "a.gif"},
        {"left-over temporaries", {".a.gif.vexlo-0a1b2c.part", ".a(1).gif.vexlo-zzzzzz.part"}, {}, resDONE, "a.gif"},
        {"taken meanwhile", {}, {"a.gif"}, resDONE, "a(1).gif"},
        {"two taken meanwhile", {"a.gif"}, {"a(1).gif", "a(2).gif"}, resDONE, "a(3).gif"},
        {"every name taken meanwhile", {}, all, resNONAME, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder dir;
        const fs::path source = dir.Write("a.png", test::SmallPng() + Ascii("GIF87a"));
        for (const std::string& name : c.before) dir.Write(name, Ascii("there before"));
        OutputWriter out;
        ASSERT_EQ(out.Choose(source.native(), {}, ".gif"), resDONE);
        ASSERT_EQ(out.Open(), resDONE);
        ASSERT_TRUE(out.Write(Ascii("GIF87a")));
        for (const std::string& name : c.meanwhile) dir.Write(name, Ascii("made meanwhile"));
        std::set<fs::path> expected = {"a.png"};
        expected.insert(c.before.begin(), c.before.end());
        expected.insert(c.meanwhile.begin(), c.meanwhile.end());
        EXPECT_EQ(out.Commit(), c.result);
        EXPECT_EQ(fs::path(out.Name()).filename(), fs::path(c.output));
        auto after = expected;
        if (!c.output.empty()) after.insert(c.output);
        EXPECT_EQ(dir.Names(), after) << "no temporary left, nothing replaced";
        if (!c.output.empty()) {
            EXPECT_EQ(Read(dir.path() / c.output), Ascii("GIF87a"));
        }
        for (const std::string& name : c.meanwhile) EXPECT_EQ(Read(dir.path() / name), Ascii("made meanwhile"));
    }
}

// Outputs that go together appear both or neither: when the second's every
// name is taken by the time of the commit, the first, claimed a moment
// before, goes again.
TEST_F(ProcessFileTest, OutputsCommittedTogetherAppearBothOrNeither) {
    const fs::path source = Write("b.png", test::SmallPng());
    for (const bool blocked : {false, true}) {
        SCOPED_TRACE(blocked ? "second blocked" : "both free");
        auto after = Files();
        std::array<OutputWriter, 2> outputs;
        const std::array<std::string_view, 2> suffixes = {".one", ".two"};
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            ASSERT_EQ(outputs[i].Choose(source.native(), suffixes[i], ".png"), resDONE);
            ASSERT_EQ(outputs[i].Open(), resDONE);
            ASSERT_TRUE(outputs[i].Write(Ascii("picture")));
        }
        if (blocked) {
            for (int n = 0; n <= 100; ++n) {
                const std::string name = n == 0 ? "b.two.png" : "b.two(" + std::to_string(n) + ").png";
                after.insert(Write(name, Ascii("taken")).filename());
            }
        }
        EXPECT_EQ(CommitAll(outputs), blocked ? resNONAME : resDONE);
        if (!blocked) after.insert({"b.one.png", "b.two.png"});
        EXPECT_EQ(Files(), after);
    }
}

TEST_F(ProcessFileTest, TemporaryNamesStayBesideTheirOutputAndNeverLookLikeOne) {
    struct Case {
        const char* name;
        platform::Path output;
        platform::Path begins;  // what the temporary starts with
    };
    const platform::Path folder = dir_.path().native() + platform::Path(1, fs::path::preferred_separator);
    const platform::Path longName(300, 'n');
    const Case cases[] = {
        {"plain", folder + NativePath("photo.jpg"), folder + NativePath(".photo.jpg.vexlo-")},
        {"a name too long for one more component", folder + longName + NativePath(".jpg"),
         folder + NativePath(".") + platform::Path(platform::kMaxComponent - 19, 'n') + NativePath(".vexlo-")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const platform::Path one = platform::TemporaryName(c.output, 1);
        const platform::Path other = platform::TemporaryName(c.output, 2);
        EXPECT_TRUE(one.starts_with(c.begins)) << platform::ToUtf8(one);
        EXPECT_TRUE(one.ends_with(NativePath(".part")));
        EXPECT_EQ(one.size(), c.begins.size() + 6 + 5);
        EXPECT_LE(one.size() - folder.size(), platform::kMaxComponent);
        EXPECT_NE(one, other) << "the seed picks the letters";
    }
#ifndef _WIN32
    // Shortened at a character's start, never inside a UTF-8 sequence.
    const platform::Path accents = folder + platform::Path(1, 'x') + [] {
        platform::Path text;
        for (int i = 0; i < 150; ++i) text += "\xc3\xa9";
        return text;
    }();
    const platform::Path shortened = platform::TemporaryName(accents, 3);
    const std::size_t stem = shortened.find(".vexlo-");
    EXPECT_NE(static_cast<unsigned char>(shortened[stem - 1]), 0xC3) << "a lead byte without its follower";
#endif
}

TEST_F(ProcessFileTest, FullPathLimitCountsTheSource) {
    // A chain of directories makes the source's full path exactly 254 and 255
    // long; the long file name keeps every directory well under MAX_PATH.
    const std::string name = std::string(16, 'x') + ".png";
    const auto makeSource = [&](std::size_t fullLength, const char* tag) {
        fs::path path = dir_ / tag;
        std::size_t remaining = fullLength - path.native().size() - 1 - name.size();
        ASSERT_GE(remaining, 2u);
        while (remaining > 0) {
            const std::size_t take = remaining > 61 ? 50 : remaining;  // separator included
            path /= std::string(take - 1, 'd');
            remaining -= take;
        }
        fs::create_directories(path);
        path /= name;
        ASSERT_EQ(path.native().size(), fullLength);
        test::WriteFileBytes(path, test::SmallPng() + Ascii("z"));
        EXPECT_EQ(Process(path), fullLength <= 254 ? resDONE : resNONAME) << fullLength;
    };
    makeSource(254, "p");
    makeSource(255, "q");
}

TEST_F(ProcessFileTest, BuffersFromAnEarlierSourceNeverLeak) {
    const fs::path big = Write("big.png", test::SmallPng() + Bytes(5000, 0xAB));
    const fs::path small = Write("small.png", test::SmallPng() + Ascii("GIF"));
    ASSERT_EQ(Process(big), resDONE);
    ExpectOutput(small, "small.gif", Ascii("GIF"));
    EXPECT_EQ(Process(Write("none.png", test::SmallPng())), resNOTRAIL);
    EXPECT_EQ(engine_.OUTBUFSIZE, 0);
}

#ifdef _WIN32

TEST_F(ProcessFileTest, NamesOutsideTheAnsiCodePage) {
    const std::wstring name = L"\u5199\u771f_\u03a9\u03bb\u0436.png";  // Japanese, Greek, Cyrillic
    const Bytes trailer = test::Jfif(30);
    const fs::path source = Write(name, test::SmallPng() + trailer);
    ASSERT_EQ(Process(source), resDONE);
    EXPECT_EQ(engine_.OutFileName, (dir_ / L"\u5199\u771f_\u03a9\u03bb\u0436.jpg").native());
    EXPECT_EQ(Read(dir_ / L"\u5199\u771f_\u03a9\u03bb\u0436.jpg"), trailer);
}

TEST_F(ProcessFileTest, RelativePathResolvesAgainstTheCurrentDirectory) {
    Write("rel.png", test::SmallPng() + Ascii("BMxx"));
    const fs::path previous = fs::current_path();
    fs::current_path(dir_.path());
    const ProcessResult result = engine_.ProcessFile(L"rel.png", {});
    fs::current_path(previous);
    ASSERT_EQ(result, resDONE);
    EXPECT_EQ(engine_.OutFileName, (dir_ / "rel.bmp").native());
    EXPECT_TRUE(fs::exists(dir_ / "rel.bmp"));
}

TEST_F(ProcessFileTest, DriveRootOutputs) {
    const std::wstring stem = L"C:\\vexlo-root-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring source = stem + L".png";
    test::WriteFileBytes(source, test::SmallPng() + Ascii("GIF89a"));
    const ProcessResult result = engine_.ProcessFile(source, {});
    EXPECT_EQ(result, resDONE);
    EXPECT_EQ(engine_.OutFileName, stem + L".gif");
    fs::remove(fs::path(source));
    fs::remove(fs::path(stem + L".gif"));
}

TEST_F(ProcessFileTest, NetworkRootsSplitThroughTheRealFullPath) {
    EXPECT_EQ(platform::FullPathName(L"\\\\srv\\share\\x\\..\\a.png"), L"\\\\srv\\share\\a.png");
    EXPECT_EQ(platform::FullPathName(L"c:\\a\\.\\b.png"), L"c:\\a\\b.png");
    const auto none = [](const std::wstring&) { return false; };
    EXPECT_EQ(MakeOutFileName<WindowsSyntax>(L"\\\\srv\\share\\dir\\..\\pic.png", ".jpg", platform::FullPathName, none),
              L"\\\\srv\\share\\pic.jpg");
}

// Both programs' readers (the window's engine, vexlo-cli's Extractor) share
// alike: only a source locked against reading is refused.
TEST_F(ProcessFileTest, SourceHeldOpenByAnotherProgram) {
    const fs::path source = Write("locked.png", test::SmallPng() + Ascii("GIF"));
    const struct {
        const char* name;
        DWORD access;
        DWORD share;
        ProcessResult expected;
    } cases[] = {
        {"locked", GENERIC_READ | GENERIC_WRITE, 0, resNOREAD},
        {"an editor writing it", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, resDONE},
        {"a sync client that may move it", GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, resDONE},
        {"a reader", GENERIC_READ, FILE_SHARE_READ, resDONE},
    };
    Extractor extractor;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HANDLE held =
            ::CreateFileW(source.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Process(source), c.expected) << "the window program";
        EXPECT_EQ(extractor.Examine(source.native(), {}).result, c.expected) << "vexlo-cli";
        ::CloseHandle(held);
    }
    EXPECT_EQ(Process(source), resDONE);
}

#else

TEST_F(ProcessFileTest, NameTakenSinceItWasChosenGetsTheNextFreeName) {
    // A dangling link looks free to the existence test, but an exclusive
    // create refuses it: the output must go to the next name, and the link's
    // target must not be created through it.
    const fs::path source = Write("race.png", test::SmallPng() + Ascii("GIF87a"));
    fs::create_symlink(dir_ / "target-never-written", dir_ / "race.gif");
    ExpectOutput(source, "race(1).gif", Ascii("GIF87a"));
    EXPECT_FALSE(fs::exists(dir_ / "target-never-written"));
}

TEST_F(ProcessFileTest, WriteErrorGivesResult6AndRemovesThePartialOutput) {
    const Bytes trailer = test::Jfif(100'000);
    const fs::path source = Write("full.png", test::SmallPng() + trailer);
    const auto before = Files();

    // A file size limit below the trailer's size behaves like a full disk.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const ProcessResult result = Process(source);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(result, resNOWRITE);
    EXPECT_EQ(Files(), before) << "no partial output may be left";
    EXPECT_EQ(Read(source), test::SmallPng() + trailer);
}

TEST_F(ProcessFileTest, OutputThatCannotBeCreatedGivesResult6) {
    // /proc/self/fd/N reads the source, but nothing can be created beside it,
    // even for root.
    const fs::path source = Write("fd.png", test::SmallPng() + Ascii("GIF"));
    const int fd = ::open(source.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const ProcessResult result = engine_.ProcessFile("/proc/self/fd/" + std::to_string(fd), {});
    ::close(fd);
    EXPECT_EQ(result, resNOWRITE);
}

TEST_F(ProcessFileTest, UnreadableSourceGivesResult2) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const fs::path source = Write("secret.png", test::SmallPng() + Ascii("GIF"));
    fs::permissions(source, fs::perms::none);
    EXPECT_EQ(Process(source), resNOREAD);
}

#endif

}  // namespace
}  // namespace vexlo::test
