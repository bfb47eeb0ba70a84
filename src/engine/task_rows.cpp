#include "engine/task_rows.h"

namespace vektrin {

schedule::Window taskWindow(TDataCtrl& dm) {
    schedule::Window w;
    w.interval = static_cast<int>(dm.Table1Interval.asInteger());
    w.startDate = dm.Table1StartDate.asDateTime();
    w.startTime = dm.Table1StartTime.asDateTime();
    w.endDate = dm.Table1EndDate.asDateTime();
    w.endTime = dm.Table1EndTime.asDateTime();
    w.repeatInterval = static_cast<int>(dm.Table1RepeatInterval.asInteger());
    return w;
}

std::vector<schedule::Window> silenceRows(TDataCtrl& dm) {
    std::vector<schedule::Window> rows;
    // The stored periods: a change the silence editor has not stored is not in force.
    dm.Table3.forEachRow([&] {
        schedule::Window w;
        w.interval = static_cast<int>(dm.Table3Interval.asInteger());
        w.startDate = dm.Table3StartDate.asDateTime();
        w.startTime = dm.Table3StartTime.asDateTime();
        w.endDate = dm.Table3EndDate.asDateTime();
        w.endTime = dm.Table3EndTime.asDateTime();
        rows.push_back(w);
    });
    return rows;
}

schedule::TaskState taskState(TDataCtrl& dm, const RunningTaskTable* slots) {
    schedule::TaskState s;
    s.window = taskWindow(dm);
    s.stopped = dm.Table1Stopped.asBoolean();
    s.code = completionCode(dm.Table1EndCode);
    s.interruptible = dm.Table1Interupt.asBoolean();
    s.running =
        slots && slots->AppIndex(static_cast<std::int32_t>(dm.Table1AppID.asInteger())) != 0;
    return s;
}

} // namespace vektrin
