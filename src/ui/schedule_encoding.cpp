#include "ui/schedule_encoding.h"

#include "engine/schedule_rules.h"
#include "engine/task_fields.h"

namespace vektrin::encoding {

std::optional<DateTime> minuteTime(int minute) {
    return tryEncodeTime(0, minute, 0);
}

int minuteOf(DateTime time) {
    return decodeTime(time).minute;
}

std::optional<DateTime> dayDate(int day) {
    return tryEncodeDate(1, 1, day);
}

DateTime weekDayDate(int item) {
    return *tryEncodeDate(1, 1, item + 1);
}

int weekDayItem(DateTime date) {
    const int k = schedule::dayOf(date) % 7;
    return (k == 0 ? 7 : k) - 1;
}

std::optional<int> toInteger(std::string_view text) {
    return fields::editInteger(text);
}

} // namespace vektrin::encoding
