#include "engine/extract.h"

#include <algorithm>
#include <array>

#include "engine/output_writer.h"
#include "engine/trailer_kind.h"

namespace vexlo {
namespace {

// Bounded memory at any trailer size: one buffer of this size per Extractor.
constexpr std::size_t kPassBuffer = 256 * 1024;
// GetFileType looks at no more than the first 20 bytes.
constexpr std::size_t kSniffBytes = 20;

}  // namespace

bool Extractor::Pass(const platform::SourceFile& file, const ExtractOptions& options, ExtractReport& report,
                     OutputWriter* out) {
    std::uint8_t* const buffer = buffer_.Reserve(kPassBuffer);
    TrailerKind kind;
    std::uint64_t done = 0;
    while (done < report.trailer.length) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kPassBuffer, report.trailer.length - done));
        const std::optional<std::size_t> got = file.ReadAt(report.trailer.offset + done, {buffer, want});
        // Zero bytes before the end: the file shrank since the walk.
        if (!got || *got == 0) {
            if (options.describe && options.hash) hash_.Finish();  // the next source starts from a clean hash
            return false;
        }
        const std::span<const std::uint8_t> piece(buffer, *got);
        if (options.describe) {
            if (options.hash) hash_.Update(piece);
            kind.Feed(piece);
        }
        if (out != nullptr && !out->Write(piece)) out = nullptr;  // the partial output is gone already
        done += *got;
        if (options.progress) options.progress(done);
    }
    if (options.describe) {
        if (options.hash) report.sha256 = hash_.Finish();
        report.kind = kind.Kind();
    }
    return true;
}

ExtractReport Extractor::Examine(const platform::Path& source, const ExtractOptions& options) {
    ExtractReport report;
    report.fullPath = platform::FullPathName(source).value_or(platform::Path());
    // Only a path that names nothing is "no such file"; a path the system
    // will not look into (no permission, a loop of links) is unreadable.
    if (!platform::Exists(source, report.osError)) {
        report.result = platform::IsNotFound(report.osError) ? resNOFILE : resNOREAD;
        return report;
    }
    platform::SourceFile file;
    const platform::ReadStatus opened = file.Open(source);
    report.osError = opened.error;
    if (!opened) {
        // A dangling link exists as a name but opens nothing.
        report.result = opened.error != 0 && platform::IsNotFound(opened.error) ? resNOFILE : resNOREAD;
        return report;
    }
    report.result = resNOREAD;
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
    OutputWriter out;
    ProcessResult named = out.Choose(source, {}, report.extension);
    if (options.write && named == resDONE) named = out.Open();
    const bool writing = options.write && named == resDONE;

    if (!Pass(file, options, report, writing ? &out : nullptr)) {
        report.result = resNOREAD;
        return report;
    }
    report.hasTrailer = true;
    report.result = writing ? out.Commit() : named;
    if (report.result != resDONE) return report;
    report.output = out.Name();  // with write = false, the name the output would get
    if (options.write && options.open && IsImageType(report.extension)) {
        report.openFailure = platform::OpenForConsole(report.output).value_or(std::string());
    }
    return report;
}

}  // namespace vexlo
