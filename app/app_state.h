// The two process-wide flags that the windows share. Everything runs on the
// one user-interface thread, so plain booleans do; nothing else is global.
#pragma once

namespace vexlo::app {

// Asks a running batch to stop after its current file; the balloon beeps
// at the end of a hop while it is set.
inline bool StopFlag = false;

// True while a batch runs; a drop arriving then is ignored.
inline bool BusyFlag = false;

}  // namespace vexlo::app
