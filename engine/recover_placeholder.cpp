// Stands in for the rebuilding until it is merged: answers that nothing was rebuilt.
#include "engine/recover.h"

namespace vexlo::recover {

Result Recover(std::span<const std::uint8_t>, const Hint&, const Options&) {
    Result result;
    result.status = Status::NothingRebuilt;
    result.message = "this build cannot rebuild pictures yet";
    return result;
}

}  // namespace vexlo::recover
