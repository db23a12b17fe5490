// vexlo-cli --recover, one source at a time: the walk finds the trailer and
// its kind; a png-remnant is read into memory, rebuilt from the cropped
// picture's header as a hint, and the two pictures are written beside the
// source: NAME.recovered.png (only what is known for certain) and
// NAME.guessed.png (the best guess), each under the next free name as for
// extraction.
#pragma once

#include <cstdint>
#include <string>

#include "engine/extract.h"
#include "platform/platform.h"
#include "recover/recover.h"

namespace vexlo::cli {

// Remnants up to this size are read into memory and rebuilt; a larger one is
// not read at all, so a run's memory stays bounded whatever the input. The
// cropped picture before it is read whole within the same bound (else only
// its header).
inline constexpr std::uint64_t kMaxRemnant = 64 * 1024 * 1024;

struct RecoverOptions {
    std::uint64_t maxSize = kMaxSourceSize;  // 0: no limit
    std::uint32_t width = 0;                 // the original's width; 0: find it
    bool open = false;                       // open the best guess in the viewer
    bool hash = false;                       // the trailer's SHA-256 for the report (JSON shows it)
};

struct RecoverReport {
    // The walk's verdict. resDONE once the file was examined (whatever the
    // recovery gave), resNONAME or resNOWRITE when rebuilt pictures could
    // not be written, else why the file could not be examined (then nothing
    // below is set). `output` stays empty: nothing is extracted.
    ExtractReport extraction;
    // Rebuilt or why not, without the pixels (dropped once written).
    recover::Result result;
    platform::Path picture;  // NAME.recovered.png as written; empty when none
    platform::Path guess;    // NAME.guessed.png as written; empty when none

    bool Examined() const { return extraction.hasTrailer || extraction.result == resNOTRAIL; }
    // Both pictures written.
    bool Written() const { return !picture.empty() && !guess.empty(); }
};

// The IHDR of a PNG's first bytes (signature included) as a recovery hint;
// a zero width when the first chunk is not a 13-byte IHDR.
recover::Hint HintFromHeader(std::span<const std::uint8_t> head);

// Holds the walk's buffers between calls. Not reentrant: one call at a time.
class Recoverer {
public:
    RecoverReport Examine(const platform::Path& source, const RecoverOptions& options);

private:
    Extractor extractor_;
};

}  // namespace vexlo::cli
