#include "engine/engine.h"

#include <cstring>
#include <new>

#include "engine/output_writer.h"
#include "png/format.h"

namespace vexlo {
namespace {

constexpr std::int64_t kMaxPosition = 0x7FFF'FFFF;

bool Starts(std::span<const std::uint8_t> data, std::string_view ascii) {
    return data.size() >= ascii.size() && std::memcmp(data.data(), ascii.data(), ascii.size()) == 0;
}

}  // namespace

bool CheckPNGEnd(std::span<const std::uint8_t> file, std::int32_t& Fstp, std::int32_t& OUTBUFSIZE) {
    Fstp = 0;
    OUTBUFSIZE = 0;
    // 64-bit offsets: a step must not wrap where size_t is 32 bits. Positions
    // are 1-based (sp = offset + 1) and stay within 2^31 - 1.
    const std::uint64_t FileLength = file.size();
    std::uint64_t at = png::kFirstChunk;
    while (png::HeaderFits(at, FileLength)) {
        const png::Step step =
            png::ChunkStep(file.subspan(static_cast<std::size_t>(at)).first<png::kHeaderSize>(), at, FileLength);
        if (step.kind == png::Step::Kind::Trailer) {
            Fstp = static_cast<std::int32_t>(step.at + 1);
            OUTBUFSIZE = static_cast<std::int32_t>(FileLength - step.at);
            return true;
        }
        if (step.kind == png::Step::Kind::Stop || static_cast<std::int64_t>(step.at) + 1 > kMaxPosition) return false;
        at = step.at;
    }
    return false;
}

std::string_view GetFileType(std::span<const std::uint8_t> data) {
    // Each test needs its minimum length; too short data skips it and all later ones.
    if (data.size() < 2) return ".dat";
    if (Starts(data, "BM")) return ".bmp";
    if (data.size() < 3) return ".dat";
    if (Starts(data, "GIF")) return ".gif";
    if (data.size() < png::kSignature.size()) return ".dat";
    if (png::HasSignature(data)) return ".png";
    if (data.size() < 20) return ".dat";
    const std::string_view jfif = "JFIF";
    for (std::size_t i = 0; i < 17; ++i) {
        if (std::memcmp(data.data() + i, jfif.data(), jfif.size()) == 0) return ".jpg";
    }
    return ".dat";
}

bool IsImageType(std::string_view FileType) {
    return FileType == ".bmp" || FileType == ".gif" || FileType == ".png" || FileType == ".jpg";
}

ProcessResult ExamineSource(std::span<const std::uint8_t> file, Trailer& trailer) {
    trailer = {};
    if (!png::HasSignature(file)) return resNOTPNG;
    if (!CheckPNGEnd(file, trailer.Fstp, trailer.OUTBUFSIZE)) return resNOTRAIL;
    trailer.FileType = GetFileType(file.subspan(static_cast<std::size_t>(trailer.Fstp - 1)));
    return resDONE;
}

ProcessResult Engine::Prepare(const platform::Path& FileName) {
    OutputWriter output;
    return Prepare(FileName, output);
}

ProcessResult Engine::Prepare(const platform::Path& FileName, OutputWriter& output) {
    ProcessResult result = resNOFILE;
    if (!platform::Exists(FileName)) return result;

    result = resNOREAD;
    try {
        const platform::ReadStatus read =
            platform::ReadWholeFile(FileName, static_cast<std::uint32_t>(kMaxSourceSize), fileBuf_, FileLength);
        if (read != platform::ReadStatus::Ok) return result;
    } catch (const std::bad_alloc&) {
        return result;
    }
    const std::span<const std::uint8_t> file(fileBuf_.data(), static_cast<std::size_t>(FileLength));

    Trailer trailer;
    result = ExamineSource(file, trailer);
    if (result != resNOTPNG) OUTBUFSIZE = trailer.OUTBUFSIZE;
    if (result != resDONE) return result;
    try {
        std::memcpy(outBuf_.Reserve(static_cast<std::size_t>(OUTBUFSIZE)), file.data() + (trailer.Fstp - 1),
                    static_cast<std::size_t>(OUTBUFSIZE));
    } catch (const std::bad_alloc&) {
        OUTBUFSIZE = 0;
        return resNOTRAIL;
    }
    FileType = trailer.FileType;

    result = output.Choose(FileName, {}, FileType);
    OutFileName = output.Name();
    return result;
}

ProcessResult Engine::ProcessFile(const platform::Path& FileName, const ViewerSettings& viewer) {
    OutputWriter output;
    if (const ProcessResult prepared = Prepare(FileName, output); prepared != resDONE) return prepared;
    // Never over an existing file; a failed write or close leaves nothing behind.
    ProcessResult result = output.Open();
    if (result == resDONE) result = output.Write(OutBuf()) ? output.Commit() : resNOWRITE;
    OutFileName = output.Name();
    if (result != resDONE) return result;

    if (viewer.chkVIEW == kChecked && IsImageType(FileType)) viewer.open(OutFileName, viewer.owner);
    return resDONE;
}

}  // namespace vexlo
