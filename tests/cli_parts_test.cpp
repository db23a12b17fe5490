// vexlo-cli's parts that the process tests (cli_test.py, POSIX only) cannot
// reach on Windows or cannot provoke: names as JSON text, UTF-16 included,
// the folder walk and the system's reasons on the real platform (POSIX
// natively, Win32 under Wine), the words and lines of every outcome, and
// what a run that throws leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

#include "cli/inputs.h"
#include "cli/json.h"
#include "cli/output.h"
#include "cli/report_lines.h"
#include "cli/results.h"
#include "cli/run.h"
#include "cli/shown_name.h"
#include "platform/platform.h"
#include "platform/win32/entry_type.h"
#include "tests/support/png_bytes.h"

namespace vexlo::cli {
namespace {

namespace fs = std::filesystem;

constexpr auto* P = &test::NativePath;

// The system's reasons as each platform gives them.
#ifdef _WIN32
constexpr platform::OsError kMissing = ERROR_FILE_NOT_FOUND, kNoFolder = ERROR_PATH_NOT_FOUND,
                            kDenied = ERROR_ACCESS_DENIED, kFolder = ERROR_ACCESS_DENIED;
#else
constexpr platform::OsError kMissing = ENOENT, kNoFolder = ENOENT, kDenied = EACCES,
                            kFolder = 0;  // a folder opens, then is refused
#endif

// A row of a table of names: the name, as bytes or UTF-16, and how it comes out.
template <class Name>
struct NameRow {
    Name name;
    std::string_view shown;
    bool exact = true;  // every byte or unit was valid
};

TEST(CliJson, NamesBecomeValidUtf8WithTheirBytesKept) {
    const NameRow<std::string_view> cases[] = {
        {"plain.png", "plain.png", true},
        {"caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x98\x80", true},
        {"caf\xE9.png", "caf\xEF\xBF\xBD.png", false},                                    // Latin-1
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", false},                                  // overlong "/"
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false},                  // a surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false},  // past U+10FFFF
        {"a\xE2\x98", "a\xEF\xBF\xBD\xEF\xBF\xBD", false},                                // cut off at the end
    };
    for (const auto& c : cases) {
        const NameText text = FromBytes(c.name);
        EXPECT_EQ(text.utf8, c.shown) << c.name;
        EXPECT_EQ(text.exact, c.exact) << c.name;
    }
    const NameRow<std::u16string> wide[] = {
        {u"\u5199\u771f.png", "\xE5\x86\x99\xE7\x9C\x9F.png", true},
        {u"\U0001F600", "\xF0\x9F\x98\x80", true},
        {std::u16string{u'a', char16_t(0xD83D)}, "a\xEF\xBF\xBD", false},  // lone high surrogate at the end
        {std::u16string{char16_t(0xDE00), u'b'},
         "\xEF\xBF\xBD"
         "b",
         false},  // lone low surrogate
    };
    for (const auto& c : wide) {
        const NameText text = FromUtf16(c.name);
        EXPECT_EQ(text.utf8, c.shown);
        EXPECT_EQ(text.exact, c.exact) << c.shown;
    }
    EXPECT_EQ(Quote("a\"b\\c\nd\te\x01\x1F\x7F\xC3\xA9"), "\"a\\\"b\\\\c\\nd\\te\\u0001\\u001f\x7F\xC3\xA9\"");
}

TEST(CliJson, LineForEachKindOfReport) {
    ExtractReport report;
    report.result = resNOFILE;
#ifdef _WIN32
    const platform::Path odd = {L'a', wchar_t(0xD800), L'.', L'p', L'n', L'g'};
    const std::string oddHex = "610000d82e0070006e006700";  // UTF-16LE
#else
    const platform::Path odd = "a\xFF.png";
    const std::string oddHex = "61ff2e706e67";
#endif
    report.fullPath = odd;
    EXPECT_EQ(JsonLine(P("x\"y.png"), report, false),
              "{\"path\":\"x\\\"y.png\",\"full_path\":\"a\xEF\xBF\xBD.png\",\"full_path_hex\":\"" + oddHex +
                  "\",\"result\":1,\"status\":\"no-file\",\"offset\":null,\"length\":null,\"sha256\":null,"
                  "\"extension\":null,\"kind\":null,\"output\":null}\n");
    report = {};
    report.result = resDONE;
    report.fullPath = P("/d/a.png");
    report.hasTrailer = true;
    report.trailer = {57, 1ull << 33};
    report.sha256.fill(0xAB);
    std::string abab;
    while (abab.size() < 64) abab += "ab";
    report.extension = ".dat";
    report.kind = "zeros";
    report.output = P("/d/a.dat");
    for (const bool check : {false, true}) {
        EXPECT_EQ(JsonLine(P("a.png"), report, check),
                  "{\"path\":\"a.png\",\"full_path\":\"/d/a.png\",\"result\":0,\"status\":\"" +
                      std::string(check ? "has-trailer" : "extracted") +
                      "\",\"offset\":57,\"length\":8589934592,\"sha256\":\"" + abab + "\"," +
                      "\"extension\":\".dat\",\"kind\":\"zeros\",\"output\":\"/d/a.dat\"}\n");
    }
}

// Byte order puts "Z" before "a"; names differ beyond case, as Windows needs.
TEST(CliInputs, WalkFindsPngsBySignatureInByteOrder) {
    const test::TempFolder root("vexlo-inputs");
    const test::Bytes png = test::SmallPng();
    const std::pair<const char*, test::Bytes> tree[] = {{"b.png", png},
                                                        {"Z.png", png},
                                                        {"a.dat", png},
                                                        {"notes.png", test::Ascii("text")},
                                                        {"sub/z.png", png},
                                                        {"sub/deep/c", png},
                                                        {"short.png", test::Bytes(png.begin(), png.begin() + 7)},
                                                        {"empty/.keep", {}}};
    for (const auto& [name, bytes] : tree) root.Write(name, bytes);
    std::vector<platform::Path> unreadable;
    const auto note = [&unreadable](const platform::Path& path, platform::OsError) { unreadable.push_back(path); };
    const platform::Path top = root.path().native();
    const platform::Path file = (root / "notes.png").native();
    const Inputs walked = CollectInputs({file, top}, true, note);
    std::vector<fs::path> names;
    for (const platform::Path& path : walked.files) names.push_back(fs::path(path).lexically_relative(root.path()));
    EXPECT_EQ(names, (std::vector<fs::path>{"notes.png", "Z.png", "a.dat", "b.png", fs::path("sub") / "deep" / "c",
                                            fs::path("sub") / "z.png"}));
    EXPECT_EQ(walked.unreadable, 0u);
    EXPECT_TRUE(unreadable.empty());
    // Without -r a folder stays an operand, for the engine to refuse.
    EXPECT_EQ(CollectInputs({top}, false, note).files, std::vector<platform::Path>{top});
}

// Each word names one outcome, or the summary would merge counts and a
// script reading "status" could not tell outcomes apart.
TEST(CliResults, EveryOutcomeHasAWordOfItsOwnAndEveryFailureAReason) {
    std::set<std::string_view> words = {kResultWords[resDONE].checked};
    for (const ResultWords& row : kResultWords) {
        words.insert(row.status);
        EXPECT_EQ(row.reason.empty(), row.result == resDONE) << row.status;
        EXPECT_EQ(row.checked, row.result == resDONE ? "has-trailer" : row.status);
    }
    for (const RecoverWords& row : kRecoverWords) words.insert(row.word);
    EXPECT_EQ(words.size(), kResultWords.size() + 1 + kRecoverWords.size());
    EXPECT_FALSE(words.contains(""));
    EXPECT_EQ(StatusWord(static_cast<ProcessResult>(7), false), "unknown");
    EXPECT_EQ(Reason(static_cast<ProcessResult>(-1), 0), "unknown result");
}

TEST(CliLines, SummaryAndExitStatusOfMixedOutcomes) {
    const std::vector<std::string_view> byCode = {"extracted", "no-file", "unreadable", "not-png"};
    const struct {
        std::vector<std::string_view> order;
        std::vector<std::pair<std::string_view, bool>> adds;
        std::size_t repeat;
        std::size_t unreadable;
        std::string_view summary;
        int exit;
    } cases[] = {
        {byCode,
         {{"not-png", false}, {"extracted", true}, {"no-file", false}, {"extracted", true}},
         1,
         0,
         "vexlo-cli: 4 files: 2 extracted, 1 no-file, 1 not-png\n",
         1},
        // --recover: as first met.
        {{},
         {{"nothing rebuilt", false}, {"recovered", true}, {"no-file", false}, {"recovered", true}},
         1,
         1,
         "vexlo-cli: 4 files: 1 nothing rebuilt, 2 recovered, 1 no-file; 1 entry could not be read\n",
         1},
        {byCode, {{"extracted", true}}, 1, 2, "vexlo-cli: 1 file: 1 extracted; 2 entries could not be read\n", 1},
        {{}, {{"has-trailer", true}}, 1234, 0, "vexlo-cli: 1,234 files: 1,234 has-trailer\n", 0},
    };
    for (const auto& c : cases) {
        Tally tally(c.unreadable, c.order);
        for (std::size_t i = 0; i < c.repeat; ++i) {
            for (const auto& [word, succeeded] : c.adds) tally.Add(word, succeeded);
        }
        EXPECT_EQ(tally.Summary(), c.summary);
        EXPECT_EQ(tally.ExitStatus(), c.exit) << c.summary;
    }
}

// The lines a rebuilt picture gets when it could not be written, which the
// process tests cannot bring about.
TEST(CliLines, RecoverLineForEachOutcome) {
    const auto rebuilt = [](ProcessResult written) {
        RecoverReport report;
        report.extraction.result = written;
        report.extraction.hasTrailer = true;
        report.result.status = recover::Status::Recovered;
        report.result.rows = 1234;
        report.result.width = 2000;
        report.result.knownShare = 0.5;
        if (written == resDONE) {
            report.picture = P("a.recovered.png");
            report.guess = P("a.guessed.png");
        }
        return report;
    };
    RecoverReport unread;
    unread.extraction.result = resNOREAD;
    const struct {
        RecoverReport report;
        std::string_view line;
    } cases[] = {
        {unread, "a.png: cannot be read or larger than 999 bytes\n"},
        {rebuilt(resNONAME), "a.png: 1,234 rows of 2,000 pixels rebuilt (width given), but no free output name\n"},
        {rebuilt(resNOWRITE), "a.png: 1,234 rows of 2,000 pixels rebuilt (width given), but cannot write the output\n"},
        {rebuilt(resDONE),
         "a.png: 1,234 rows of 2,000 pixels rebuilt (width given), 50.0% known for certain -> "
         "a.recovered.png, a.guessed.png\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(RecoverLine(P("a.png"), c.report, 999), c.line);
}

// The system's own reason travels with a source that is missing or cannot be opened.
TEST(CliReports, SourcesKeepTheSystemsReason) {
    const test::TempFolder root("vexlo-reasons");
    root.Write("plain.png", test::SmallPng());
    std::filesystem::create_directory(root / "folder.png");
    const struct {
        const char* name;
        ProcessResult result;
        platform::OsError error;
    } cases[] = {
        {"missing.png", resNOFILE, kMissing},
        {"none/a.png", resNOFILE, kNoFolder},
        {"folder.png", resNOREAD, kFolder},
        {"plain.png", resNOTRAIL, 0},
    };
    Extractor extractor;
    for (const auto& c : cases) {
        const ExtractReport report = extractor.Examine((root / c.name).native(), ExtractOptions());
        EXPECT_EQ(report.result, c.result) << c.name;
        EXPECT_EQ(report.osError, c.error) << c.name;
    }
}

std::string Contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
    return text;
}

TEST(CliRun, WhatEscapesBecomesOneLineAndStatus2) {
    const struct {
        std::function<int()> main;
        int status;
        std::string_view err;
    } cases[] = {
        {[] { return 1; }, 1, ""},
        {[]() -> int { throw std::runtime_error("SHA-256 failed"); }, 2, "vexlo-cli: SHA-256 failed\n"},
        {[]() -> int { throw std::bad_alloc(); }, 2, "vexlo-cli: out of memory\n"},
        {[]() -> int { throw 7; }, 2, "vexlo-cli: unexpected failure\n"},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), &std::fclose);
        ASSERT_NE(err, nullptr);
        Output output(stdout, err.get());
        EXPECT_EQ(Guarded(output, c.main), c.status);
        EXPECT_EQ(Contents(err.get()), c.err);
    }
}

