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

std::optional<ScheduleKind> Schedule::kind() const {
    const int code = kindCode();
    if (code > intervalOf(ScheduleKind::EveryYear)) return std::nullopt;
    return static_cast<ScheduleKind>(code);
}

std::optional<ScheduleKind> Schedule::shownKindOf(long long interval) {
    if (interval < 0 || interval > intervalOf(ScheduleKind::EveryYear)) return std::nullopt;
    return static_cast<ScheduleKind>(interval);
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

namespace {

// A week day or a day of the month kept from an earlier kind is no year's date.
bool noDate(const Field& f) {
    return f.isNull() || decodeDate(datePart(f.asDateTime())).year <= 1;
}

} // namespace

void Schedule::openWindow(const ScheduleColumns& record, DateTime today) {
    const std::optional<ScheduleKind> kind = read(record).shownKind();
    if (!kind || kind == ScheduleKind::EveryMinute) return;
    Schedule whole;
    whole.endTime = kind == ScheduleKind::EveryHour ? *minuteTime(59) : *tryEncodeTime(23, 59, 0);
    unsigned empty = 0;
    if (record.startTime.isNull()) empty |= schedule::StartTimeColumn;
    if (record.endTime.isNull()) empty |= schedule::EndTimeColumn;
    if (kind == ScheduleKind::EveryYear) {
        // Without dates it is today's; without an end, its first day's.
        whole.startDate = datePart(today);
        if (noDate(record.startDate))
            empty |= schedule::StartDateColumn;
        else
            whole.startDate = datePart(record.startDate.asDateTime());
        whole.endDate = whole.startDate;
        if (noDate(record.endDate)) empty |= schedule::EndDateColumn;
    }
    whole.write(record, empty);
}

std::string Schedule::missingFirstDay(const ScheduleColumns& record, std::string_view what) {
    if (read(record).shownKind() != ScheduleKind::EveryYear || !noDate(record.startDate)) return {};
    return "a yearly " + std::string(what) + " needs its first day: YYYY-MM-DD [HH:MM]";
}

void Schedule::closeYearlyWindow(const ScheduleColumns& record) {
    Schedule window = read(record);
    if (window.shownKind() != ScheduleKind::EveryYear) return;
    window.endDate = window.startDate;
    window.endTime = *tryEncodeTime(23, 59, 0);
    window.write(record, schedule::EndDateColumn | schedule::EndTimeColumn);
}

} // namespace vektrin
