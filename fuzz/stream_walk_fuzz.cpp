// Differential: the streaming walk over the input written to a file must give
// exactly the verdict and trailer of ExamineSource on the same bytes in memory.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "engine/engine.h"
#include "engine/stream_walk.h"
#include "platform/source_file.h"

namespace {

// One file per process, removed at exit.
struct ScratchFile {
    std::string path =
        (std::filesystem::temp_directory_path() / ("vexlo-stream-walk-" + std::to_string(::getpid()) + ".png"))
            .string();
    ~ScratchFile() { ::unlink(path.c_str()); }
};

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 && done == size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(vexlo::kMaxSourceSize)) return 0;
    static const ScratchFile scratch;
    if (!WriteFile(scratch.path, data, size)) std::abort();  // no verdict to compare: the set-up failed

    vexlo::platform::SourceFile source;
    if (!source.Open(scratch.path) || source.Size() != size) std::abort();
    vexlo::TrailerSpan span;
    const vexlo::ProcessResult walked = vexlo::WalkSource(source, span);

    vexlo::Trailer trailer;
    const vexlo::ProcessResult examined = vexlo::ExamineSource(std::span<const std::uint8_t>(data, size), trailer);
    const std::uint64_t offset = trailer.Fstp > 0 ? static_cast<std::uint64_t>(trailer.Fstp - 1) : 0;
    if (walked != examined || span.offset != offset || span.length != static_cast<std::uint64_t>(trailer.OUTBUFSIZE)) {
        __builtin_trap();
    }
    return 0;
}
