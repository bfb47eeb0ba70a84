// The rows and the encodings of a window.

#include "engine/schedule.h"

#include "store/data_ctrl.h"

namespace vektrin {

ScheduleColumns ScheduleColumns::ofTasks(TDataCtrl& dm) {
    return {dm.Table1Interval, dm.Table1StartDate, dm.Table1StartTime,
            dm.Table1EndDate,  dm.Table1EndTime,   &dm.Table1RepeatInterval};
}

ScheduleColumns ScheduleColumns::ofSilence(TDataCtrl& dm) {
    return {dm.Table3Interval, dm.Table3StartDate, dm.Table3StartTime, dm.Table3EndDate,
            dm.Table3EndTime};
}

Schedule Schedule::read(const ScheduleColumns& c) {
    Schedule s;
    s.interval = static_cast<int>(c.interval.asInteger());
    s.startDate = c.startDate.asDateTime();
    s.startTime = c.startTime.asDateTime();
    s.endDate = c.endDate.asDateTime();
    s.endTime = c.endTime.asDateTime();
    if (c.repeatInterval) s.repeatInterval = static_cast<int>(c.repeatInterval->asInteger());
    return s;
}

Schedule Schedule::ofTask(TDataCtrl& dm) {
    return read(ScheduleColumns::ofTasks(dm));
}

std::vector<Schedule> Schedule::silenceTable(TDataCtrl& dm) {
    std::vector<Schedule> rows;
    const ScheduleColumns columns = ScheduleColumns::ofSilence(dm);
    // The stored periods: a change the silence editor has not stored is not in force, and the
    // editor's cursor stays where it is.
    dm.Table3.forEachRow([&] { rows.push_back(read(columns)); });
    return rows;
}

void Schedule::write(const ScheduleColumns& c, unsigned which) const {
    using namespace schedule;
    if (which & IntervalColumn) c.interval.setInteger(interval);
    if (which & StartDateColumn) c.startDate.setDateTime(startDate);
    if (which & StartTimeColumn) c.startTime.setDateTime(startTime);
    if (which & EndDateColumn) c.endDate.setDateTime(endDate);
    if (which & EndTimeColumn) c.endTime.setDateTime(endTime);
    if ((which & RepeatColumn) && c.repeatInterval) c.repeatInterval->setInteger(repeatInterval);
}

std::optional<DateTime> Schedule::minuteTime(int minute) {
    return tryEncodeTime(0, minute, 0);
}

std::optional<DateTime> Schedule::dayDate(int day) {
    return tryEncodeDate(1, 1, day);
}

DateTime Schedule::weekDayDate(int item) {
    return *dayDate(item + 1);
}

int Schedule::dayOf(DateTime date) {
    return decodeDate(datePart(date)).day;
}

int Schedule::startMinute() const {
    return decodeTime(startTime).minute;
}

int Schedule::endMinute() const {
    return decodeTime(endTime).minute;
}

int Schedule::weekday() const {
    const int k = dayOf(startDate) % 7;
    return k == 0 ? 7 : k;
}

bool Schedule::keepShownWeekDay() {
    if (kind() != ScheduleKind::Weekly || dayOf(startDate) <= 7) return false;
    setWeekDay(weekDayItem());
    return true;
}

void Schedule::storeShownWeekDay(const ScheduleColumns& task) {
    Schedule window = read(task);
    if (window.keepShownWeekDay()) window.write(task, schedule::StartDateColumn);
}

} // namespace vektrin
