#include "engine/task_rows.h"

namespace vektrin {

schedule::TaskState taskState(TDataCtrl& dm, const RunningTaskTable* slots) {
    schedule::TaskState s;
    s.schedule = Schedule::ofTask(dm);
    s.stopped = dm.Table1Stopped.asBoolean();
    s.code = completionCode(dm.Table1EndCode);
    s.interruptible = dm.Table1Interupt.asBoolean();
    s.catchUp = dm.Table1CatchUp.asBoolean();
    s.running =
        slots && slots->AppIndex(static_cast<std::int32_t>(dm.Table1AppID.asInteger())) != 0;
    return s;
}

} // namespace vektrin
