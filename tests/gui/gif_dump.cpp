// gif_dump IN OUT: decodes IN with the program's GIF reader and writes its
// pixels to OUT as raw RGBA, row by row, for comparison with another
// decoder. Exit status 1 when IN does not decode.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/gif_decoder.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    std::ifstream in(std::filesystem::path(argv[1]), std::ios::binary);
    std::vector<std::uint8_t> const bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto const image = vexlo::DecodeGif(bytes);
    if (!image) return 1;
    std::vector<char> rgba;
    rgba.reserve(image->pixels.size() * 4);
    for (std::uint32_t const p : image->pixels) {
        rgba.push_back(static_cast<char>((p >> 16) & 0xFF));
        rgba.push_back(static_cast<char>((p >> 8) & 0xFF));
        rgba.push_back(static_cast<char>(p & 0xFF));
        rgba.push_back(static_cast<char>(p >> 24));
    }
    std::ofstream out(std::filesystem::path(argv[2]), std::ios::binary);
    out.write(rgba.data(), static_cast<std::streamsize>(rgba.size()));
    std::printf("%dx%d\n", image->width, image->height);
    return out ? 0 : 1;
}
