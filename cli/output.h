// Everything vexlo-cli writes passes through one Output: results on standard
// output; failures, progress, the summary and messages on standard error.
#pragma once

#include <cstdio>
#include <string_view>

namespace vexlo::cli {

enum class Stream { Out, Err };

class Output {
public:
    Output(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // The text as it is. Standard error is flushed at once, so a message is
    // never held back behind a long file.
    void Write(Stream stream, std::string_view text);
    // Sends what standard output holds, before a line on standard error
    // that must come after it.
    void Flush(Stream stream);

private:
    std::FILE* File(Stream stream) const { return stream == Stream::Out ? out_ : err_; }

    std::FILE* const out_;
    std::FILE* const err_;
};

}  // namespace vexlo::cli
