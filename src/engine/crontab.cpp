// A crontab's fields read as cron reads them, the windows that hold their launches, and the
// command as cron runs it.

#include "engine/crontab.h"

#include "engine/command_string.h"
#include "engine/task_fields.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <optional>
#include <utility>

namespace vektrin::crontab {
namespace {

// Ends the reading of one line with its reason.
struct Refused {
    std::string reason;
};

struct Bounds {
    const char* what;
    int low, high;
    const std::string_view* names = nullptr; // the name of low + i
    int nameCount = 0;
};

constexpr std::string_view MonthNames[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                           "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr std::string_view DayNames[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
constexpr Bounds Minute{"minute", 0, 59}, Hour{"hour", 0, 23}, DayOfMonth{"day-of-month", 1, 31},
    Month{"month", 1, 12, MonthNames, 12}, Weekday{"weekday", 0, 7, DayNames, 7};

struct Field {
    std::bitset<64> bits;
    bool star = false; // begins with '*': cron then joins the two day fields with "and"

    std::vector<int> values(int low, int high) const {
        std::vector<int> out;
        for (int v = low; v <= high; ++v)
            if (bits.test(static_cast<std::size_t>(v))) out.push_back(v);
        return out;
    }
    bool all(int low, int high) const {
        return values(low, high).size() == std::size_t(high - low + 1);
    }
};

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::optional<int> number(std::string_view word) {
    if (word.empty() || word.size() > 4) return std::nullopt;
    int n = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

int valueOf(std::string_view word, const Bounds& bounds) {
    std::optional<int> n = number(word);
    for (int i = 0; !n && i < bounds.nameCount; ++i)
        if (text::lower(word) == bounds.names[i]) n = bounds.low + i;
    if (!n)
        throw Refused{std::string(bounds.what) + " field: " + quoted(word) + " is no number" +
                      (bounds.nameCount ? " or name" : "")};
    if (*n < bounds.low || *n > bounds.high)
        throw Refused{std::string(bounds.what) + " field: " + std::string(word) + " is not " +
                      std::to_string(bounds.low) + " to " + std::to_string(bounds.high)};
    return *n;
}

// Lists of values, ranges and steps, names where the field has them.
Field parseField(std::string_view text, const Bounds& bounds) {
    Field f;
    f.star = text.front() == '*';
    const std::string what = std::string(bounds.what) + " field: ";
    for (std::string_view rest = text; !rest.empty();) {
        const auto comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (item.empty() || (comma != std::string_view::npos && rest.empty()))
            throw Refused{what + "an empty item in " + quoted(text)};
        const auto slash = item.find('/');
        const std::string_view range = item.substr(0, slash);
        int step = 1;
        if (slash != std::string_view::npos) {
            const std::optional<int> n = number(item.substr(slash + 1));
            if (!n || *n == 0)
                throw Refused{what + "the step of " + quoted(item) + " is no whole number above 0"};
            step = *n;
        }
        int first = bounds.low, last = bounds.high; // "*"
        if (const auto dash = range.find('-'); range == "*") {
            // the whole field
        } else if (dash != std::string_view::npos) {
            first = valueOf(range.substr(0, dash), bounds);
            last = valueOf(range.substr(dash + 1), bounds);
            if (last < first)
                throw Refused{what + "the range " + quoted(range) + " runs backwards"};
        } else {
            first = last = valueOf(range, bounds);
            // Some crons read N/S as N alone, others as N to the end in steps of S.
            if (slash != std::string_view::npos)
                throw Refused{what + quoted(item) + " reads differently from cron to cron; write " +
                              std::string(range) + "-" + std::to_string(bounds.high) + "/" +
                              std::to_string(step)};
        }
        for (int v = first; v <= last; v += step)
            f.bits.set(static_cast<std::size_t>(v));
    }
    if (bounds.high == 7 && f.bits.test(7)) f.bits.set(0); // 7 is Sunday too
    return f;
}

std::optional<std::string_view> macro(std::string_view word) {
    static constexpr std::pair<std::string_view, std::string_view> Macros[] = {
        {"@hourly", "0 * * * *"},   {"@daily", "0 0 * * *"},   {"@midnight", "0 0 * * *"},
        {"@weekly", "0 0 * * 0"},   {"@monthly", "0 0 1 * *"}, {"@yearly", "0 0 1 1 *"},
        {"@annually", "0 0 1 1 *"},
    };
    for (const auto& [name, fields] : Macros)
        if (text::lower(word) == name) return fields;
    return std::nullopt;
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = text.find_first_not_of(" \t", i);
        if (start == std::string_view::npos) break;
        const std::size_t end = std::min(text.find_first_of(" \t", start), text.size());
        out.push_back(text.substr(start, end - start));
        i = end;
    }
    return out;
}

// ------------------------------------------------------------------------------ the windows

struct Progression {
    int first = 0, last = 0, step = 0; // step 0: one value
};

std::optional<Progression> progression(const std::vector<int>& v) {
    if (v.size() == 1) return Progression{v[0], v[0], 0};
    for (std::size_t i = 2; i < v.size(); ++i)
        if (v[i] - v[i - 1] != v[1] - v[0]) return std::nullopt;
    return Progression{v.front(), v.back(), v[1] - v[0]};
}

// The launches of one day a task can hold: a run at one step through the day (or through each
// hour, for an hourly one).
struct Window {
    Progression launches;
    enum { EveryMinute, Hourly, Daily } kind = Daily;
};

std::string clockText(int minuteOfDay) {
    return text::twoDigits(minuteOfDay / 60) + ":" + text::twoDigits(minuteOfDay % 60);
}

// The windows of a day that hold the minutes and hours, the fewest there are.
std::vector<Window> windowsOf(const std::vector<int>& minutes, const std::vector<int>& hours,
                              bool everyDay) {
    const std::optional<Progression> inHour = progression(minutes);
    if (everyDay && hours.size() == 24) {
        if (minutes.size() == 60) return {{{}, Window::EveryMinute}};
        if (inHour) return {{*inHour, Window::Hourly}};
        std::vector<Window> out;
        for (int m : minutes)
            out.push_back({{m, m, 0}, Window::Hourly});
        return out;
    }
    const auto daily = [](const std::vector<int>& launches) {
        return Window{*progression(launches), Window::Daily};
    };
    std::vector<int> all;
    for (int h : hours)
        for (int m : minutes)
            all.push_back(h * 60 + m);
    std::vector<Window> out;
    if (progression(all)) return {daily(all)};
    const bool byHour = inHour && (!progression(hours) || hours.size() <= minutes.size());
    if (byHour || progression(hours)) {
        for (int outer : byHour ? hours : minutes) {
            std::vector<int> launches;
            for (int inner : byHour ? minutes : hours)
                launches.push_back(byHour ? outer * 60 + inner : inner * 60 + outer);
            out.push_back(daily(launches));
        }
        return out;
    }
    for (int launch : all)
        out.push_back(daily({launch}));
    return out;
}

// The days of the schedule: every day, one task per week day, or one per run of days of the
// month; the suffix names each apart where there are several.
struct DayPart {
    std::string schedule;
    std::string suffix;
};

std::vector<DayPart> dayParts(const Field& dom, const Field& dow) {
    const bool everyDom = dom.all(1, 31), everyDow = dow.all(0, 6);
    if (!dom.star && !dow.star && !everyDom && !everyDow)
        throw Refused{"cron runs it on the listed days of the month and on the listed weekdays; a "
                      "task holds one or the other, and two tasks would both launch on a day "
                      "that is both"};
    if (everyDom && everyDow) return {{"daily", ""}};
    if ((dom.star || dow.star) && !everyDom && !everyDow)
        throw Refused{"cron runs it only on the days that are both listed days of the month and "
                      "listed weekdays; a task holds one or the other"};
    // With neither field beginning with '*', either one naming every day means every day.
    if (!dom.star && !dow.star) return {{"daily", ""}};
    std::vector<DayPart> out;
    if (everyDom) {
        for (int item = 0; item < 7; ++item) // Monday first
            if (dow.bits.test(static_cast<std::size_t>((item + 1) % 7)))
                out.push_back({"weekly " + std::string(fields::weekDayWord(item)),
                               "-" + std::string(DayNames[(item + 1) % 7])});
        return out;
    }
    const std::vector<int> days = dom.values(1, 31);
    for (std::size_t i = 0; i < days.size();) {
        std::size_t j = i;
        while (j + 1 < days.size() && days[j + 1] == days[j] + 1)
            ++j;
        std::string run = std::to_string(days[i]);
        if (j > i) run += "-" + std::to_string(days[j]);
        out.push_back({"monthly " + run, "-" + run});
        i = j + 1;
    }
    return out;
}

// ------------------------------------------------------------------------------ the command

// Cron's reading of '%': the first one not escaped by a backslash ends the command, the rest is
// standard input with each further '%' a line break and a line break added at its end.
struct CronCommand {
    std::string command;
    std::optional<std::string> input;
};

CronCommand splitPercent(std::string_view raw) {
    CronCommand out;
    bool escaped = false;
    std::size_t i = 0;
    for (; i < raw.size(); ++i) {
        const char c = raw[i];
        if (escaped) {
            escaped = false;
            if (c == '%')
                out.command.back() = '%';
            else
                out.command += c;
            continue;
        }
        if (c == '%') break;
        escaped = c == '\\';
        out.command += c;
    }
    if (i + 1 >= raw.size()) return out;
    std::string input;
    bool needsBreak = false;
    escaped = false;
    for (char c : raw.substr(i + 1)) {
        if (escaped && c != '%') input += '\\';
        if (!escaped && c == '%') c = '\n';
        // A backslash waits for the next character, even after another one.
        escaped = c == '\\';
        if (!escaped) {
            input += c;
            needsBreak = c != '\n';
        }
    }
    if (escaped) input += '\\';
    if (needsBreak) input += '\n';
    out.input = input;
    return out;
}

bool plain(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("_/:.,+=@%-").find(c) != std::string_view::npos;
    });
}

// One word for the shell, and for the command string's own splitting.
std::string shellWord(std::string_view word) {
    if (plain(word)) return std::string(word);
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The script as the one argument after -c: single or double quotes, whichever is shorter.
std::string scriptWord(std::string_view script) {
    std::string doubled = "\"";
    for (char c : script) {
        if (std::string_view("$`\"\\").find(c) != std::string_view::npos) doubled += '\\';
        doubled += c;
    }
    doubled += '"';
    const std::string single = shellWord(script);
    return single.size() <= doubled.size() || plain(script) ? single : doubled;
}

struct Settings {
    std::string shell = "/bin/sh";
    std::vector<std::pair<std::string, std::string>> exported;
    std::string cronTz;
};

std::string commandString(const CronCommand& c, const Settings& settings) {
    std::string script;
    if (!settings.exported.empty()) {
        script = "export";
        for (const auto& [name, value] : settings.exported)
            script += " " + name + "=" + shellWord(value);
        script += "; ";
    }
    if (c.input) {
        if (c.input->back() != '\n')
            throw Refused{"its standard input (after %) ends in a lone backslash"};
        // A comment in the command would swallow the closing parenthesis.
        if (c.command.find('#') != std::string::npos)
            throw Refused{"a command with standard input (after %) may not hold #"};
        script += "printf '%s\\n'";
        for (std::string_view rest = *c.input; !rest.empty();) {
            const auto end = rest.find('\n');
            script += " " + (end == 0 ? std::string("''") : shellWord(rest.substr(0, end)));
            rest = rest.substr(end + 1);
        }
        script += " | ( " + c.command + " )";
    } else {
        script += c.command;
    }
    return shellWord(settings.shell) + " -c " + scriptWord(script);
}

// A name from the program the command runs: past assignments, wrappers and a leading cd or test.
std::string baseName(std::string_view command) {
    static constexpr std::string_view Wrappers[] = {"nice",    "ionice", "nohup", "env",
                                                    "sudo",    "exec",   "time",  "command",
                                                    "chronic", "setsid", "flock", "timeout"};
    static constexpr std::string_view Skipped[] = {"cd",    "test",   "[",  "[[",   "sleep",
                                                   "true",  ":",      "if", "then", "export",
                                                   "umask", "source", ".",  "set",  "!"};
    std::string cleaned;
    for (char c : command) {
        if (std::string_view(";&|()").find(c) != std::string_view::npos)
            cleaned += " ; ";
        else if (c != '\'' && c != '"' && c != '\\')
            cleaned += c;
    }
    bool start = true, skipping = false;
    int consume = 0; // the argument of flock or timeout
    for (std::string_view w : words(cleaned)) {
        if (w == ";") {
            start = true;
            skipping = false;
            consume = 0;
            continue;
        }
        if (skipping || !start) continue;
        if (w.front() == '-' || number(w) ||
            (w.find('=') != std::string_view::npos &&
             std::isalpha(static_cast<unsigned char>(w.front()))))
            continue;
        if (consume > 0) {
            --consume;
            continue;
        }
        if (std::find(std::begin(Wrappers), std::end(Wrappers), w) != std::end(Wrappers)) {
            consume = w == "flock" || w == "timeout" ? 1 : 0;
            continue;
        }
        if (std::find(std::begin(Skipped), std::end(Skipped), w) != std::end(Skipped)) {
            skipping = true;
            continue;
        }
        std::string name;
        for (char c : w.substr(w.rfind('/') == std::string_view::npos ? 0 : w.rfind('/') + 1))
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-')
                name += c;
        if (!name.empty()) return name;
    }
    return "cron";
}

class Reader {
  public:
    explicit Reader(const Limits& limits) : limits_(limits), taken_(limits.takenNames) {}

    Table table;

    void line(int number, std::string_view text) {
        const std::string_view body = text::trimmed(text);
        if (body.empty() || body.front() == '#') return;
        if (setting(body)) return;
        Entry entry{number, std::string(text), {}, {}};
        try {
            entry.tasks = tasksOf(body);
        } catch (const Refused& refused) {
            entry.tasks.clear();
            entry.refusal = refused.reason;
        }
        table.entries.push_back(std::move(entry));
    }

  private:
    // NAME=VALUE, blanks around '=' allowed, a value in matching quotes taken without them.
    bool setting(std::string_view body) {
        const auto eq = body.find('=');
        if (eq == std::string_view::npos) return false;
        const std::string_view name = text::trimmed(body.substr(0, eq));
        if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())) ||
            !std::all_of(name.begin(), name.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
            }))
            return false;
        std::string value(text::trimmed(body.substr(eq + 1)));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (name == "SHELL")
            settings_.shell = value;
        else if (name == "MAILTO")
            table.mailto = value;
        else if (name == "CRON_TZ")
            settings_.cronTz = value;
        else if (name != "MAILFROM") {
            auto& e = settings_.exported;
            std::erase_if(e, [&](const auto& v) { return v.first == name; });
            e.emplace_back(std::string(name), value);
        }
        return true;
    }

    std::vector<PlannedTask> tasksOf(std::string_view body) {
        std::vector<std::string_view> w = words(body);
        std::string_view fieldsText = body;
        std::size_t commandAt = 5;
        if (body.front() == '@') {
            if (text::lower(w.front()) == "@reboot")
                throw Refused{
                    "@reboot: Vektrin launches by the clock, not when the machine starts"};
            const std::optional<std::string_view> fields = macro(w.front());
            if (!fields) throw Refused{quoted(w.front()) + " is no schedule cron knows"};
            fieldsText = *fields;
            commandAt = 1;
        }
        if (!settings_.cronTz.empty())
            throw Refused{"CRON_TZ=" + settings_.cronTz + ": Vektrin launches by the local clock"};
        if (w.size() <= commandAt) throw Refused{"it has no command"};
        const std::vector<std::string_view> f = words(fieldsText);
        const Field minute = parseField(f[0], Minute), hour = parseField(f[1], Hour),
                    dom = parseField(f[2], DayOfMonth), month = parseField(f[3], Month),
                    dow = parseField(f[4], Weekday);
        if (!month.all(1, 12))
            throw Refused{"month field: a task's schedule comes round every day, week or month, "
                          "never in some months alone"};
        const std::vector<DayPart> days = dayParts(dom, dow);
        const std::vector<Window> windows =
            windowsOf(minute.values(0, 59), hour.values(0, 23),
                      days.size() == 1 && days[0].schedule == "daily");
        if (days.size() * windows.size() > MaxTasksPerLine)
            throw Refused{"it would take " + std::to_string(days.size() * windows.size()) +
                          " tasks (" + std::to_string(windows.size()) +
                          " launch windows a day on " + std::to_string(days.size()) +
                          " days); at most " + std::to_string(MaxTasksPerLine) +
                          " are made of one line"};

        const std::string_view raw = text::trimmed(body.substr(w[commandAt].data() - body.data()));
        if (text::invalidUtf8At(raw) != std::string_view::npos)
            throw Refused{"the command is not UTF-8 text"};
        if (std::any_of(raw.begin(), raw.end(),
                        [](unsigned char c) { return c < 0x20 || c == 0x7F; }))
            throw Refused{"the command holds a tab or another control character, which a task's "
                          "command cannot"};
        const CronCommand split = splitPercent(raw);
        const std::string command = commandString(split, settings_);
        if (const std::size_t n = text::utf8Length(command); n > limits_.commandWidth)
            throw Refused{"run through the shell the command is " + std::to_string(n) +
                          " characters; a task's command holds " +
                          std::to_string(limits_.commandWidth)};
        if (UnpackCommandString(command, 0, 0, 0) != command) {
            std::string held;
            const std::string upper = text::upper(command);
            for (std::string_view p : PlaceholderTable)
                if (held.empty() && upper.find(p) != std::string::npos) held = std::string(p);
            throw Refused{"it holds " + held +
                          ", which Vektrin replaces with a date or time when it launches"};
        }

        const std::string base = baseName(split.command);
        std::vector<PlannedTask> tasks;
        for (const DayPart& day : days)
            for (const Window& window : windows) {
                PlannedTask t;
                const Progression& p = window.launches;
                t.repeat = p.step;
                std::string suffix = days.size() > 1 ? day.suffix : std::string();
                if (window.kind == Window::EveryMinute) {
                    t.schedule = "every-minute";
                } else if (window.kind == Window::Hourly) {
                    t.schedule = "hourly";
                    t.from = std::to_string(p.first);
                    if (p.step) t.to = std::to_string(p.last);
                    if (windows.size() > 1) suffix += "-" + text::twoDigits(p.first);
                } else {
                    t.schedule = day.schedule;
                    t.from = clockText(p.first);
                    if (p.step) t.to = clockText(p.last);
                    if (windows.size() > 1) suffix += "-" + clockText(p.first);
                }
                t.name = uniqueName(base, suffix);
                t.command = command;
                tasks.push_back(std::move(t));
            }
        return tasks;
    }

    std::string uniqueName(const std::string& base, const std::string& suffix) {
        const auto fit = [&](const std::string& tail) {
            const std::size_t room =
                limits_.nameWidth > tail.size() ? limits_.nameWidth - tail.size() : 0;
            return base.substr(0, room) + tail;
        };
        std::string name = fit(suffix);
        for (int n = 2; taken_.count(name); ++n)
            name = fit(suffix + "-" + std::to_string(n));
        taken_.insert(name);
        return name;
    }

    const Limits& limits_;
    std::set<std::string> taken_;
    Settings settings_;
};

} // namespace

Table read(std::string_view text, const Limits& limits) {
    Reader reader(limits);
    int number = 0;
    for (std::string_view rest = text; !rest.empty();) {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        reader.line(++number, line);
    }
    return std::move(reader.table);
}

} // namespace vektrin::crontab
