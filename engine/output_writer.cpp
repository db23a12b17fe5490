#include "engine/output_writer.h"

#include <algorithm>

#include "engine/paths.h"

namespace vexlo {

ProcessResult OutputWriter::Choose(const platform::Path& source, std::string_view suffix, std::string_view extension) {
    Discard();
    source_ = source;
    suffix_ = suffix;
    extension_ = extension;
    refused_.clear();
    name_ = FreeName();
    return name_.empty() ? resNONAME : resDONE;
}

platform::Path OutputWriter::FreeName() const {
    const auto exists = [this](const platform::Path& candidate) {
        return platform::Exists(candidate) || std::find(refused_.begin(), refused_.end(), candidate) != refused_.end();
    };
    return MakeOutFileName<NativeSyntax>(source_, suffix_, extension_, platform::FullPathName, exists);
}

ProcessResult OutputWriter::Open() {
    if (name_.empty()) return resNONAME;
    return file_.Create(name_, source_) == platform::CreateStatus::Ok ? resDONE : resNOWRITE;
}

bool OutputWriter::Write(std::span<const std::uint8_t> piece) {
    if (file_.Write(piece)) return true;
    Discard();
    return false;
}

ProcessResult OutputWriter::Claim() {
    if (!file_.Close()) return resNOWRITE;
    // Each refusal removes a candidate, so this ends after at most 101 tries.
    while (!name_.empty()) {
        const platform::CreateStatus claimed = file_.Claim(name_);
        if (claimed == platform::CreateStatus::Ok) return resDONE;
        if (claimed == platform::CreateStatus::Failed) return resNOWRITE;
        refused_.push_back(name_);
        name_ = FreeName();
    }
    Discard();
    return resNONAME;
}

ProcessResult OutputWriter::Commit() {
    const ProcessResult claimed = Claim();
    if (claimed == resDONE) file_.Keep();
    return claimed;
}

void OutputWriter::Discard() { file_.Discard(); }

ProcessResult CommitAll(std::span<OutputWriter> outputs) {
    for (OutputWriter& output : outputs) {
        if (const ProcessResult claimed = output.Claim(); claimed != resDONE) {
            for (OutputWriter& rest : outputs) rest.Discard();
            return claimed;
        }
    }
    for (OutputWriter& output : outputs) output.file_.Keep();
    return resDONE;
}

}  // namespace vexlo
