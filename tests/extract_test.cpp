// The Extractor beside the window program's engine on real files (POSIX
// natively, Win32 under Wine): with the default limit the same result, the
// same output name and the same bytes written, case by case, twice in a row
// (the second run takes the next free name); and the trailer's place, hash
// and kind from the one pass. Runs in the samples folder, whose files are
// cases too.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>

#include "engine/extract.h"
#include "tests/support/png_bytes.h"

namespace vexlo::test {
namespace {

const auto Read = test::ReadFileBytes;
const auto Write = test::WriteFileBytes;

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(engineDir_ = root_ / "engine");
        fs::create_directories(extractDir_ = root_ / "extract");
    }

    // Puts the same source (nullopt: none; empty name: a folder) in both folders.
    void Both(const fs::path& name, const std::optional<Bytes>& bytes, bool folder = false) {
        for (const fs::path& dir : {engineDir_, extractDir_}) {
            if (folder) fs::create_directory(dir / name);
            if (bytes) Write(dir / name, *bytes);
        }
    }

    // Prepare against a check, ProcessFile against a write, twice.
    void ExpectSame(const fs::path& name) {
        SCOPED_TRACE(name.string());
        const platform::Path engineSource = (engineDir_ / name).native();
        const platform::Path extractSource = (extractDir_ / name).native();
        // The second write takes the next free name; it only copies, undescribed.
        for (const auto& [write, describe] : {std::pair{false, true}, {true, true}, {true, false}}) {
            const ProcessResult expected =
                write ? engine_.ProcessFile(engineSource, {}) : engine_.Prepare(engineSource);
            ExtractOptions options;
            options.write = write;
            options.describe = describe;
            const ExtractReport report = extractor_.Examine(extractSource, options);
            ASSERT_EQ(report.result, expected) << (write ? "write" : "check");
            EXPECT_EQ(report.fullPath, fs::absolute(extractDir_ / name).lexically_normal().native());
            if (expected == resDONE) {
                EXPECT_EQ(fs::path(report.output).filename(), fs::path(engine_.OutFileName).filename());
                EXPECT_EQ(fs::path(report.output).parent_path(), fs::path(extractSource).parent_path());
                EXPECT_EQ(report.extension, engine_.FileType);
            } else {
                EXPECT_TRUE(report.output.empty());
            }
            const std::set<fs::path> files = Names(extractDir_);
            EXPECT_EQ(files, Names(engineDir_));
            for (const fs::path& file : files) {
                if (fs::is_regular_file(extractDir_ / file)) {
                    EXPECT_EQ(Read(extractDir_ / file), Read(engineDir_ / file)) << file;
                }
            }
            if (!describe) {
                EXPECT_TRUE(report.kind.empty());
            }
            if (!report.hasTrailer || !describe) continue;
            // The trailer as the in-memory engine finds it; hashed here in one piece.
            const Bytes whole = Read(extractSource);
            Trailer trailer;
            ASSERT_EQ(ExamineSource(whole, trailer), resDONE);
            EXPECT_EQ(report.trailer.offset, static_cast<std::uint64_t>(trailer.Fstp - 1));
            EXPECT_EQ(report.trailer.length, static_cast<std::uint64_t>(trailer.OUTBUFSIZE));
            platform::Sha256 hash;
            hash.Update(std::span(whole).subspan(static_cast<std::size_t>(trailer.Fstp - 1)));
            EXPECT_EQ(report.sha256, hash.Finish());
            EXPECT_FALSE(report.kind.empty());
        }
    }

    test::TempFolder root_{"vexlo-extract"};
    fs::path engineDir_, extractDir_;
    Engine engine_;
    Extractor extractor_;
};

TEST_F(ExtractTest, SameResultsNamesAndBytesAsTheWindowProgram) {
    const Bytes png = test::SmallPng();
    const Bytes hidden = Read("hidden.png");
    ASSERT_FALSE(hidden.empty()) << "run in the samples folder";
    const Bytes padded = png + test::Jfif(2'048'000 - png.size() - test::Jfif(0).size());
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"hidden.png", hidden},
        {"payload.jpg", Read("payload.jpg")},
        {"plain.png", png},
        {"text.png", Ascii("hello")},
        {"empty.png", {}},
        {"seven.png", Bytes(test::kSignature.begin(), test::kSignature.begin() + 7)},
        {"signature.png", test::kSignature},
        {"cut.png", Bytes(png.begin(), png.end() - 1)},
        {"one.png", png + Ascii("x")},
        {"gif.png", png + Ascii("GIF89a") + Bytes(100, 7)},
        {"bmp.png", png + Ascii("BM") + Bytes(54, 0)},
        {"nested.png", png + png},                 // its own name is taken by the source: nested(1).png
        {"long.png", png + Bytes(600'000, 0xA5)},  // across the pass buffer
        {"two-iend.png", test::kSignature + test::Iend() + test::Iend() + Ascii("tail")},
        {"f.tar.png", png + Bytes(3000, 0)},
        {"README", hidden},
        {"--check", hidden},
        {"-", hidden},
        {".png", hidden},
        {"limit.png", padded},
        {"over.png", padded + Ascii("x")},
    };
    for (const auto& c : cases) {
        Both(c.name, c.bytes);
        ExpectSame(c.name);
    }
    Both("folder.png", std::nullopt, true);
    ExpectSame("folder.png");
    ExpectSame("missing.png");
}

TEST_F(ExtractTest, NoFreeNameAfterOneHundred) {
    Both("photo.png", test::SmallPng() + test::Jfif(64));
    Both("photo.jpg", Ascii("taken"));
    for (int n = 1; n <= 99; ++n) Both("photo(" + std::to_string(n) + ").jpg", Ascii("taken"));
    ExpectSame("photo.png");  // photo(100).jpg, then no name twice
}

}  // namespace
}  // namespace vexlo::test
