// The streaming walk over real files (POSIX natively, Win32 under Wine)
// against ExamineSource on the same bytes in memory, and past 4 GiB.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "engine/stream_walk.h"
#include "platform/source_file.h"
#include "tests/support/png_bytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vexlo::test {
namespace {

class StreamWalkTest : public ::testing::Test {
protected:
    fs::path Write(const Bytes& bytes) { return dir_.Write("source.png", bytes); }
    // WalkSource on the file must give ExamineSource's verdict on the bytes.
    ProcessResult WalkAndCompare(const Bytes& bytes) {
        platform::SourceFile source;
        EXPECT_TRUE(source.Open(Write(bytes).native()));
        EXPECT_EQ(source.Size(), bytes.size());
        TrailerSpan span{7, 7};
        const ProcessResult walked = WalkSource(source, span);
        Trailer trailer;
        const ProcessResult examined = ExamineSource(bytes, trailer);
        EXPECT_EQ(walked, examined);
        EXPECT_EQ(span.offset, trailer.Fstp > 0 ? static_cast<std::uint64_t>(trailer.Fstp - 1) : 0u);
        EXPECT_EQ(span.length, static_cast<std::uint64_t>(trailer.OUTBUFSIZE));
        return walked;
    }

    test::TempFolder dir_{"vexlo-walk"};
};

TEST_F(StreamWalkTest, SameVerdictAsTheWalkInMemory) {
    const Bytes png = test::SmallPng();
    const NamedBytes<ProcessResult> cases[] = {
        {"empty file", {}, resNOTPNG},
        {"seven signature bytes", Bytes(kSignature.begin(), kSignature.end() - 1), resNOTPNG},
        {"not a PNG", Ascii("GIF89a not a png at all"), resNOTPNG},
        {"signature only", kSignature, resNOTRAIL},
        {"no trailer", png, resNOTRAIL},
        {"trailer", png + test::Jfif(), resDONE},
        {"one trailing byte", png + Bytes{0x42}, resDONE},
        {"second IEND is the trailer", kSignature + Iend() + Iend(), resDONE},
        {"IEND length field ignored", kSignature + Chunk("IEND", {}, 1000) + Ascii("xyz"), resDONE},
        {"IEND inside chunk data", kSignature + Chunk("tEXt", Ascii("IENDIEND")) + Iend() + Ascii("ok"), resDONE},
        {"IEND with CRC cut short", kSignature + Be32(0) + Ascii("IEND") + Bytes{1, 2, 3}, resNOTRAIL},
        {"IEND header, 9 bytes left", kSignature + Be32(0) + Ascii("IEND") + Bytes{1}, resNOTRAIL},
        {"IEND header, 8 bytes left", kSignature + Be32(0) + Ascii("IEND"), resNOTRAIL},
        {"zero-length chunks", kSignature + Chunk("aaAA", {}) + Chunk("bbBB", {}) + Iend() + Ascii("t"), resDONE},
        {"zero-length chunk, then the end", kSignature + Chunk("aaAA", {}), resNOTRAIL},
        {"top-bit length", kSignature + Chunk("IDAT", {}, 0x80000000) + Iend() + Ascii("x"), resNOTRAIL},
        {"length FFFFFFFF", kSignature + Chunk("IDAT", Bytes(4, 0), 0xFFFFFFFF) + Iend() + Ascii("x"), resNOTRAIL},
        {"length near 2^31", kSignature + Chunk("IDAT", {}, 0x7FFFFFF0) + Iend() + Ascii("x"), resNOTRAIL},
        {"length past the end", kSignature + Chunk("IDAT", {}, 0x10) + Iend(), resNOTRAIL},
        {"chunk ends exactly at the end", kSignature + Chunk("IDAT", Bytes(5, 1)), resNOTRAIL},
        {"header cut after 7 bytes", kSignature + Bytes{0, 0, 0, 0, 'I', 'E', 'N'}, resNOTRAIL},
        // Headers are read ahead 64 KiB at a time: one straddling the window's end, many within one.
        {"IEND across 64 KiB", kSignature + Chunk("IDAT", Bytes(65512, 7)) + Iend() + Ascii("t"), resDONE},
        {"IEND header cut at 64 KiB", kSignature + Chunk("IDAT", Bytes(65512, 7)) + Be32(0) + Ascii("IE"), resNOTRAIL},
        {"6000 empty chunks", kSignature + Repeat(Chunk("aaAA", {}), 6000) + Iend() + Ascii("t"), resDONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WalkAndCompare(c.bytes), c.expected);
    }
}

// Every prefix of a PNG with a trailer: each chunk header cut at every byte.
TEST_F(StreamWalkTest, EveryPrefixGivesTheSameVerdict) {
    const Bytes full = test::SmallPng() + Ascii("hidden");
    for (std::size_t n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE(n);
        WalkAndCompare(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
    }
}

TEST_F(StreamWalkTest, ReadAtStopsAtTheEnd) {
    platform::SourceFile source;
    ASSERT_TRUE(source.Open(Write(Ascii("0123456789")).native()));
    Bytes buffer(16, 0);
    EXPECT_EQ(source.ReadAt(6, buffer), std::optional<std::size_t>(4));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), Ascii("6789"));
    EXPECT_EQ(source.ReadAt(10, buffer), std::optional<std::size_t>(0));
    EXPECT_EQ(source.ReadAt(std::uint64_t{1} << 40, buffer), std::optional<std::size_t>(0));
}

