// How a window reads to the operator: the reports' lines and vektrinctl's words.

#include "engine/schedule.h"
#include "platform/text.h"

#include "engine/launch_condition.h"
#include "engine/task_fields.h"
#include "platform/strings.h"

#include <array>
#include <cctype>
#include <cstdio>

namespace vektrin {
namespace {

using schedule::Phrase;
using schedule::TextForms;
using schedule::Words;
using schedule::WordsTaken;

constexpr std::array<std::string_view, 7> WeekDayTexts = {
    str::OnMondays, str::OnTuesdays,  str::OnWednesdays, str::OnThursdays,
    str::OnFridays, str::OnSaturdays, str::OnSundays};

Phrase::Value number(std::int64_t value) {
    return {std::to_string(value)};
}

// "HH:MM", with ":SS" when there are seconds.
std::string shortTime(DateTime value) {
    const TimeParts t = decodeTime(value);
    std::string text = text::twoDigits(t.hour) + ':' + text::twoDigits(t.minute);
    if (t.second != 0) text += ':' + text::twoDigits(t.second);
    return text;
}

std::string lowerTrimmed(std::string_view text) {
    std::string out = trimBlanksAndControls(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string quoted(std::string_view text) {
    std::string out(1, '"');
    out.append(text).push_back('"');
    return out;
}

} // namespace

std::string Phrase::text() const {
    std::string out;
    auto value = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() &&
            (format[i + 1] == 's' || format[i + 1] == 'd') && value != values.end()) {
            out += value++->text;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

// ------------------------------------------------------------------------------ the texts

Phrase Schedule::description(const TextForms& forms) const {
    const std::optional<ScheduleKind> k = shownKind();
    if (!k) return {};
    const Phrase::Value from{forms.time(startTime)}, to{forms.time(endTime)};
    const Phrase::Value repeat = number(repeatInterval);
    switch (*k) {
    case ScheduleKind::EveryMinute:
        return {str::ScheduleEveryMinute};
    case ScheduleKind::EveryHour:
        return {str::ScheduleEveryHour, {number(startMinute()), number(endMinute()), repeat}};
    case ScheduleKind::EveryDay:
        return {str::ScheduleEveryDay, {from, to, repeat}};
    case ScheduleKind::Weekly:
        return {str::ScheduleWeekly,
                {{std::string(WeekDayTexts[weekDayItem()]), true}, from, to, repeat}};
    case ScheduleKind::EveryMonth:
        // Only the first day: the report never printed the last.
        return {str::ScheduleEveryMonth, {number(firstDay()), from, to, repeat}};
    case ScheduleKind::EveryYear:
        return {str::ScheduleEveryYear,
                {{forms.date(startDate)}, from, {forms.date(endDate)}, to, repeat}};
    }
    return {};
}

std::string_view Schedule::silenceKindText(ScheduleKind kind) {
    static constexpr std::array<std::string_view, 6> kinds = {
        str::SilenceEveryMinute, str::SilenceEveryHour,  str::SilenceEveryDay,
        str::SilenceWeekly,      str::SilenceEveryMonth, str::SilenceEveryYear};
    return kinds[static_cast<std::size_t>(kind)];
}

Phrase Schedule::silenceKindText() const {
    const std::optional<ScheduleKind> k = shownKind();
    return k ? Phrase{silenceKindText(*k)} : Phrase{};
}

Phrase Schedule::silenceQualifier() const {
    const int day = dayOf(startDate);
    switch (shownKind().value_or(ScheduleKind::EveryMinute)) {
    case ScheduleKind::Weekly:
        // The day of the month as it stands, as the pass reads a silence period's.
        return day >= 1 && day <= 7 ? Phrase{WeekDayTexts[static_cast<std::size_t>(day - 1)]}
                                    : Phrase{};
    case ScheduleKind::EveryMonth:
        return {str::SilenceOnDay, {number(day)}};
    default:
        return {};
    }
}

Phrase Schedule::silencePeriod(const TextForms& forms) const {
    const std::optional<ScheduleKind> k = shownKind();
    if (!k) return {};
    switch (*k) {
    case ScheduleKind::EveryHour:
        return {str::SilenceMinutes, {number(startMinute()), number(endMinute())}};
    case ScheduleKind::EveryDay:
    case ScheduleKind::Weekly:
    case ScheduleKind::EveryMonth:
        return {str::SilenceFromTo, {{forms.time(startTime)}, {forms.time(endTime)}}};
    case ScheduleKind::EveryYear:
        return {str::SilenceFromTo,
                {{forms.date(startDate) + ' ' + forms.time(startTime)},
                 {forms.date(endDate) + ' ' + forms.time(endTime)}}};
    default:
        return {};
    }
}

// ------------------------------------------------------------------------------ the words

Words Schedule::words() const {
    const std::optional<ScheduleKind> k = shownKind();
    if (!k) return {"Interval " + std::to_string(interval)};
    Words w{std::string(fields::kindWord(*k))};
    switch (*k) {
    case ScheduleKind::EveryMinute:
        return w;
    case ScheduleKind::EveryHour:
        w.from = std::to_string(startMinute());
        w.to = std::to_string(endMinute());
        return w;
    case ScheduleKind::Weekly:
        w.schedule.append(" ").append(fields::weekDayWord(weekDayItem()));
        break;
    case ScheduleKind::EveryMonth:
        w.schedule.append(" ").append(std::to_string(firstDay()));
        if (lastDay() != firstDay()) w.schedule.append("-").append(std::to_string(lastDay()));
        break;
    case ScheduleKind::EveryYear:
        w.from = isoDate(startDate) + " " + shortTime(startTime);
        w.to = isoDate(endDate) + " " + shortTime(endTime);
        return w;
    default:
        break;
    }
    w.from = shortTime(startTime);
    w.to = shortTime(endTime);
    return w;
}

WordsTaken Schedule::takeScheduleWords(std::string_view words, const fields::EditCheck& dayCheck) {
    using namespace schedule;
    WordsTaken taken;
    const std::string value = lowerTrimmed(words);
    const auto blank = value.find(' ');
    const std::string word = value.substr(0, blank);
    const std::string argument =
        blank == std::string::npos ? std::string() : trimBlanksAndControls(value.substr(blank + 1));
    taken.kind = fields::kindFromWord(word);
    const auto refuse = [&](std::string problem) {
        taken.problems.push_back(std::move(problem));
        return taken;
    };
    if (!taken.kind)
        return refuse("expected every-minute, hourly, daily, weekly DAY, monthly DAY[-DAY] or "
                      "yearly, not " +
                      quoted(words));
    const ScheduleKind kind = *taken.kind;
    const std::string kindWord(fields::kindWord(kind));
    const bool needsDay = kind == ScheduleKind::Weekly || kind == ScheduleKind::EveryMonth;
    if (!needsDay && !argument.empty()) return refuse(kindWord + " takes no day");
    if (needsDay && argument.empty()) return refuse(kindWord + " needs a day");
    if (kind == ScheduleKind::Weekly) {
        const std::optional<int> day = fields::weekDayFromWord(argument);
        if (!day)
            return refuse("expected a week day (monday .. sunday, or 1 .. 7), not " +
                          quoted(argument));
        setWeekDay(*day);
        taken.columns |= StartDateColumn;
    }
    if (kind == ScheduleKind::EveryMonth) {
        const auto dash = argument.find('-', 1);
        const std::string first = trimBlanksAndControls(argument.substr(0, dash));
        const std::string last =
            dash == std::string::npos ? first : trimBlanksAndControls(argument.substr(dash + 1));
        const auto day = [&](const std::string& text) -> std::optional<DateTime> {
            const fields::EditVerdict v = fields::dayEdit(text, dayCheck);
            if (!v.value)
                taken.problems.push_back(
                    std::string(v.refusal.empty() ? dayCheck.notNumber : v.refusal));
            return v.value;
        };
        const std::optional<DateTime> a = day(first);
        const std::optional<DateTime> b = last == first ? a : day(last);
        if (!a || !b) return taken;
        startDate = *a;
        endDate = *b;
        taken.columns |= StartDateColumn | EndDateColumn;
    }
    interval = intervalOf(kind);
    taken.columns |= IntervalColumn;
    return taken;
}

WordsTaken Schedule::takeWindowWords(bool from, std::string_view words,
                                     const fields::EditCheck& minuteCheck, std::string_view what) {
    using namespace schedule;
    WordsTaken taken;
    const std::string value = trimBlanksAndControls(words);
    const auto refuse = [&](std::string problem) {
        taken.problems.push_back(std::move(problem));
        return taken;
    };
    DateTime& time = from ? startTime : endTime;
    const unsigned timeColumn = from ? StartTimeColumn : EndTimeColumn;
    taken.kind = shownKind();
    if (!taken.kind)
        return refuse("the schedule kind " + std::to_string(interval) +
                      " has no window; give a schedule first");
    switch (*taken.kind) {
    case ScheduleKind::EveryMinute:
        return refuse("has no meaning for a " + std::string(what) + " of every minute");
    case ScheduleKind::EveryHour: {
        const fields::EditVerdict v = fields::minuteEdit(value, minuteCheck);
        if (!v.value)
            return refuse(std::string(v.refusal.empty() ? minuteCheck.notNumber : v.refusal));
        time = *v.value;
        taken.columns = timeColumn;
        return taken;
    }
    case ScheduleKind::EveryDay:
    case ScheduleKind::Weekly:
    case ScheduleKind::EveryMonth: {
        const std::optional<DateTime> t = fields::timeFromText(value);
        if (!t) return refuse(fields::invalidTimeMessage(value));
        time = *t;
        taken.columns = timeColumn;
        return taken;
    }
    case ScheduleKind::EveryYear: {
        const auto blank = value.find(' ');
        const std::string dateText = value.substr(0, blank);
        const std::string timeText = blank == std::string::npos
                                         ? std::string()
                                         : trimBlanksAndControls(value.substr(blank + 1));
        const std::optional<DateTime> date = fields::dateFromText(dateText);
        if (!date) return refuse(fields::invalidDateMessage(dateText));
        // A day without a time is the whole day.
        const std::optional<DateTime> t = timeText.empty()
                                              ? tryEncodeTime(from ? 0 : 23, from ? 0 : 59, 0)
                                              : fields::timeFromText(timeText);
        if (!t) return refuse(fields::invalidTimeMessage(timeText));
        (from ? startDate : endDate) = *date;
        time = *t;
        taken.columns = timeColumn | (from ? StartDateColumn : EndDateColumn);
        return taken;
    }
    }
    return taken;
}

} // namespace vektrin