// A name must not forge a line or reach the terminal as a control sequence,
// and what is escaped must stay apart from what merely looks like an escape.
TEST(CliNames, ControlsStrayBytesAndBackslashesAreEscaped) {
    const NameRow<std::string_view> cases[] = {
        {"caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x98\x80.png", "caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x98\x80.png"},
        {"nl\nforged.png: 1 bytes", "nl\\nforged.png: 1 bytes"},
        {"a\tb\rc", "a\\tb\\rc"},
        {"\x1B]0;title\x07.png", "\\x1b]0;title\\x07.png"},
        {"\x1B[2J\x7F", "\\x1b[2J\\x7f"},
        {"c1\xC2\x85\xC2\x9B\xC2\xA0", "c1\\u0085\\u009b\xC2\xA0"},  // NEL, CSI; no-break space stays
        {"caf\xE9.png", "caf\\xe9.png"},
        {"\xC0\xAF\xED\xA0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"},  // overlong, surrogate
        {"a\xE2\x98", "a\\xe2\\x98"},                           // cut off
        {"back\\slash\\x41", "back\\\\slash\\\\x41"},
        {std::string_view("nul\0", 4), "nul\\x00"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapedBytes(c.name, true), c.shown) << c.name;
    EXPECT_EQ(EscapedBytes("C:\\a\nb", false), "C:\\a\\nb");
    const NameRow<std::u16string> wide[] = {
        {u"\u65E5\u672C.png \U0001F600", "\xE6\x97\xA5\xE6\x9C\xAC.png \xF0\x9F\x98\x80"},
        {u"C:\\x\n\u001B\u0085", "C:\\x\\n\\x1b\\u0085"},
        {std::u16string{u'a', char16_t(0xD800), u'b'}, "a\\ud800b"},
        {std::u16string{char16_t(0xDC00)}, "\\udc00"},
        {std::u16string{char16_t(0xDBFF)}, "\\udbff"},
    };
    for (const auto& c : wide) EXPECT_EQ(EscapedUtf16(c.name), c.shown) << c.shown;
}

// Reports reach their stream or the run learns that they did not: a file or
// pipe gets the UTF-8 bytes, a console the same text as UTF-16 through its
// own call (standing in here for WriteConsoleW, as a test has no console).
TEST(CliOutput, EachStreamGetsItsTextOrTheFailureEndsTheRun) {
    using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
    const std::string text = "\xE6\x97\xA5\xE6\x9C\xAC.png \xF0\x9F\x98\x80 -> a.jpg\n";
    const std::u16string units = u"\u65E5\u672C.png \U0001F600 -> a.jpg\n";
    const struct {
        const char* name;
        bool outConsole;
        bool errConsole;
        platform::OsError consoleError;
        bool outFull;  // standard output goes to a full device
        int status;
        std::string_view errBytes;
    } cases[] = {
        {"both redirected", false, false, 0, false, 0, text},  // the error stream gets the text as written
        {"both consoles", true, true, 0, false, 0, ""},
        {"output a console, errors redirected", true, false, 0, false, 0, text},
        {"a console that refuses", true, false, 5, false, 1, "vexlo-cli: write error: "},
        {"a full device", false, false, 0, true, 1, "vexlo-cli: write error: "},
    };
    for (const auto& c : cases) {
        File out(c.outFull ? std::fopen("/dev/full", "w") : std::tmpfile(), &std::fclose);
        if (c.outFull && out == nullptr) continue;  // Windows has no such device
        const File err(std::tmpfile(), &std::fclose);
        ASSERT_TRUE(out && err) << c.name;
        std::vector<std::pair<std::FILE*, std::u16string>> consoleText;
        const Console console{[&](std::FILE* f) { return f == out.get() ? c.outConsole : c.errConsole; },
                              [&](std::FILE* f, std::u16string_view t) {
                                  consoleText.emplace_back(f, std::u16string(t));
                                  return c.consoleError;
                              }};
        Output output(out.get(), err.get(), console);
        output.Write(Stream::Out, text);
        output.Write(Stream::Err, text);
        EXPECT_EQ(output.Failed(), c.status != 0) << c.name;
        EXPECT_EQ(output.Finish(0), c.status) << c.name;
        if (c.outConsole && c.consoleError == 0) {
            std::vector<std::pair<std::FILE*, std::u16string>> want = {{out.get(), units}};
            if (c.errConsole) want.emplace_back(err.get(), units);
            EXPECT_EQ(consoleText, want) << c.name;
        }
        if (!c.outConsole && !c.outFull) {
            EXPECT_EQ(Contents(out.get()), text) << c.name;
        }
        const std::string errText = Contents(err.get());
        if (c.status == 0) {
            EXPECT_EQ(errText, c.errBytes) << c.name;
        } else {
            // One line, and nothing written after the failure.
            EXPECT_TRUE(errText.starts_with(c.errBytes)) << c.name << ": " << errText;
            EXPECT_EQ(std::count(errText.begin(), errText.end(), '\n'), 1) << c.name << ": " << errText;
        }
    }
    EXPECT_EQ(Utf16Of("a\xE9\xF0\x9F\x98\x80"), u"a\uFFFD\U0001F600");
}

// A failure's line says what the result code alone cannot.
TEST(CliLines, ReasonsNameTheSystemsCauseAndTheLengthLimit) {
    const platform::Path longPath = P("/") + platform::Path(254, platform::Char('a'));
    const struct {
        ProcessResult result;
        platform::OsError error;
        platform::Path fullPath;
        std::string line;
    } cases[] = {
        {resNOREAD, kDenied, P("/a.png"), "a.png: cannot be read: " + platform::ErrorText(kDenied) + "\n"},
        {resNOREAD, 0, P("/a.png"), "a.png: cannot be read or larger than 999 bytes\n"},
        {resNONAME, 0, longPath, "a.png: the full path is longer than 254 characters\n"},
        {resNONAME, 0, longPath.substr(1), "a.png: no free output name\n"},
    };
    for (const auto& c : cases) {
        ExtractReport report;
        report.result = c.result;
        report.osError = c.error;
        report.fullPath = c.fullPath;
        EXPECT_EQ(PlainLine(P("a.png"), report, false, 999), c.line);
    }
    EXPECT_FALSE(platform::ErrorText(kDenied).empty());
    EXPECT_NE(platform::ErrorText(kDenied).back(), '.');
    EXPECT_EQ(UnreadableLine(P("top/x\n"), kDenied),
              "top/x\\n: cannot be read: " + platform::ErrorText(kDenied) + "\n");
    EXPECT_EQ(UnreadableLine(P("top/x"), 0), "top/x: cannot be read\n");
}

// The walk's rule for Windows entries, with the attribute and tag values
// FindFirstFileW reports: only name surrogates are links.
TEST(CliInputs, WindowsReparsePointsAreLinksOnlyWhenTheyNameAnotherPlace) {
    using platform::EntryType;
    constexpr std::uint32_t dir = 0x10, archive = 0x20, device = 0x40, reparse = 0x400, offline = 0x1000,
                            recall = 0x40'0000;  // RECALL_ON_DATA_ACCESS, as cloud placeholders carry
    const struct {
        const char* name;
        std::uint32_t attributes;
        std::uint32_t tag;
        EntryType expected;
    } cases[] = {
        {"plain file", archive, 0, EntryType::File},
        {"plain folder", dir, 0, EntryType::Directory},
        {"device", device, 0, EntryType::Other},
        {"stale tag without the reparse attribute", archive, 0xA000000C, EntryType::File},
        {"symbolic link to a file", archive | reparse, 0xA000000C, EntryType::Link},  // IO_REPARSE_TAG_SYMLINK
        {"symbolic link to a folder", dir | reparse, 0xA000000C, EntryType::Link},
        {"junction or mount point", dir | reparse, 0xA0000003, EntryType::Link},  // _MOUNT_POINT
        {"WSL symbolic link", archive | reparse, 0xA000001D, EntryType::Link},    // _LX_SYMLINK
        {"no tag reported, as Wine lists Unix links", dir | reparse, 0, EntryType::Link},
        {"OneDrive placeholder", archive | reparse | offline | recall, 0x9000001A, EntryType::File},   // _CLOUD
        {"OneDrive placeholder, flavour 6", archive | reparse | recall, 0x9000601A, EntryType::File},  // _CLOUD_6
        {"OneDrive folder", dir | reparse, 0x9000F01A, EntryType::Directory},                          // _CLOUD_F
        {"deduplicated file", archive | reparse, 0x80000013, EntryType::File},                         // _DEDUP
        {"WOF-compressed file", archive | reparse, 0x80000017, EntryType::File},                       // _WOF
        {"single-instance store", archive | reparse, 0x80000007, EntryType::File},                     // _SIS
        {"HSM stub", archive | reparse | offline, 0xC0000004, EntryType::File},                        // _HSM
        {"projected folder", dir | reparse, 0x9000001C, EntryType::Directory},                         // _PROJFS
        {"app execution alias", archive | reparse, 0x8000001B, EntryType::File},                       // _APPEXECLINK
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::FoundEntryType(c.attributes, c.tag), c.expected) << c.name;
    }
}

