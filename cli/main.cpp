// vexlo-cli: the extraction engine for terminals and scripts. Same limits,
// names and result codes as the window; one line (or JSON object) per file.
// With --recover, the picture behind a cropped PNG's remnant instead.
#include <cstdio>
#include <variant>
#include <vector>

#include "cli/options.h"
#include "cli/output.h"
#include "cli/run.h"
#include "platform/interrupt.h"
#include "version.h"

namespace {

namespace cli = vexlo::cli;
using cli::Stream;

int Main(const std::vector<vexlo::platform::Path>& args, cli::Output& output) {
    const auto parsed = cli::ParseOptions(args);
    if (const auto* stop = std::get_if<cli::Stop>(&parsed)) {
        output.Write(Stream::Out, *stop == cli::Stop::Help ? cli::kUsage : VEXLO_NAME " " VEXLO_VERSION_TEXT "\n");
        return 0;
    }
    if (const auto* error = std::get_if<cli::UsageError>(&parsed)) {
        output.Write(Stream::Err, "vexlo-cli: " + error->message + "\n" + cli::kUsage);
        return 2;
    }
    return cli::Run(std::get<cli::Options>(parsed), output);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    // An interrupted run leaves no partial output behind.
    vexlo::platform::RemoveOnInterrupt();
    cli::Output output(stdout, stderr);
    return output.Finish(cli::Guarded(output, [&] { return Main({argv + 1, argv + argc}, output); }));
}
