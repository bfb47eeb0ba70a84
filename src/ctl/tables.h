#pragma once
// What the table commands share: opening the tables of the alias, finding a task, reading a
// record's schedule, and the fixed, locale-independent text forms of dates and times.

#include "ctl/command.h"
#include "engine/next_launch.h"
#include "engine/task_rows.h"
#include "store/data_ctrl.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin::ctl {

// The tables of the alias Control; CommandError (data error) when they cannot be opened. Notes
// their directory in the context for tableFailure. The commands that only read open them
// read-only: they work on a directory or files without write permission, and create nothing.
std::unique_ptr<TDataCtrl> openTables(const Context& context, OpenMode mode);
// The directory of the alias Control, without opening anything there; CommandError (data error)
// when the alias is not defined or the aliases file cannot be read.
std::string tablesDirectory(const Context& context);

// The path of the file that holds table.
std::string tableFilePath(TDataCtrl& dm, const Table& table);

// A failure of the tables in directory as a data error that names the damaged table file, or the
// directory when no single file is to blame.
CommandError tableFailure(const std::string& directory, const std::exception& e);

// Puts the task table on the task named by its AppID or, failing that, its AppName; a name that
// several tasks share is refused with their AppIDs.
void locateTask(TDataCtrl& dm, const std::string& task);

// "YYYY-MM-DD HH:MM", the moment form of every command's output.
std::string formatMoment(const schedule::LaunchMoment& moment);
// ISO 8601 times (isoDate is the platform's): "HH:MM:SS", ".mmm" added when the milliseconds are
// not 0.
std::string isoTime(DateTime value);
// "HH:MM:SS", the time form of the text output.
std::string clockTime(DateTime value);
std::optional<DateTime> parseIsoDate(std::string_view text);
std::optional<DateTime> parseIsoTime(std::string_view text);

// The schedule description of the printed task list, with ISO dates and times so that it reads
// the same in every locale.
std::string scheduleDescription(const Schedule& schedule);
std::string runTypeName(std::int64_t runType);

// due --missed: per task and gap between passes since `since` (empty: a week), the latest launch
// moment missed, how many, and whether the task makes one up.
int runMissed(const Context& context, const std::string& since, bool json);

} // namespace vektrin::ctl
