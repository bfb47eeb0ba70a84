#include "engine/operator_commands.h"

#include "engine/control_wire.h"
#include "engine/pass_guard.h"
#include "engine/scheduler.h"
#include "platform/clock.h"
#include "platform/strings.h"
#include "store/task_states.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vektrin {
namespace {

// The windows that pause scheduling, as the status answer names them, and what an open one means
// for scheduling.
constexpr struct {
    PauseWindow window;
    const wire::PausingWindow& wire;
    std::string_view because;
} PausingWindows[] = {
    {PauseWindow::Tasks, wire::TasksWindow, "the task editor is open"},
    {PauseWindow::ResourcesEdit, wire::ConflictsWindow, "the conflicting-resources editor is open"},
    {PauseWindow::ConflictsEdit, wire::ExceptionsWindow, "the silence-period editor is open"},
    {PauseWindow::ProtocolShow, wire::ProtocolWindow, "the protocol viewer is open"},
};

// A command from outside the windows shows no box on the desktop (its answer says what happened);
// the boxes go back to the operator whatever ends the command.
struct Diversion {
    Scheduler& scheduler;
    std::vector<std::string> messages;
    explicit Diversion(Scheduler& s) : scheduler(s) { scheduler.divertMessages(&messages); }
    ~Diversion() { scheduler.divertMessages(nullptr); }
    Diversion(const Diversion&) = delete;
    Diversion& operator=(const Diversion&) = delete;

    std::string joined() const {
        std::string text;
        for (const std::string& m : messages)
            text += (text.empty() ? "" : " ") + m;
        return text;
    }
};

OperatorAnswer runNow(Scheduler& s, const std::string& name) {
    const RunNowResult result = s.RunNowClick();
    switch (result.outcome) {
    case RunOutcome::Launched:
        return {true, str::taskMessage(str::Executes, name)};
    case RunOutcome::SetWaiting:
        return {false, str::taskMessage(str::SetToWaiting, name)};
    case RunOutcome::SkippedResources:
        return {false, str::taskMessage(str::SkippedConflict, name)};
    case RunOutcome::NoFreeSlot:
        return {false, std::string(str::TooManyTasks)};
    case RunOutcome::LaunchError:
        return {false, std::string(str::LaunchErrorPrefix) + result.launchError};
    case RunOutcome::NotHere:
        return {false, result.launchError};
    case RunOutcome::NoTask:
        break;
    }
    return {false, str::taskMessage(str::CommandTaskNotRunning, name)};
}

OperatorAnswer onTask(Scheduler& s, OperatorCommand command) {
    TDataCtrl& dm = s.dataCtrl();
    const std::string name = dm.Table1AppName.asString();
    const auto appId = static_cast<std::int32_t>(dm.Table1AppID.asInteger());
    switch (command) {
    case OperatorCommand::RunNow:
        return runNow(s, name);
    case OperatorCommand::Interrupt:
        // The menu item is always there; on a task without a process it changes nothing.
        if (s.RunningTasks.AppIndex(appId) == 0)
            return {false, str::taskMessage(str::CommandTaskNotRunning, name)};
        s.InterruptClick();
        return {true, str::taskMessage(str::InterruptedByPerson, name)};
    case OperatorCommand::CancelWaiting:
        // The menu offers it only while the task waits.
        if (completionCode(dm.Table1EndCode) != CompletionCode::WaitingForResources)
            return {false, str::taskMessage(str::CommandTaskNotWaiting, name)};
        s.CancelWaitingClick();
        return {true, str::taskMessage(str::WaitingCancelled, name)};
    case OperatorCommand::Stop:
        if (dm.Table1Stopped.asBoolean())
            return {true, str::taskMessage(str::CommandAlreadyStopped, name)};
        s.StoppedInverting();
        return {true, str::taskMessage(str::TaskSchedulingStopped, name)};
    case OperatorCommand::Resume:
        if (!dm.Table1Stopped.asBoolean())
            return {true, str::taskMessage(str::CommandNotStopped, name)};
        s.StoppedInverting();
        return {true, str::taskMessage(str::TaskSchedulingResumed, name)};
    }
    return {false, {}};
}

std::optional<long long> wholeNumber(std::string_view text) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

} // namespace

TaskLookup lookupTask(TDataCtrl& dm, std::string_view task) {
    TaskLookup found;
    Table& t = dm.Table1;
    if (const auto id = wholeNumber(task)) {
        for (t.first(); !t.eof(); t.next())
            if (dm.Table1AppID.asInteger() == *id) {
                found.bookmark = t.getBookmark();
                return found;
            }
    }
    Table::Bookmark match = 0;
    for (t.first(); !t.eof(); t.next()) {
        if (dm.Table1AppName.asString() != task) continue;
        found.sharedBy.push_back(dm.Table1AppID.asInteger());
        if (match == 0) match = t.getBookmark();
    }
    if (found.sharedBy.size() == 1) {
        found.bookmark = match;
        found.sharedBy.clear();
    } else if (found.sharedBy.empty()) {
        found.problem = str::taskMessage(str::CommandNoSuchTask, task);
    } else {
        // A command on the wrong one of two would do harm.
        found.problem = str::taskMessage(str::CommandSharedName, task);
        for (std::size_t i = 0; i < found.sharedBy.size(); ++i)
            found.problem += (i ? ", " : "") + std::to_string(found.sharedBy[i]);
        found.problem += '.';
    }
    return found;
}

