// ProcessFile on a 2,048,000-byte PNG with ~1.9 MB of trailing data, against
// the floor of the same job done by hand: one read of the whole file and one
// write of the trailing bytes to a new file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "engine/engine.h"
#include "tests/support/png_bytes.h"

namespace {

namespace fs = std::filesystem;
using vexlo::test::operator+;

constexpr std::size_t kFileSize = 2'048'000;
constexpr std::size_t kTrailer = 1'900'000;

struct Fixture {
    vexlo::test::TempFolder dir{"vexlo-bench"};
    fs::path source;
    Fixture() {
        // Signature, one IDAT chunk filling the image part, IEND, then a JPEG trailer.
        vexlo::test::Bytes idat(kFileSize - kTrailer - 8 - 12 - 12);
        for (std::size_t i = 0; i < idat.size(); ++i) idat[i] = static_cast<std::uint8_t>(i * 31);
        const vexlo::test::Bytes jpeg = vexlo::test::Jfif(kTrailer - vexlo::test::Jfif(0).size());
        source = dir.Write("big.png",
                           vexlo::test::kSignature + vexlo::test::Chunk("IDAT", idat) + vexlo::test::Iend() + jpeg);
    }
};

Fixture& Files() {
    static Fixture fixture;
    return fixture;
}

void BM_Floor(benchmark::State& state) {
    const Fixture& f = Files();
    const fs::path out = f.dir / "floor.jpg";
    std::vector<unsigned char> buffer(kFileSize);
    for (auto _ : state) {
        const int in = ::open(f.source.c_str(), O_RDONLY);
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        ::close(in);
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        const ssize_t put = ::write(fd, buffer.data() + (kFileSize - kTrailer), kTrailer);
        ::close(fd);
        if (got != static_cast<ssize_t>(kFileSize) || put != static_cast<ssize_t>(kTrailer)) {
            state.SkipWithError("floor I/O failed");
        }
        ::unlink(out.c_str());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_Floor)->Unit(benchmark::kMicrosecond);

void BM_ProcessFile(benchmark::State& state) {
    const Fixture& f = Files();
    vexlo::Engine engine;
    for (auto _ : state) {
        if (engine.ProcessFile(f.source.native(), {}) != vexlo::resDONE ||
            engine.OUTBUFSIZE != static_cast<std::int32_t>(kTrailer)) {
            state.SkipWithError("ProcessFile failed");
        }
        ::unlink(engine.OutFileName.c_str());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_ProcessFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
