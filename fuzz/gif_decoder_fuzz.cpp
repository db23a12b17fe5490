// The GIF reader over arbitrary bytes: it reads our own resources, but a
// damaged one must fail to load, never read past its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codec/gif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto image = vexlo::codec::DecodeGif(std::span(data, size));
    if (!image) return 0;
    if (image->width <= 0 || image->height <= 0) std::abort();
    if (image->pixels.size() != static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height)) {
        std::abort();
    }
    return 0;
}
