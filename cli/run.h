// One run of vexlo-cli over its inputs, extraction, --check and --recover
// alike: every input's line (or JSON object) in order, then the summary.
#pragma once

#include <functional>

#include "cli/options.h"
#include "cli/output.h"

namespace vexlo::cli {

// The exit status: 0 when every file succeeded, else 1 (also when a report
// could not be written: the run then stops; Output::Finish says why).
int Run(const Options& options, Output& output);

// Calls `main`; whatever it throws becomes one line on standard error
// ("vexlo-cli: out of memory") and exit status 2 instead of a crash.
int Guarded(Output& output, const std::function<int()>& main);

}  // namespace vexlo::cli
