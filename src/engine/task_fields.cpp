#include "engine/task_fields.h"
#include "platform/text.h"

#include "engine/schedule.h"
#include "platform/command_line.h"
#include "platform/strings.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace vektrin::fields {
namespace {

EditVerdict plainEdit(std::string_view text, const EditCheck& check, int highest, bool minute) {
    EditVerdict verdict;
    const std::optional<int> value = editInteger(text);
    if (!value) {
        if (check.resetTo) {
            verdict.resetText = check.resetTo;
        } else if (text.empty()) {
            verdict.ignore = true;
        } else {
            verdict.refusal = check.notNumber;
        }
        return verdict;
    }
    const int number = check.low16Bits ? static_cast<std::uint16_t>(*value) : *value;
    if (!check.aboveHighest.empty() && number > highest) {
        verdict.refusal = check.aboveHighest;
        return verdict;
    }
    verdict.editsRecord = true;
    verdict.value = minute ? Schedule::minuteTime(number) : Schedule::dayDate(number);
    if (!verdict.value) verdict.refusal = check.notEncodable;
    return verdict;
}

template <std::size_t N>
std::optional<int> indexOf(const std::array<std::string_view, N>& words, std::string_view word) {
    const std::string w = text::lower(word);
    for (std::size_t i = 0; i < N; ++i)
        if (w == words[i]) return static_cast<int>(i);
    return std::nullopt;
}

// The word of a coded value; empty for a value that has none.
template <std::size_t N>
std::string_view wordAt(const std::array<std::string_view, N>& words, std::int64_t value) {
    return value >= 0 && value < static_cast<std::int64_t>(N)
               ? words[static_cast<std::size_t>(value)]
               : std::string_view();
}

constexpr std::array<std::string_view, 6> KindWords = {"every-minute", "hourly",  "daily",
                                                       "weekly",       "monthly", "yearly"};
constexpr std::array<std::string_view, 7> DayWords = {"monday", "tuesday",  "wednesday", "thursday",
                                                      "friday", "saturday", "sunday"};
constexpr std::array<std::string_view, 4> RunTypeWords = {"normal", "hidden", "minimized",
                                                          "maximized"};
constexpr std::array<std::string_view, 4> PriorityWords = {"normal", "low", "high", "realtime"};

std::optional<int> digits(std::string_view text, std::size_t pos, std::size_t count) {
    if (pos + count > text.size()) return std::nullopt;
    int value = 0;
    const char* begin = text.data() + pos;
    const auto [end, ec] = std::from_chars(begin, begin + count, value);
    if (ec != std::errc() || end != begin + count) return std::nullopt;
    return value;
}

std::string fillIn(std::string_view format, std::string_view text) {
    std::string message(format);
    const auto at = message.find("%s");
    if (at != std::string::npos) message.replace(at, 2, text);
    return message;
}

template <std::size_t N> std::string wordList(const std::array<std::string_view, N>& words) {
    std::string list;
    for (std::string_view w : words)
        list += (list.empty() ? "" : ", ") + std::string(w);
    return list;
}

// The coded columns: which numbers each knows, and how the refusal says so.
struct CodedColumn {
    std::string_view column;
    bool (*known)(double value);
    std::string (*expected)();
};

bool whole(double value, double lowest, double highest) {
    return value == std::floor(value) && value >= lowest && value <= highest;
}

const CodedColumn CodedColumns[] = {
    {"Interval",
     [](double v) { return whole(v, -1e9, 1e9) && Schedule::shownKindOf(std::llround(v)); },
     [] { return "expected 0 to 5 (" + wordList(KindWords) + ")"; }},
    {"RunType", [](double v) { return whole(v, 0, RunTypeWords.size() - 1); },
     [] { return "expected 0 to 3 (" + wordList(RunTypeWords) + ")"; }},
    {"Priority", [](double v) { return whole(v, 0, PriorityWords.size() - 1); },
     [] { return "expected 0 to 3 (" + wordList(PriorityWords) + ")"; }},
    // Numbers outside 1..31 have no bit in a conflict mask.
    {"ResourceNo", [](double v) { return whole(v, 1, 31); },
     [] { return std::string("must be 1 to 31"); }},
    {"Conflicts", [](double v) { return whole(v, 0, 0x7FFFFFFF); },
     [] { return std::string("names a resource above 31 (the mask's highest bit)"); }},
    {"EndCode", [](double v) { return whole(v, -1e9, 1e9) && completionCode(v); },
     [] { return std::string("is no completion code (0 to 14)"); }},
};

} // namespace

std::string textProblem(std::string_view text, int width) {
    if (text::invalidUtf8At(text) != std::string_view::npos) return "is not UTF-8 text";
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return "holds a control character";
    if (text::utf8Length(text) > static_cast<std::size_t>(width))
        return "is longer than " + std::to_string(width) + " characters";
    return {};
}

