#pragma once
// The checks the three editors make of what an operator types, and the operator's words for the
// coded fields of a definition. The editors and vektrinctl both use them, so a value is refused
// with the same message wherever it is typed.

#include "engine/launch_condition.h"
#include "engine/schedule_kind.h"
#include "platform/date_time.h"
#include "store/task_states.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vektrin::fields {

// How a minute or a day edit of a schedule page treats its text.
struct EditCheck {
    // A text that is no number (an empty one too) is replaced by this value, which is then
    // stored; without it an empty text is passed over and any other is refused as no number.
    std::optional<int> resetTo;
    // Whether the number counts by its low 16 bits only.
    bool low16Bits = true;
    std::string_view notNumber;
    // The refusal of a value above the edit's highest (59 minutes, day 31) before the record is
    // touched; without it the encoding refuses such a value once the record is in editing.
    std::string_view aboveHighest;
    // The refusal of a value the encoding cannot hold.
    std::string_view notEncodable;
};

// What becomes of one text of a minute or a day edit.
struct EditVerdict {
    bool ignore = false;           // nothing happens (an empty text where nothing is reset)
    std::optional<int> resetText;  // the edit's text becomes this number, whose change stores it
    bool editsRecord = false;      // the record goes into editing before value or refusal
    std::optional<DateTime> value; // the field's new value: 00:m:00, or year 1, January, day d
    std::string_view refusal;      // the message when there is no value
};

EditVerdict minuteEdit(std::string_view text, const EditCheck& check);
EditVerdict dayEdit(std::string_view text, const EditCheck& check);

// The task editor refuses what is typed wrong with its own messages and stores nothing.
extern const EditCheck TaskMinute;
extern const EditCheck TaskDay;
// The silence-period editor turns a text that is no number into the lowest value; what cannot
// be encoded goes to the general error report.
extern const EditCheck SilenceMinute;
extern const EditCheck SilenceDay;

// The text of an edit as a 32-bit integer, surrounding blanks allowed; empty when it is none.
std::optional<int> editInteger(std::string_view text);

using vektrin::ConditionShape;
using vektrin::conditionShape;

// Whether a condition text may be stored: empty or well formed, whether it holds now or not. The
// task editor and vektrinctl refuse the same texts with it.
template <class Evaluator> bool conditionAccepted(Evaluator& evaluator, std::string_view text) {
    return conditionShape(evaluator, text) != ConditionShape::Malformed;
}

// The resource editor's warning on leaving the number edit, and the table's refusal of a post.
inline bool aboveResourceMaximum(std::int64_t resourceNo) {
    return resourceNo > 31;
}

// What a stored field may hold beyond its type, whichever way a value comes in (the operator's
// words through vektrinctl add and set, whole records through import): the problem, worded to
// follow the field's name; empty when the value may be stored.
// A text: UTF-8 without control characters (a line end in a name would forge protocol lines),
// at most width characters.
std::string textProblem(std::string_view text, int width);
// A command string as the scheduler splits it (placeholders hold no quotes or shell syntax, so
// the text typed splits as the one launched): refused, worded to follow the field's name, when a
// quote is left open, since every launch would fail; empty when it may be stored. The task editor
// can show the same refusal with the quote and its place from splitCommandLine.
std::string commandProblem(std::string_view command);
// The shell syntax in a command string that the program would get as written, no shell being
// run: a warning, worded to follow the field's name; empty when there is none.
std::string commandWarning(std::string_view command);
// A number of a coded column: a schedule kind, window mode, priority, resource number, conflict
// mask or completion code that the scheduler knows. Columns without a code take any number of
// their type.
std::string numberProblem(std::string_view column, double value);

// The operator's words for the coded fields, as vektrinctl takes and writes them.
// Kinds: every-minute, hourly, daily, weekly, monthly, yearly.
std::optional<ScheduleKind> kindFromWord(std::string_view word);
std::string_view kindWord(ScheduleKind kind);
// Week days: monday .. sunday (or their first three letters, or 1 Monday .. 7 Sunday) as the
// radio item 0 .. 6 of the weekly page.
std::optional<int> weekDayFromWord(std::string_view word);
std::string_view weekDayWord(int item);
// RunType: normal, hidden, minimized, maximized (0 .. 3).
std::optional<int> runTypeFromWord(std::string_view word);
std::string_view runTypeWord(std::int64_t runType);
// Priority: normal, low, high, realtime (0 .. 3).
std::optional<int> priorityFromWord(std::string_view word);
std::string_view priorityWord(std::int64_t priority);
// yes/no, true/false, on/off, 1/0.
std::optional<bool> flagFromWord(std::string_view word);

// "HH:MM" or "HH:MM:SS" (the hour may have one digit) as a time of day; "YYYY-MM-DD" as a date.
// Empty when the text is none.
std::optional<DateTime> timeFromText(std::string_view text);
std::optional<DateTime> dateFromText(std::string_view text);
// The data layer's message for a text that names no time or date: '%s' is not a valid time.
std::string invalidTimeMessage(std::string_view text);
std::string invalidDateMessage(std::string_view text);

} // namespace vektrin::fields
