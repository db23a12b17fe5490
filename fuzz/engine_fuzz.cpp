// The engine's verdict on arbitrary bytes: it must never read outside the
// input, and whatever it reports must be consistent with the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "engine/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(vexlo::kMaxSourceSize)) return 0;
    const std::span<const std::uint8_t> file(data, size);
    vexlo::Trailer trailer;
    const vexlo::ProcessResult result = vexlo::ExamineSource(file, trailer);
    switch (result) {
        case vexlo::resNOTPNG:
        case vexlo::resNOTRAIL:
            if (trailer.Fstp != 0 || trailer.OUTBUFSIZE != 0) std::abort();
            break;
        case vexlo::resDONE:
            // The trailer starts after a 12-byte IEND and runs exactly to the end.
            if (trailer.Fstp < 21 || trailer.OUTBUFSIZE < 1) std::abort();
            if (static_cast<std::size_t>(trailer.Fstp - 1 + trailer.OUTBUFSIZE) != size) std::abort();
            if (!vexlo::IsImageType(trailer.FileType) && trailer.FileType != ".dat") std::abort();
            break;
        default: std::abort();
    }
    return 0;
}
