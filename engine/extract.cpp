#include "engine/extract.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "engine/paths.h"
#include "engine/trailer_kind.h"

namespace vexlo {
namespace {

// Bounded memory at any trailer size: one buffer of this size per Extractor.
constexpr std::size_t kPassBuffer = 256 * 1024;
// GetFileType looks at no more than the first 20 bytes.
constexpr std::size_t kSniffBytes = 20;

// The same choice as the window program's: `refused` lists names an exclusive
// create found taken although the existence test called them free.
platform::Path ChooseOutFileName(const platform::Path& source, std::string_view extension,
                                 const std::vector<platform::Path>& refused) {
    const auto exists = [&refused](const platform::Path& candidate) {
        return platform::Exists(candidate) || std::find(refused.begin(), refused.end(), candidate) != refused.end();
    };
    return MakeOutFileName<NativeSyntax>(source, extension, platform::FullPathName, exists);
}

// Creates `out` exclusively under `name`, or under the next free name when
// another file took it meanwhile; each refusal removes a candidate, so this
// ends after at most 101 tries, as in Engine::ProcessFile.
ProcessResult CreateOutput(const platform::Path& source, std::string_view extension, platform::Path& name,
                           platform::NewFile& out) {
    std::vector<platform::Path> refused;
    for (;;) {
        const platform::CreateStatus created = out.Create(name);
        if (created == platform::CreateStatus::Ok) return resDONE;
        if (created == platform::CreateStatus::Failed) return resNOWRITE;
        refused.push_back(name);
        name = ChooseOutFileName(source, extension, refused);
        if (name.empty()) return resNONAME;
    }
}

}  // namespace

Extractor::PassResult Extractor::Pass(const platform::SourceFile& file, const ExtractOptions& options,
                                  ExtractReport& report, platform::NewFile* out) {
    std::uint8_t* const buffer = buffer_.Reserve(kPassBuffer);
    TrailerKind kind;
    bool writeFailed = false;
    std::uint64_t done = 0;
    while (done < report.trailer.length) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kPassBuffer, report.trailer.length - done));
        const std::optional<std::size_t> got = file.ReadAt(report.trailer.offset + done, {buffer, want});
        // Zero bytes before the end: the file shrank since the walk.
        if (!got || *got == 0) {
            if (options.describe && options.hash) hash_.Finish();  // the next source starts from a clean hash
            return PassResult::ReadFailed;
        }
        const std::span<const std::uint8_t> piece(buffer, *got);
        if (options.describe) {
            if (options.hash) hash_.Update(piece);
            kind.Feed(piece);
        }
        if (out != nullptr && !out->Write(piece)) {
            *out = platform::NewFile();  // removes the partial output now
            out = nullptr;
            writeFailed = true;
        }
        done += *got;
        if (options.progress) options.progress(done);
    }
    if (options.describe) {
        if (options.hash) report.sha256 = hash_.Finish();
        report.kind = kind.Kind();
    }
    return writeFailed ? PassResult::WriteFailed : PassResult::Ok;
}

ExtractReport Extractor::Examine(const platform::Path& source, const ExtractOptions& options) {
    ExtractReport report;
    report.fullPath = platform::FullPathName(source).value_or(platform::Path());
    report.result = resNOFILE;
    if (!platform::Exists(source, report.osError)) return report;

    report.result = resNOREAD;
    platform::SourceFile file;
    const platform::ReadStatus opened = file.Open(source);
    report.osError = opened.error;
    if (!opened) return report;
    report.size = file.Size();
    if (options.maxSize != 0 && report.size > options.maxSize) return report;

    report.result = WalkSource(file, report.trailer);
    if (report.result != resDONE) return report;
    std::array<std::uint8_t, kSniffBytes> head{};
    const std::size_t sniff = static_cast<std::size_t>(std::min<std::uint64_t>(kSniffBytes, report.trailer.length));
    const std::optional<std::size_t> sniffed = file.ReadAt(report.trailer.offset, std::span(head).first(sniff));
    if (!sniffed || *sniffed != sniff) {
        report.result = resNOREAD;
        return report;
    }
    report.extension = GetFileType(std::span(head).first(sniff));

    // The verdict on the name comes before the pass, as in the window program,
    // but the pass runs anyway so every report with a trailer has its hash and kind.
    report.output = ChooseOutFileName(source, report.extension, {});
    ProcessResult named = report.output.empty() ? resNONAME : resDONE;
    platform::NewFile out;
    if (options.write && named == resDONE) named = CreateOutput(source, report.extension, report.output, out);
    const bool writing = options.write && named == resDONE;

    const PassResult pass = Pass(file, options, report, writing ? &out : nullptr);
    if (pass == PassResult::ReadFailed) {
        report.result = resNOREAD;
        report.output.clear();
        return report;
    }
    report.hasTrailer = true;
    report.result = named;
    if (!options.write) return report;

    // A failed write or close removes the partial output (NewFile).
    if (writing && (pass == PassResult::WriteFailed || !out.Commit())) report.result = resNOWRITE;
    if (report.result != resDONE) {
        report.output.clear();
        return report;
    }
    if (options.open && IsImageType(report.extension)) {
        const auto failed = platform::OpenForConsole(report.output);
        if (failed) std::fprintf(stderr, "vexlo-cli: %s\n", failed->c_str());
    }
    return report;
}

}  // namespace vexlo
