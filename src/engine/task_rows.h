#pragma once
// The schedule rules' view of the stored rows: one reading of a task record and of the silence
// table, shared by the passes and vektrinctl.

#include "engine/pass_verdict.h"
#include "store/data_ctrl.h"

#include <vector>

namespace vektrin {

// The schedule fields of the task table's current record.
schedule::Window taskWindow(TDataCtrl& dm);
// Every row of the silence-period table, in table order.
std::vector<schedule::Window> silenceRows(TDataCtrl& dm);
// The current task record as the pass sees it; running from the slots, when there are any.
schedule::TaskState taskState(TDataCtrl& dm, const RunningTaskTable* slots = nullptr);

} // namespace vektrin
