#pragma once
// A crontab read as tasks. Each entry's five time fields become the windows a task's schedule can
// hold: one task, or one per week day, per run of days of the month or per launch time where one
// window cannot hold them. The command becomes a command string that runs it through the shell as
// cron runs it. What has no equivalent is refused with its reason.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin::crontab {

// One task an entry becomes, in the words add takes.
struct PlannedTask {
    std::string name;
    std::string schedule; // "every-minute", "hourly", "daily", "weekly monday", "monthly 1-5"
    std::string from;     // empty: the kind's whole window
    std::string to;       // empty: the end the kind gives
    int repeat = 0;       // minutes between launches; 0: once, at from
    std::string command;  // the command string
};

struct Entry {
    int line = 0; // from 1
    std::string text;
    std::vector<PlannedTask> tasks; // none when refused
    std::string refusal;
};

struct Limits {
    std::size_t nameWidth = 40;
    std::size_t commandWidth = 120;
    std::set<std::string> takenNames; // the tasks' names there are already
};

struct Table {
    std::vector<Entry> entries; // every line that is neither blank, a comment nor a setting
    std::string mailto;         // the last MAILTO that asked for mail
};

// A line may become at most this many tasks.
inline constexpr std::size_t MaxTasksPerLine = 24;

Table read(std::string_view text, const Limits& limits);

} // namespace vektrin::crontab