TEST_F(StreamWalkTest, OpenRefusesWhatIsNoRegularFile) {
    platform::SourceFile source;
    ASSERT_TRUE(source.Open(Write(test::SmallPng()).native()));
    EXPECT_FALSE(source.Open((dir_ / "missing.png").native()));
    EXPECT_EQ(source.Size(), 0u);  // the previous file was closed
    fs::create_directory(dir_ / "folder.png");
    EXPECT_FALSE(source.Open((dir_ / "folder.png").native()));
#ifndef _WIN32
    const fs::path fifo = dir_ / "fifo.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(source.Open(fifo.native()));  // refused at once, no writer awaited
#endif
}

// Writes `pieces` at their offsets into a file of `size` bytes, the rest a
// hole: no disk space taken where the file system has sparse files.
bool WriteSparse(const fs::path& path, const std::vector<std::pair<std::uint64_t, Bytes>>& pieces, std::uint64_t size) {
#ifdef _WIN32
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    bool ok = ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
    for (const auto& [offset, bytes] : pieces) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        ok = ok && ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &at) &&
             written == bytes.size();
    }
    return ::CloseHandle(file) && ok;
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    for (const auto& [offset, bytes] : pieces) {
        ok = ok &&
             ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes.size());
    }
    return ::close(fd) == 0 && ok;
#endif
}

// Chunks of about 2 GiB put IEND past 2^31 and 2^32, where the in-memory
// bound does not apply; a length with the top bit set still ends the walk.
TEST_F(StreamWalkTest, SparseFilesBeyondFourGiB) {
    const struct {
        const char* name;
        std::vector<std::uint32_t> lengths;
        ProcessResult expected;
    } cases[] = {
        {"IEND near 6 GiB", {0x7FFFFFF0, 0x7FFFFFF0, 0x7FFFFFF0}, resDONE},
        {"IEND near 4 GiB after a top-bit length", {0x7FFFFFF0, 0x80000000}, resNOTRAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<std::uint64_t, Bytes>> pieces = {{0, kSignature}};
        std::uint64_t at = kSignature.size();
        for (const std::uint32_t length : c.lengths) {
            pieces.emplace_back(at, Be32(length) + Ascii("IDAT"));
            at += std::uint64_t{length} + 12;
        }
        const Bytes tail = Ascii("hidden after 4 GiB");
        pieces.emplace_back(at, Iend() + tail);
        const std::uint64_t size = at + 12 + tail.size();
        ASSERT_GT(at, std::uint64_t{1} << 32);
        const fs::path path = dir_ / "big.png";
        ASSERT_TRUE(WriteSparse(path, pieces, size));

        platform::SourceFile source;
        ASSERT_TRUE(source.Open(path.native()));
        ASSERT_EQ(source.Size(), size);
        TrailerSpan span;
        ASSERT_EQ(WalkSource(source, span), c.expected);
        if (c.expected != resDONE) continue;
        EXPECT_EQ(span.offset, at + 12);
        EXPECT_EQ(span.length, tail.size());
        Bytes read(tail.size(), 0);
        EXPECT_EQ(source.ReadAt(span.offset, read), std::optional<std::size_t>(tail.size()));
        EXPECT_EQ(read, tail);
    }
}

}  // namespace
}  // namespace vexlo::test