std::string commandProblem(std::string_view command) {
    const SplitCommandLine split = splitCommandLine(command);
    if (!split.unclosedQuote) return {};
    return std::string("has an unclosed quote ") + split.quote + " at character " +
           std::to_string(split.quoteAt);
}

std::string commandWarning(std::string_view command) {
    const SplitCommandLine split = splitCommandLine(command);
    if (split.shellSyntax.empty()) return {};
    std::string list;
    for (const std::string& syntax : split.shellSyntax)
        list += (list.empty() ? "" : " ") + syntax;
    return "holds shell syntax that reaches the program as written, since no shell runs it: " +
           list + " (for a shell, write sh -c '...')";
}

std::string numberProblem(std::string_view column, double value) {
    for (const CodedColumn& c : CodedColumns)
        if (c.column == column) return c.known(value) ? std::string() : c.expected();
    return {};
}

const EditCheck TaskMinute{.resetTo = {},
                           .low16Bits = false,
                           .notNumber = str::OnlyDigitsAllowed,
                           .aboveHighest = str::MinuteAboveSixty,
                           .notEncodable = str::OnlyDigitsAllowed};
const EditCheck TaskDay{.resetTo = {},
                        .low16Bits = true,
                        .notNumber = str::OnlyDigitsAllowed,
                        .aboveHighest = str::DayAboveThirtyOne,
                        .notEncodable = str::OnlyDigitsAllowed};
const EditCheck SilenceMinute{.resetTo = 0,
                              .low16Bits = true,
                              .notNumber = {},
                              .aboveHighest = {},
                              .notEncodable = str::InvalidTimeEncode};
const EditCheck SilenceDay{.resetTo = 1,
                           .low16Bits = true,
                           .notNumber = {},
                           .aboveHighest = {},
                           .notEncodable = str::InvalidDateEncode};

EditVerdict minuteEdit(std::string_view text, const EditCheck& check) {
    return plainEdit(text, check, 59, true);
}

EditVerdict dayEdit(std::string_view text, const EditCheck& check) {
    return plainEdit(text, check, 31, false);
}

std::optional<int> editInteger(std::string_view text) {
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

std::optional<ScheduleKind> kindFromWord(std::string_view word) {
    const auto i = indexOf(KindWords, word);
    return i ? std::optional(static_cast<ScheduleKind>(*i)) : std::nullopt;
}

std::string_view kindWord(ScheduleKind kind) {
    return KindWords[static_cast<std::size_t>(kind)];
}

std::optional<int> weekDayFromWord(std::string_view word) {
    if (word.size() == 1 && word[0] >= '1' && word[0] <= '7') return word[0] - '1';
    if (const auto i = indexOf(DayWords, word)) return i;
    const std::string w = text::lower(word);
    if (w.size() == 3)
        for (std::size_t i = 0; i < DayWords.size(); ++i)
            if (DayWords[i].substr(0, 3) == w) return static_cast<int>(i);
    return std::nullopt;
}

std::string_view weekDayWord(int item) {
    return wordAt(DayWords, item);
}

std::optional<int> runTypeFromWord(std::string_view word) {
    return indexOf(RunTypeWords, word);
}

std::string_view runTypeWord(std::int64_t runType) {
    return wordAt(RunTypeWords, runType);
}

std::optional<int> priorityFromWord(std::string_view word) {
    const std::string w = text::lower(word);
    if (w == "real-time" || w == "real time") return 3;
    return indexOf(PriorityWords, w);
}

std::string_view priorityWord(std::int64_t priority) {
    return wordAt(PriorityWords, priority);
}

std::optional<bool> flagFromWord(std::string_view word) {
    const std::string w = text::lower(word);
    if (w == "yes" || w == "true" || w == "on" || w == "1") return true;
    if (w == "no" || w == "false" || w == "off" || w == "0") return false;
    return std::nullopt;
}

std::optional<DateTime> timeFromText(std::string_view text) {
    if (text.size() > 1 && text[1] == ':') return timeFromText("0" + std::string(text)); // 7:30
    if ((text.size() != 5 && text.size() != 8) || text[2] != ':') return std::nullopt;
    const auto h = digits(text, 0, 2), m = digits(text, 3, 2);
    std::optional<int> s = 0;
    if (text.size() == 8) s = text[5] == ':' ? digits(text, 6, 2) : std::nullopt;
    if (!h || !m || !s) return std::nullopt;
    return tryEncodeTime(*h, *m, *s);
}

std::optional<DateTime> dateFromText(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto y = digits(text, 0, 4), m = digits(text, 5, 2), d = digits(text, 8, 2);
    if (!y || !m || !d) return std::nullopt;
    return tryEncodeDate(*y, *m, *d);
}

std::string invalidTimeMessage(std::string_view text) {
    return fillIn(str::InvalidTimeText, text);
}

std::string invalidDateMessage(std::string_view text) {
    return fillIn(str::InvalidDateText, text);
}

} // namespace vektrin::fields
