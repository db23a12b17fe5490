// Without libFuzzer: feeds every file of the given folders (or the given
// files) to the target once, so CI replays corpora and past crashers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::size_t count = 0;
    const auto run = [&count](const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> read{std::istreambuf_iterator<char>(in), {}};
        // Exactly the input's size, as libFuzzer hands it over: a vector's
        // spare capacity would hide a read past the end from the sanitizer.
        const auto bytes = std::make_unique_for_overwrite<std::uint8_t[]>(read.size());
        std::copy(read.begin(), read.end(), bytes.get());
        LLVMFuzzerTestOneInput(bytes.get(), read.size());
        ++count;
    };
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        if (fs::is_directory(arg)) {
            for (const auto& entry : fs::recursive_directory_iterator(arg)) {
                if (entry.is_regular_file()) run(entry.path());
            }
        } else if (fs::exists(arg)) {
            run(arg);
        }
    }
    std::printf("replayed %zu inputs\n", count);
    return count > 0 ? 0 : 1;
}
