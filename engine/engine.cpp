#include "engine/engine.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "engine/paths.h"

namespace vexlo {
namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::array<std::uint8_t, 4> kIEND = {0x49, 0x45, 0x4E, 0x44};
constexpr std::int64_t kMaxPosition = 0x7FFF'FFFF;

// True when `data` holds `pattern` at 1-based position `pos`; the caller has
// made sure the bytes exist.
template <std::size_t N>
bool At(std::span<const std::uint8_t> data, std::int64_t pos, const std::array<std::uint8_t, N>& pattern) {
    return std::memcmp(data.data() + (pos - 1), pattern.data(), N) == 0;
}

bool Starts(std::span<const std::uint8_t> data, std::string_view ascii) {
    return data.size() >= ascii.size() && std::memcmp(data.data(), ascii.data(), ascii.size()) == 0;
}

}  // namespace

bool CheckPNGEnd(std::span<const std::uint8_t> file, std::int32_t& Fstp, std::int32_t& OUTBUFSIZE) {
    Fstp = 0;
    OUTBUFSIZE = 0;
    // 64-bit positions: sp + L + 12 must not wrap where size_t is 32 bits.
    const auto FileLength = static_cast<std::int64_t>(file.size());
    std::int64_t sp = 9;
    while (sp + 8 <= FileLength) {
        if (At(file, sp + 4, kIEND)) {
            // The IEND chunk is always 12 bytes; its length field is not trusted.
            if (sp + 11 >= FileLength) return false;
            Fstp = static_cast<std::int32_t>(sp + 12);
            OUTBUFSIZE = static_cast<std::int32_t>(FileLength - (sp + 11));
            return true;
        }
        const std::size_t at = static_cast<std::size_t>(sp - 1);
        if (file[at] >= 0x80) return false;
        const std::int64_t L = (std::int64_t{file[at]} << 24) | (std::int64_t{file[at + 1]} << 16) |
                               (std::int64_t{file[at + 2]} << 8) | std::int64_t{file[at + 3]};
        if (sp + L + 12 > kMaxPosition) return false;
        sp += L + 12;
    }
    return false;
}

std::string_view GetFileType(std::span<const std::uint8_t> data) {
    // Each test needs its minimum length; too short data skips it and all later ones.
    if (data.size() < 2) return ".dat";
    if (Starts(data, "BM")) return ".bmp";
    if (data.size() < 3) return ".dat";
    if (Starts(data, "GIF")) return ".gif";
    if (data.size() < kPngSignature.size()) return ".dat";
    if (At(data, 1, kPngSignature)) return ".png";
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
    if (file.size() < kPngSignature.size() || !At(file, 1, kPngSignature)) return resNOTPNG;
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
