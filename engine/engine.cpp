#include "engine/engine.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "engine/paths.h"
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
        const png::Step step = png::ChunkStep(file.subspan(static_cast<std::size_t>(at)).first<png::kHeaderSize>(),
                                              at, FileLength);
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

platform::Path Engine::ChooseOutFileName(const platform::Path& FileName,
                                         const std::vector<platform::Path>& refused) const {
    const auto exists = [&refused](const platform::Path& candidate) {
        return platform::Exists(candidate) ||
               std::find(refused.begin(), refused.end(), candidate) != refused.end();
    };
    return MakeOutFileName<NativeSyntax>(FileName, FileType, platform::FullPathName, exists);
}

ProcessResult Engine::Prepare(const platform::Path& FileName) {
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

    result = resNONAME;
    OutFileName = ChooseOutFileName(FileName, {});
    if (OutFileName.empty()) return result;
    return resDONE;
}

ProcessResult Engine::ProcessFile(const platform::Path& FileName, const ViewerSettings& viewer) {
    if (const ProcessResult prepared = Prepare(FileName); prepared != resDONE) return prepared;

    // Created exclusively: if another file took the chosen name since it was
    // chosen, the next free name is tried. Each refusal removes a candidate,
    // so this ends after at most 101 tries.
    std::vector<platform::Path> refused;
    for (;;) {
        platform::NewFile out;
        const platform::CreateStatus created = out.Create(OutFileName);
        if (created == platform::CreateStatus::Failed) return resNOWRITE;
        if (created == platform::CreateStatus::Exists) {
            refused.push_back(OutFileName);
            OutFileName = ChooseOutFileName(FileName, refused);
            if (OutFileName.empty()) return resNONAME;
            continue;
        }
        // A failed write or close removes the partial output (NewFile's destructor).
        if (!out.Write(OutBuf()) || !out.Commit()) return resNOWRITE;
        break;
    }

    if (viewer.chkVIEW == kChecked && IsImageType(FileType)) viewer.open(OutFileName, viewer.owner);
    return resDONE;
}

}  // namespace vexlo
