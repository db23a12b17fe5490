#include "ui/single_instance.h"

namespace vexlo::ui {

SingleInstance::SingleInstance()
    : mutex_(::CreateMutexW(nullptr, FALSE, L"vexlo-single-instance-{5b0c7d2e-91b0-4c4e-9f51-7e0f3a1c2d64}")) {
    // A failure to create the mutex must not keep the program from running.
    first_ = !mutex_ || ::GetLastError() != ERROR_ALREADY_EXISTS;
}

}  // namespace vexlo::ui
