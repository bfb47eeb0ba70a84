#pragma once
// The pass's view of a stored task row, shared by the passes and vektrinctl.

#include "engine/pass_verdict.h"
#include "store/data_ctrl.h"

namespace vektrin {

// The current task record as the pass sees it; running from the slots, when there are any.
schedule::TaskState taskState(TDataCtrl& dm, const RunningTaskTable* slots = nullptr);

} // namespace vektrin
