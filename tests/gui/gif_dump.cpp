// gif_dump IN OUT: decodes IN with the program's GIF reader and writes its
// pixels to OUT as raw RGBA, row by row, for comparison with another
// decoder. Exit status 1 when IN does not decode.
#include <windows.h>

#include <cstdio>

#include "codec/gif_decoder.h"
#include "tests/support/files.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const vexlo::test::Bytes bytes = vexlo::test::ReadFileBytes(argv[1]);
    const auto image = vexlo::codec::DecodeGif(bytes);
    if (!image) return 1;
    vexlo::test::Bytes rgba;
    rgba.reserve(image->pixels.size() * 4);
    for (const std::uint32_t p : image->pixels) {
        rgba.push_back(static_cast<std::uint8_t>((p >> 16) & 0xFF));
        rgba.push_back(static_cast<std::uint8_t>((p >> 8) & 0xFF));
        rgba.push_back(static_cast<std::uint8_t>(p & 0xFF));
        rgba.push_back(static_cast<std::uint8_t>(p >> 24));
    }
    if (!vexlo::test::WriteFileBytes(argv[2], rgba)) return 1;
    std::printf("%dx%d\n", image->width, image->height);
    return 0;
}
