#pragma once
// The window of a task or a silence period, kept in Interval, StartDate, StartTime, EndDate,
// EndTime (and a task's RepeatInterval): the one place that knows how the columns encode it (the
// minute of the hour, the week day, the day of the month, the yearly dates), how it reads to the
// operator (the reports' lines, vektrinctl's words, the editors' pages) and when it is due. The
// passes, the launch search, the editors, the reports and vektrinctl all read a window through it.

#include "engine/schedule_kind.h"
#include "platform/date_time.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

class Field;
class TDataCtrl;

namespace fields {
struct EditCheck;
}

// The schedule columns of the current record of the task or the silence-period table.
struct ScheduleColumns {
    Field& interval;
    Field& startDate;
    Field& startTime;
    Field& endDate;
    Field& endTime;
    Field* repeatInterval = nullptr; // tasks only

    static ScheduleColumns ofTasks(TDataCtrl& dm);
    static ScheduleColumns ofSilence(TDataCtrl& dm);
};

namespace schedule {

// Values fixed when a pass starts.
struct PassMoment {
    DateTime nowDateTime = 0;
    DateTime today = 0; // date part
    int nowTime = 0;    // seconds since midnight at the start of the current minute
    int hourStart = 0;  // seconds since midnight at the start of the current hour
    int weekday = 1;    // 1 Monday .. 7 Sunday
    int dayOfMonth = 1;
};

PassMoment passMoment(DateTime now);

enum class Reason { Due, NeverDue, OutsideWindow, OffStep };

struct KindDecision {
    Reason reason = Reason::NeverDue;
    bool stopCheck = false; // not due, but the window's end has been reached on a day it applies
    // Due again when a pass runs in a minute the passes went through already (the clock set
    // back): only a task of every minute or every hour is.
    bool dueInRepeatedMinute = false;
};

// A text of the string table with the values of its placeholders ("%s", "%d"), in order. A value
// that is itself a text of the string table (the words of a week day) says so, so that the
// interface shows it in its language.
struct Phrase {
    struct Value {
        std::string text;
        bool ofStringTable = false;
    };
    std::string_view format; // empty: nothing to say
    std::vector<Value> values = {};

    // The phrase in the string table's own words.
    std::string text() const;
};

// How a phrase writes dates and times: the regional forms in the reports, fixed ones in
// vektrinctl.
struct TextForms {
    std::function<std::string(DateTime)> date, time;
};

// vektrinctl's words for a window: "weekly friday" or "monthly 1-5"; from and to as the kind reads
// them (a minute, HH:MM, YYYY-MM-DD HH:MM), empty for a kind without a window.
struct Words {
    std::string schedule = {}, from = {}, to = {};
};

// The columns a change of the words sets; the others keep what they hold, a null included.
enum Columns : unsigned {
    IntervalColumn = 1u << 0,
    StartDateColumn = 1u << 1,
    StartTimeColumn = 1u << 2,
    EndDateColumn = 1u << 3,
    EndTimeColumn = 1u << 4,
    RepeatColumn = 1u << 5,
    AllColumns = (1u << 6) - 1,
};

struct WordsTaken {
    std::vector<std::string> problems; // worded to follow the setting's name
    unsigned columns = 0;
    std::optional<ScheduleKind> kind; // the kind the words named, refused or not
};

} // namespace schedule

struct Schedule {
    int interval = 0; // as stored; the pass reads the low seven bits
    DateTime startDate = 0;
    DateTime startTime = 0;
    DateTime endDate = 0;
    DateTime endTime = 0;
    int repeatInterval = 0; // minutes; tasks only

    friend bool operator==(const Schedule&, const Schedule&) = default;

    // ------------------------------------------------------------------------- the rows
    static Schedule read(const ScheduleColumns& columns);
    // The current task record, and every row of the silence-period table in table order.
    static Schedule ofTask(TDataCtrl& dm);
    static std::vector<Schedule> silenceTable(TDataCtrl& dm);
    // Writes the named columns (schedule::Columns) of the record being edited.
    void write(const ScheduleColumns& columns, unsigned which = schedule::AllColumns) const;

    // -------------------------------------------------------------------- the encodings
    // The number the pass reads as the kind: the low seven bits of Interval.
    int kindCode() const { return interval & 0x7F; }
    // The kind the pass reads (empty for codes 6 to 127, never due), and the one the editors,
    // reports and lists show (Interval exactly: they show nothing for 128).
    std::optional<ScheduleKind> kind() const;
    std::optional<ScheduleKind> shownKind() const { return shownKindOf(interval); }
    static std::optional<ScheduleKind> shownKindOf(long long interval);

