#include "cli/output.h"

namespace vexlo::cli {

void Output::Write(Stream stream, std::string_view text) {
    std::FILE* const file = File(stream);
    std::fwrite(text.data(), 1, text.size(), file);
    if (stream == Stream::Err) std::fflush(file);
}

void Output::Flush(Stream stream) { std::fflush(File(stream)); }

}  // namespace vexlo::cli
