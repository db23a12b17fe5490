// The chunk walk over an open source, reading only chunk headers and seeking
// over chunk data: flat memory and 64-bit offsets at any file size.
#pragma once

#include <cstdint>

#include "engine/engine.h"
#include "platform/source_file.h"

namespace vexlo {

struct TrailerSpan {
    std::uint64_t offset = 0;  // 0-based offset of the first byte after IEND's CRC
    std::uint64_t length = 0;  // number of trailing bytes
};

// For every source of at most kMaxSourceSize bytes, the same verdict as
// ExamineSource on the whole file in memory (resNOTPNG, resNOTRAIL, or resDONE
// with offset = Fstp - 1 and length = OUTBUFSIZE); at any size beyond, the
// same walk without the 2^31 bound. resNOREAD when a read fails.
ProcessResult WalkSource(const platform::SourceFile& source, TrailerSpan& trailer);

}  // namespace vexlo
