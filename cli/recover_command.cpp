#include "cli/recover_command.h"

#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/report_lines.h"
#include "codec/png_encode.h"
#include "engine/output_writer.h"
#include "platform/source_file.h"
#include "png/format.h"

namespace vexlo::cli {
namespace {

constexpr std::string_view kRemnantKind = "png-remnant";

// Reads exactly bytes.size() bytes at `offset`; false on a read error or a
// file that shrank since it was walked.
bool ReadExactly(const platform::SourceFile& file, std::uint64_t offset, std::span<std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::optional<std::size_t> got = file.ReadAt(offset + done, bytes.subspan(done));
        if (!got || *got == 0) return false;
        done += *got;
    }
    return true;
}

// Writes both pictures, or neither: nothing is committed until both are written.
ProcessResult WritePictures(const platform::Path& source, RecoverReport& report) {
    const recover::Result& result = report.result;
    const std::array<std::string_view, 2> suffixes = {".recovered", ".guessed"};
    const std::array<std::vector<std::uint8_t>, 2> pictures = {
        codec::EncodeRgbaPng(result.width, result.rows, result.known),
        codec::EncodeRgbaPng(result.width, result.rows, result.guess)};
    std::array<OutputWriter, 2> outputs;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (pictures[i].empty()) return resNOWRITE;
        ProcessResult created = outputs[i].Choose(source, suffixes[i], ".png");
        if (created == resDONE) created = outputs[i].Open();
        if (created != resDONE) return created;
        if (!outputs[i].Write(pictures[i])) return resNOWRITE;
    }
    if (const ProcessResult committed = CommitAll(outputs); committed != resDONE) return committed;
    report.picture = outputs[0].Name();
    report.guess = outputs[1].Name();
    return resDONE;
}

}  // namespace

recover::Hint HintFromHeader(std::span<const std::uint8_t> head) {
    recover::Hint hint;
    const std::optional<png::Ihdr> ihdr = png::ReadIhdr(head);
    if (!ihdr) return hint;
    hint.width = ihdr->width;
    hint.height = ihdr->height;
    hint.bitDepth = ihdr->bitDepth;
    hint.colourType = ihdr->colourType;
    return hint;
}

RecoverReport Recoverer::Examine(const platform::Path& source, const RecoverOptions& options) {
    RecoverReport report;
    ExtractOptions extract;
    extract.maxSize = options.maxSize;
    extract.hash = options.hash;  // the kind alone decides; the hash is only reported
    report.extraction = extractor_.Examine(source, extract);
    report.extraction.output.clear();  // the extraction's name: nothing is extracted here
    recover::Result& result = report.result;
    if (report.extraction.result == resNOTRAIL) {
        result.message = "nothing after the end of the image";
        return report;
    }
    if (!report.extraction.hasTrailer) return report;
    report.extraction.result = resDONE;  // a name for extraction, free or not, does not matter here
    const std::uint64_t length = report.extraction.trailer.length;
    if (report.extraction.kind != kRemnantKind) {
        result.message =
            "the data after the image is of kind " + std::string(report.extraction.kind) + ", not a PNG remnant";
        return report;
    }
    if (length > kMaxRemnant) {
        result.status = recover::Status::NothingRebuilt;
        result.message =
            "a remnant of " + WithSeparators(length) + " bytes, more than the " + WithSeparators(kMaxRemnant) + " read";
        return report;
    }

    // The cropped picture itself too, within the same bound: the rebuilding
    // takes its header as a hint and its colours for the guess.
    const std::uint64_t offset = report.extraction.trailer.offset;
    platform::SourceFile file;
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(offset <= kMaxRemnant ? offset : png::kIhdrEnd));
    std::vector<std::uint8_t> trailer(static_cast<std::size_t>(length));
    const platform::ReadStatus opened = file.Open(source);
    if (!opened || !ReadExactly(file, 0, picture) || !ReadExactly(file, offset, trailer)) {
        // The file changed or failed since the walk: reported as unreadable, as extraction does.
        platform::Path fullPath = std::move(report.extraction.fullPath);
        report.extraction = ExtractReport();
        report.extraction.result = resNOREAD;
        report.extraction.osError = opened.error;
        report.extraction.fullPath = std::move(fullPath);
        return report;
    }
    recover::Hint hint = HintFromHeader(picture);
    if (offset <= kMaxRemnant) hint.picture = picture;
    recover::Options recoverOptions;
    recoverOptions.width = options.width;
    result = recover::Recover(trailer, hint, recoverOptions);
    if (result.status == recover::Status::Recovered) {
        report.extraction.result = WritePictures(source, report);
        if (options.open && report.Written()) {
            report.extraction.openFailure = platform::OpenForConsole(report.guess).value_or(std::string());
        }
    }
    // The pixels are written or not needed any more; a batch keeps only the figures.
    result.known = {};
    result.guess = {};
    return report;
}

}  // namespace vexlo::cli
