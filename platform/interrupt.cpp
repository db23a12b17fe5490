#include "platform/interrupt.h"

#include <array>
#include <atomic>
#include <climits>

namespace vexlo::platform {
namespace {

#ifdef _WIN32
constexpr std::size_t kLongestPath = 32'768;  // the \\?\ form's limit
#else
constexpr std::size_t kLongestPath = PATH_MAX;
#endif

// The recovery's two pictures are the most ever in flight at once.
constexpr std::size_t kSlots = 4;

enum State : int { kFree, kBusy, kArmed, kRemoving };

struct Slot {
    std::atomic<int> state{kFree};
    std::array<Char, kLongestPath> path{};
};

// A handler may run between any two instructions of the program (on Windows,
// on a thread of its own): it only ever reads an armed slot.
std::array<Slot, kSlots> slots;

static_assert(std::atomic<int>::is_always_lock_free, "a handler may only touch lock-free atomics");

}  // namespace

bool InterruptCleanup::Arm(const Path& path) {
    if (slot_ >= 0) {
        int armed = kArmed;
        if (!slots[static_cast<std::size_t>(slot_)].state.compare_exchange_strong(armed, kBusy)) return false;
    } else {
        for (std::size_t i = 0; i < kSlots && slot_ < 0; ++i) {
            int free = kFree;
            if (slots[i].state.compare_exchange_strong(free, kBusy)) slot_ = static_cast<int>(i);
        }
        if (slot_ < 0) return false;
    }
    Slot& slot = slots[static_cast<std::size_t>(slot_)];
    if (path.size() >= slot.path.size()) {
        Disarm();
        return false;
    }
    path.copy(slot.path.data(), path.size());
    slot.path[path.size()] = Char(0);
    slot.state.store(kArmed);
    return true;
}

void InterruptCleanup::Disarm() {
    if (slot_ < 0) return;
    slots[static_cast<std::size_t>(slot_)].state.store(kFree);
    slot_ = -1;
}

void detail::RemoveListedFiles() {
    for (Slot& slot : slots) {
        int armed = kArmed;
        if (slot.state.compare_exchange_strong(armed, kRemoving)) RemoveFileNow(slot.path.data());
    }
}

}  // namespace vexlo::platform