    // Minute m of the hour as the time 00:m:00; empty when m is not 0..59.
    static std::optional<DateTime> minuteTime(int minute);
    // Day d (of the month, or the week day 1 Monday .. 7 Sunday) as year 1, January, day d, which
    // falls on week day d in the first week; empty when d is not 1..31.
    static std::optional<DateTime> dayDate(int day);
    // The radio item 0 (Monday) .. 6 (Sunday) of the weekly page as its stored date.
    static DateTime weekDayDate(int item);
    // The day-of-month number of a date column (the week-day and day-of-month encodings keep it
    // there).
    static int dayOf(DateTime date);

    // The minutes of an hourly window: the minute components; hours and seconds do not count.
    int startMinute() const;
    int endMinute() const;
    // The days of the month of a monthly window.
    int firstDay() const { return dayOf(startDate); }
    int lastDay() const { return dayOf(endDate); }
    // The week day of a weekly task, 1 Monday .. 7 Sunday: the day of the month of StartDate
    // modulo 7, 0 taken as 7, so days 8 to 14 read like 1 to 7. Every view and the pass read it so.
    int weekday() const;
    // The radio item of the weekly page: weekday() - 1.
    int weekDayItem() const { return weekday() - 1; }
    void setWeekDay(int item) { startDate = weekDayDate(item); }
    // A weekly task keeps the day its views show: a stored day above 7 becomes that week day's
    // 1..7. Whether StartDate changed.
    bool keepShownWeekDay();
    // The same for the task record being edited: its StartDate is written when it changes.
    static void storeShownWeekDay(const ScheduleColumns& task);

    // -------------------------------------------------------------------------- the rules
    // Whether the kind's rule makes a task due in the pass's minute (before the active test).
    schedule::KindDecision decide(const schedule::PassMoment& moment) const;
    // Whether a silence period is in force in the pass's minute.
    bool silenceInForce(const schedule::PassMoment& moment) const;
    // Whether a launch of the task fell into a pause: whether the kind's rule makes it due in a
    // minute from `from` to one minute after `to`, each minute on its own date. Never for an
    // every-minute task. The active and stopped tests are the caller's.
    bool launchSkipped(DateTime from, DateTime to) const;
    // The minutes of a day whose start lies inside the time window, whatever the day: one span for
    // each hour of an hourly window (the pass measures it from the hour it runs in), one for the
    // other kinds, none for a window that closes before it opens or a kind without one.
    struct MinuteSpan {
        int first = 0, last = 0; // 0 .. 1439, both included
    };
    std::vector<MinuteSpan> windowMinutes() const;

    // -------------------------------------------------------------------------- the texts
    // The task report's and `vektrinctl tasks`' description of a task's schedule.
    schedule::Phrase description(const schedule::TextForms& forms) const;
    // The silence-period report's three columns: the kind, its day, the period.
    schedule::Phrase silenceKindText() const;
    // The silence-period report's text of a kind.
    static std::string_view silenceKindText(ScheduleKind kind);
    schedule::Phrase silenceQualifier() const;
    schedule::Phrase silencePeriod(const schedule::TextForms& forms) const;

    // -------------------------------------------------------------------------- the words
    schedule::Words words() const;
    // "weekly friday", "monthly 1-5", "hourly": the kind and its days, a day checked as the
    // editor's day edit checks it.
    schedule::WordsTaken takeScheduleWords(std::string_view words, const fields::EditCheck& day);
    // The start (from) or end of the window in the words of the stored kind; what names the
    // record ("task", "silence period").
    schedule::WordsTaken takeWindowWords(bool from, std::string_view words,
                                         const fields::EditCheck& minute, std::string_view what);

    // ------------------------------------------------------------ a record given its kind
    // The window a record opens with once it has a kind, written into the time columns that hold
    // nothing: the whole hour or the whole day. A new record, and one given a kind it never had a
    // window for, in the editors and in vektrinctl alike. A yearly one without dates of its own
    // (a week day or a day of the month from an earlier kind) is today's.
    static void openWindow(const ScheduleColumns& record, DateTime today);
    // A yearly record without a first day, when none is given, is refused with this (worded to
    // follow the setting's name; what names the record); empty when nothing is missing.
    static std::string missingFirstDay(const ScheduleColumns& record, std::string_view what);
    // A yearly window given without its end ends on its first day, at 23:59.
    static void closeYearlyWindow(const ScheduleColumns& record);
};

} // namespace vektrin
