// The extraction engine: one source path in, the bytes after its PNG IEND
// chunk written to a new file beside it, a result code out.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "platform/platform.h"

namespace vexlo {

enum ProcessResult : std::int32_t {
    resDONE = 0,     // trailing data written
    resNOFILE = 1,   // the path names nothing
    resNOREAD = 2,   // cannot be opened or read, or larger than kMaxSourceSize
    resNOTPNG = 3,   // shorter than 8 bytes or no PNG signature
    resNOTRAIL = 4,  // no IEND reached, or nothing after its CRC
    resNONAME = 5,   // no free output name
    resNOWRITE = 6,  // the output could not be created or written
};

inline constexpr std::int32_t kMaxSourceSize = 2'048'000;

// The check box value that means "ticked"; any other value means not ticked.
inline constexpr int kChecked = 1;

// What the main window tells the engine for each file.
struct ViewerSettings {
    int chkVIEW = 0;                         // 1 ticked, anything else not
    platform::WindowHandle owner = nullptr;  // owner of the viewer launch
    // The launch itself; tests put a recorder here.
    std::function<void(const platform::Path&, platform::WindowHandle)> open = platform::OpenInViewer;
};

// Walks the chunks of `file` (signature already checked) to the first IEND.
// On success Fstp is the 1-based position of the first trailing byte and
// OUTBUFSIZE the number of trailing bytes; otherwise both are 0.
bool CheckPNGEnd(std::span<const std::uint8_t> file, std::int32_t& Fstp, std::int32_t& OUTBUFSIZE);

// ".bmp", ".gif", ".png", ".jpg" or ".dat", from the first bytes of `data`.
std::string_view GetFileType(std::span<const std::uint8_t> data);

// True for the types the viewer is asked to open.
bool IsImageType(std::string_view FileType);

// Where the trailing data of a source's bytes lies and what it looks like.
struct Trailer {
    std::int32_t Fstp = 0;        // 1-based position of the first trailing byte
    std::int32_t OUTBUFSIZE = 0;  // number of trailing bytes
    std::string_view FileType;    // sniffed from the trailing bytes
};

// The engine's verdict on a whole source held in memory: resNOTPNG,
// resNOTRAIL, or resDONE with `trailer` filled in.
ProcessResult ExamineSource(std::span<const std::uint8_t> file, Trailer& trailer);

class OutputWriter;

// Holds the engine's buffers between calls so a batch reuses them. Not
// reentrant: one call at a time.
class Engine {
public:
    // Everything ProcessFile does except creating the output and the viewer
    // launch: on resDONE, OutFileName is the name the output would get.
    ProcessResult Prepare(const platform::Path& FileName);

    // Steps of Prepare, then the output written exclusively (the next free name
    // when one was taken meanwhile), then the viewer for images when ticked.
    ProcessResult ProcessFile(const platform::Path& FileName, const ViewerSettings& viewer);

    std::span<const std::uint8_t> OutBuf() const { return {outBuf_.data(), static_cast<std::size_t>(OUTBUFSIZE)}; }
    std::int32_t FileLength = 0;
    std::int32_t OUTBUFSIZE = 0;
    std::string_view FileType;
    platform::Path OutFileName;

private:
    // Prepare's steps, the name chosen in `output`.
    ProcessResult Prepare(const platform::Path& FileName, OutputWriter& output);

    platform::ByteBuffer fileBuf_;
    platform::ByteBuffer outBuf_;
};

}  // namespace vexlo