// True once `path` exists, polling for up to `seconds`: a launched program
// writes it in its own time.
bool AppearsWithin(const fs::path& path, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

#ifdef _WIN32
// A program for files named *.vexlo-open-test, registered for the life of
// the object: it writes FILE.opened.
class TestAssociation {
public:
    TestAssociation() {
        Set(L".vexlo-open-test", L"vexlo.opentest");
        Set(L"vexlo.opentest\\shell\\open\\command", L"C:\\windows\\system32\\cmd.exe /c echo opened> \"%1.opened\"");
    }
    TestAssociation(const TestAssociation&) = delete;
    TestAssociation& operator=(const TestAssociation&) = delete;
    ~TestAssociation() {
        for (const wchar_t* key : {L".vexlo-open-test", L"vexlo.opentest\\shell\\open\\command",
                                   L"vexlo.opentest\\shell\\open", L"vexlo.opentest\\shell", L"vexlo.opentest"}) {
            ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key);
        }
    }

private:
    static void Set(const wchar_t* key, const std::wstring& value) {
        ASSERT_EQ(::RegSetValueW(HKEY_CLASSES_ROOT, key, REG_SZ, value.c_str(),
                                 static_cast<DWORD>(value.size() * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
};
#else
// PATH for the length of the object.
class SearchPath {
public:
    explicit SearchPath(const fs::path& folder) : saved_(std::getenv("PATH") ? std::getenv("PATH") : "") {
        ::setenv("PATH", folder.c_str(), 1);
    }
    SearchPath(const SearchPath&) = delete;
    SearchPath& operator=(const SearchPath&) = delete;
    ~SearchPath() { ::setenv("PATH", saved_.c_str(), 1); }

private:
    std::string saved_;
};
#endif

// The console program's launch: a file goes to its program, and a file no
// program opens gives one line of text, never a dialog box (which would
// wait for a click: the call runs on a thread of its own, so that fails
// here instead of hanging the run).
TEST(CliOpen, AFileGoesToItsProgramOrTheFailureIsOneLineOfText) {
    const test::TempFolder folder("vexlo-open");
    const auto openWithin = [](const fs::path& file) -> std::optional<std::optional<std::string>> {
        auto result = std::make_shared<std::promise<std::optional<std::string>>>();
        std::future<std::optional<std::string>> done = result->get_future();
        std::thread([result, path = file.native()] { result->set_value(platform::OpenForConsole(path)); }).detach();
        if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) return std::nullopt;
        return done.get();
    };
#ifdef _WIN32
    const TestAssociation association;
    const fs::path known = folder.Write("a.vexlo-open-test", test::Ascii("x"));
    const fs::path unknown = folder.Write("a.vexlo-unknown", test::Ascii("x"));
    const fs::path opened = folder / "a.vexlo-open-test.opened";
    const std::string noProgram = "no program opens .vexlo-unknown files here";
#else
    // A stand-in for xdg-open that notes the file it was given.
    const fs::path bin = folder / "bin";
    const fs::path known = folder.Write("a.jpg", test::Ascii("x"));
    const fs::path unknown = known;
    const fs::path opened = folder / "a.jpg.opened";
    folder.Write("bin/xdg-open", test::Ascii("#!/bin/sh\necho \"$1\" > \"$1.opened\"\n"));
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const std::string noProgram = "no program opens files here: xdg-open is not installed";
#endif
    {
#ifndef _WIN32
        const SearchPath path(bin);
#endif
        const auto launched = openWithin(known);
        ASSERT_TRUE(launched.has_value()) << "the launch did not return";
        EXPECT_EQ(*launched, std::nullopt);
        EXPECT_TRUE(AppearsWithin(opened, 20)) << "the program was not started on the file";
    }
    {
#ifndef _WIN32
        const SearchPath path(folder / "empty");  // no xdg-open
#endif
        const auto failed = openWithin(unknown);
        ASSERT_TRUE(failed.has_value()) << "the launch did not return: a dialog box?";
        EXPECT_EQ(*failed, noProgram);
    }
}

}  // namespace
}  // namespace vexlo::cli
