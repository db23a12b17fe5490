// ProcessFile on a 2,048,000-byte PNG with ~1.9 MB of trailing data, against
// the floor of the same job done by hand: one read of the whole file and one
// write of the trailing bytes to a new file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileSize = 2'048'000;
constexpr std::size_t kTrailer = 1'900'000;

struct Fixture {
    fs::path dir;
    fs::path source;
    Fixture() {
        dir = fs::temp_directory_path() / ("vexlo-bench-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        source = dir / "big.png";
        // Signature, one IDAT chunk filling the image part, IEND, then the trailer.
        std::vector<unsigned char> bytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        const std::size_t idat = kFileSize - kTrailer - 8 - 12 - 12;
        for (const int shift : {24, 16, 8, 0}) bytes.push_back(static_cast<unsigned char>(idat >> shift));
        bytes.insert(bytes.end(), {'I', 'D', 'A', 'T'});
        for (std::size_t i = 0; i < idat; ++i) bytes.push_back(static_cast<unsigned char>(i * 31));
        bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82});
        bytes.insert(bytes.end(), {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'});
        while (bytes.size() < kFileSize) bytes.push_back(static_cast<unsigned char>(bytes.size() * 7));
        std::ofstream(source, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(dir, ec);
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
