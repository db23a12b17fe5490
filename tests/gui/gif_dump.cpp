// gif_dump IN OUT: decodes IN with the program's GIF reader and writes its
// pixels to OUT as raw RGBA, row by row, for comparison with another
// decoder. Exit status 1 when IN does not decode.
#include <windows.h>

#include <cstdio>

#include "tests/support/files.h"
#include "codec/gif_decoder.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    vexlo::test::Bytes const bytes = vexlo::test::ReadFileBytes(argv[1]);
    auto const image = vexlo::codec::DecodeGif(bytes);
    if (!image) return 1;
    vexlo::test::Bytes rgba;
    rgba.reserve(image->pixels.size() * 4);
    for (std::uint32_t const p : image->pixels) {
        rgba.push_back(static_cast<std::uint8_t>((p >> 16) & 0xFF));
        rgba.push_back(static_cast<std::uint8_t>((p >> 8) & 0xFF));
        rgba.push_back(static_cast<std::uint8_t>(p & 0xFF));
        rgba.push_back(static_cast<std::uint8_t>(p >> 24));
    }
    if (!vexlo::test::WriteFileBytes(argv[2], rgba)) return 1;
    std::printf("%dx%d\n", image->width, image->height);
    return 0;
}
