// Only one copy of the program runs: the first holds a named mutex for its
// lifetime; a later start finds the name taken.
#pragma once

#include "platform/win32/handles.h"

namespace vexlo::ui {

class SingleInstance {
public:
    SingleInstance();
    // False when another instance already holds the name.
    bool IsFirst() const { return first_; }

private:
    win32::UniqueHandle mutex_;
    bool first_ = false;
};

}  // namespace vexlo::ui