std::string_view openWindowRefusal(const Scheduler& scheduler) {
    for (const auto& w : PausingWindows)
        if (scheduler.windowOpen(w.window)) return w.wire.refusal;
    return {};
}

OperatorAnswer operatorCommand(Scheduler& scheduler, OperatorCommand command,
                               std::string_view task) {
    // Not queued: the operator would not expect it to happen minutes later, when the window
    // closes.
    if (const std::string_view refusal = openWindowRefusal(scheduler); !refusal.empty())
        return {false, std::string(refusal)};
    // The pass stands on a record of its own while its box is open.
    if (scheduler.passRunning()) return {false, std::string(str::CommandPassBusy)};
    Table& t = scheduler.dataCtrl().Table1;
    try {
        PassGuard guard(t);
        const TaskLookup found = lookupTask(scheduler.dataCtrl(), task);
        if (found.bookmark == 0 || !t.gotoBookmark(found.bookmark)) return {false, found.problem};
        Diversion diversion(scheduler);
        try {
            return onTask(scheduler, command);
        } catch (const AbortError&) {
            // The data module has said why; its message is in the diversion.
            return {false, diversion.joined()};
        }
    } catch (const DatabaseError& e) {
        return {false, e.what(), isTransientFailure(e)};
    } catch (const std::exception& e) {
        return {false, e.what()};
    }
}

SchedulerStatus schedulerStatus(Scheduler& scheduler) {
    SchedulerStatus status;
    switch (scheduler.statusColour()) {
    case StatusGreen:
        status.colour = wire::Green;
        break;
    case StatusRed:
        status.colour = wire::Red;
        break;
    case StatusYellow:
        status.colour = wire::Yellow;
        break;
    default:
        status.colour = wire::NoColour;
    }
    std::string because;
    for (const auto& w : PausingWindows) {
        if (!scheduler.windowOpen(w.window)) continue;
        status.openWindows.emplace_back(w.wire.name);
        because += (because.empty() ? "" : ", ") + std::string(w.because);
    }
    if (because.empty() && scheduler.passRunning())
        because = "a message of the scheduling pass waits for the operator";
    if (because.empty() && status.colour == wire::Red) because = "a silence period is in force";
    status.paused = !because.empty();
    status.pausedBy = because;

    TDataCtrl& dm = scheduler.dataCtrl();
    for (int n = 1; n <= scheduler.RunningTasks.size(); ++n) {
        const TRunningTask& slot = scheduler.RunningTasks.slot(n);
        if (!slot.occupied()) continue;
        RunningTaskStatus r;
        r.slot = n;
        r.appId = slot.AppID;
        r.appName = slot.Title;
        r.processId = slot.ProcessId;
        status.running.push_back(std::move(r));
    }
    // The names as the records hold them now (the titles are cut to 40 characters), read without
    // moving the operator's record. The launch stamped the record with its moment, to the
    // millisecond; the record of a task launched twice holds the later one, so the others are
    // read from the system, to the second.
    Table& t = dm.Table1;
    const bool readable =
        !t.isEmpty() && !scheduler.passRunning() && t.state() == Table::State::Browse;
    std::optional<PassGuard> guard;
    if (readable && !status.running.empty()) guard.emplace(t);
    for (RunningTaskStatus& r : status.running) {
        const bool alone =
            std::count_if(status.running.begin(), status.running.end(),
                          [&](const RunningTaskStatus& o) { return o.appId == r.appId; }) == 1;
        if (readable && t.gotoBookmark(scheduler.RunningTasks.slot(r.slot).Bookmark)) {
            r.appName = dm.Table1AppName.asString();
            if (alone && completionCode(dm.Table1EndCode) == CompletionCode::Runs)
                r.since = datePart(dm.Table1LastDate.asDateTime()) +
                          timePart(dm.Table1LastTime.asDateTime());
        }
        if (!r.since) r.since = processStartMoment(r.processId);
    }
    return status;
}

std::optional<DateTime> processStartMoment(std::uint32_t processId) {
    if (processId == 0) return std::nullopt;
    std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return std::nullopt;
    // The command name in parentheses may hold blanks and parentheses of its own.
    const auto close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    // After the name: state is field 3, starttime field 22.
    for (int n = 3; n <= 22; ++n)
        if (!(fields >> field)) return std::nullopt;
    const auto ticks = wholeNumber(field);
    std::ifstream procStat("/proc/stat");
    long long bootTime = -1;
    for (std::string l; std::getline(procStat, l);)
        if (l.rfind("btime ", 0) == 0) bootTime = wholeNumber(l.substr(6)).value_or(-1);
    const long perSecond = sysconf(_SC_CLK_TCK);
    if (!ticks || bootTime < 0 || perSecond <= 0) return std::nullopt;
    const long long seconds = bootTime + *ticks / perSecond;
    const long nanoseconds = static_cast<long>((*ticks % perSecond) * (1000000000LL / perSecond));
    return localDateTimeFromUnix(seconds, nanoseconds);
}

} // namespace vektrin
