#pragma once
// The grid menu's commands on one task for callers outside the main window (the control socket):
// Run now, Interrupt execution, Cancel waiting and Suspend/Resume, with the menu's rules and
// protocol lines, on a task named by its AppID or AppName; and a snapshot of what the scheduler
// is doing. Like the passes, a command moves the task table's cursor only for its own length and
// gives the operator's record back.

#include "platform/date_time.h"
#include "store/data_ctrl.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

class Scheduler;

// The task an operator names: an AppID, or else an AppName that exactly one task has.
struct TaskLookup {
    Table::Bookmark bookmark = 0;       // 0 when there is no such task or the name is shared
    std::vector<std::int64_t> sharedBy; // the AppIDs of the tasks that share the name
    std::string problem;                // why there is no bookmark
};
TaskLookup lookupTask(TDataCtrl& dm, std::string_view task);

enum class OperatorCommand { RunNow, Interrupt, CancelWaiting, Stop, Resume };

struct OperatorAnswer {
    bool ok = false;
    std::string text;      // what happened, or why nothing did
    bool tryAgain = false; // nothing happened because the tables are held or full for now
};

// Refused, with the main window's own refusal, while an editor or the protocol viewer is open (the
// operator cannot reach the grid menu then either), and while a pass waits for a message box.
OperatorAnswer operatorCommand(Scheduler& scheduler, OperatorCommand command,
                               std::string_view task);

// The main window's refusal to exit while the first of the windows that pause scheduling is open,
// which is the refusal every operator command gets meanwhile; empty when none is open.
std::string_view openWindowRefusal(const Scheduler& scheduler);

struct RunningTaskStatus {
    int slot = 0;
    std::int32_t appId = 0;
    std::string appName; // the slot's title when the record has gone
    std::uint32_t processId = 0;
    std::optional<DateTime> since; // when the process started
};

struct SchedulerStatus {
    std::string colour;                   // the indicator: "green", "red", "yellow" or "none"
    bool paused = false;                  // no scheduling pass will launch anything now
    std::string pausedBy;                 // why, in words; empty when not paused
    std::vector<std::string> openWindows; // "Tasks", "Conflicts", "Exceptions", "Protocol"
    std::vector<RunningTaskStatus> running;
};
SchedulerStatus schedulerStatus(Scheduler& scheduler);

// When the process with this id started, from /proc; empty when it cannot be read.
std::optional<DateTime> processStartMoment(std::uint32_t processId);

} // namespace vektrin
