// Files for the tests: whole files as bytes, and a fresh folder of their own.
// The tests live in vexlo::test beside these helpers and find them by their
// short names.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/path.h"

namespace vexlo::test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A name or path as the platform spells it, from ASCII text.
inline platform::Path NativePath(std::string_view ascii) { return platform::Path(ascii.begin(), ascii.end()); }

// Whole files as bytes: sources the tests write, outputs they read back.
inline Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
// False when the file could not be written in full.
inline bool WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

// The names directly in folder `dir`.
inline std::set<std::filesystem::path> Names(const std::filesystem::path& dir) {
    std::set<std::filesystem::path> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
}

// A folder of its own under the temporary folder, removed with everything
// in it. The random part keeps parallel runs and leftovers of a killed run apart.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "vexlo-test") {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }
    // Writes `bytes` to `name` (folders on the way are made) and gives its path.
    std::filesystem::path Write(const std::filesystem::path& name, const Bytes& bytes) const {
        const std::filesystem::path file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        WriteFileBytes(file, bytes);
        return file;
    }
    std::set<std::filesystem::path> Names() const { return test::Names(path_); }

private:
    std::filesystem::path path_;
};

}  // namespace vexlo::test
