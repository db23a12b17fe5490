// One source examined for vexlo-cli's reports, and extracted when asked,
// without holding it in memory: the streaming walk, then one pass over the
// trailer that hashes it, finds its kind and copies it through a bounded
// buffer. With the default limit the results and names are the window
// program's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "engine/stream_walk.h"
#include "platform/platform.h"
#include "platform/sha256.h"

namespace vexlo {

class OutputWriter;

struct ExtractOptions {
    std::uint64_t maxSize = kMaxSourceSize;  // 0: no limit
    bool write = false;                      // false: --check, nothing written
    bool open = false;                       // open written images in the viewer
    // Hash the trailer and tell its kind; false only copies it (at a fraction
    // of the cost), leaving sha256 and kind unset.
    bool describe = true;
    // With describe: also the SHA-256, the larger part of that cost; only
    // reports that show it need it.
    bool hash = true;
    // Called with the trailer bytes handled so far, for progress displays.
    std::function<void(std::uint64_t)> progress;
};

struct ExtractReport {
    ProcessResult result = resNOFILE;
    // With resNOFILE and resNOREAD, the system's reason when it gave one; else 0.
    platform::OsError osError = 0;
    platform::Path fullPath;  // the source's full path; empty when none could be made
    std::uint64_t size = 0;   // the source's size, once measured
    bool hasTrailer = false;  // offset, length, extension (and when described sha256, kind) are set
    TrailerSpan trailer;
    platform::Sha256::Digest sha256{};
    std::string_view extension;  // ".jpg", ".png", ".gif", ".bmp" or ".dat", as outputs are named
    std::string_view kind;       // TrailerKind's word
    platform::Path output;       // written, or with write = false the name it would get; empty when none
    // With open: why the output did not reach a viewer (one line of UTF-8), else empty.
    std::string openFailure;
};

// Holds the pass buffer and the hash between calls so a batch reuses them.
// Not reentrant: one call at a time.
class Extractor {
public:
    ExtractReport Examine(const platform::Path& source, const ExtractOptions& options);

private:
    // Reads the trailer once, feeding the hash, the kind and `out` unless it is
    // null; after a write error the output is removed and the pass goes on
    // without it, so the report still gets the hash and the kind. False when
    // a read failed.
    bool Pass(const platform::SourceFile& file, const ExtractOptions& options, ExtractReport& report,
              OutputWriter* out);

    platform::ByteBuffer buffer_;
    platform::Sha256 hash_;
};

}  // namespace vexlo
