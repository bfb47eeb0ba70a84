#include "ui/schedule_encoding.h"

#include "engine/schedule_rules.h"

#include <charconv>
#include <cstdint>

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
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

} // namespace vektrin::encoding
