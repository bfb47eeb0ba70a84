// Launch, the monitoring pass and the interruptions.

#include "engine/scheduler.h"

#include "engine/launch_condition.h"
#include "engine/pass_guard.h"

#include "condition/condition_errors.h"
#include "engine/schedule.h"
#include "engine/task_rows.h"
#include "platform/strings.h"
#include "store/status_text.h"
#include "store/table.h"

#include <cmath>
#include <cstring>
#include <unistd.h>

namespace vektrin {
std::string Scheduler::launchErrorText(const LaunchResult& r) const {
    switch (r.failure) {
    case LaunchFailure::NotEnoughResources:
        return std::string(str::LaunchNotEnoughResources);
    case LaunchFailure::ProgramNotFound:
        return std::string(str::LaunchProgramNotFound);
    case LaunchFailure::PathNotFound:
        return std::string(str::LaunchPathNotFound);
    case LaunchFailure::BadExecutableFormat:
        return std::string(str::LaunchBadFormat);
    case LaunchFailure::BadStartupDirectory:
        return std::string(str::LaunchBadDirectory);
    default:
        return std::string(str::LaunchOtherError) + std::to_string(r.errorNumber);
    }
}

RunNowResult Scheduler::RunNowClick(LaunchBy by) {
    ++launchAttempts_;
    TDataCtrl& dm = *DataCtrl;
    Table& t = dm.Table1;
    if (t.isEmpty()) return {RunOutcome::NoTask, {}};
    if (by == LaunchBy::Operator) {
        if (const std::optional<OperatorText> notHere = claimOperatorRun()) {
            if (messages_.sink)
                messages_.sink->push_back(notHere->english());
            else
                port_.showText(*notHere, MessageKind::Plain);
            return {RunOutcome::NotHere, notHere->english()};
        }
    }
    EditGuard guard(t);
    const std::string name = dm.Table1AppName.asString();
    const ResourceMask conflicts = resource_rule::needed(dm.Table1Conflicts.asInteger());
    // Shared holds taken for a launch that does not come are given back.
    struct ReleaseUnused {
        Scheduler& s;
        ~ReleaseUnused() { s.releaseSharedResources(); }
    } releaseUnused{*this};

    if (resourcesBusy(conflicts) != 0) {
        t.edit();
        if (dm.Table1WaitRes.asBoolean()) {
            const DateTime began = eventMoment();
            if (const auto elapsed = passElapsedMs_ ? passElapsedMs_ : clock_.elapsedMs())
                waitsBegun_[static_cast<std::int32_t>(dm.Table1AppID.asInteger())] = *elapsed;
            dm.Table1WaitBeginning.setDateTime(timePart(began));
            // On a shared list the wait is this workstation's to settle.
            dm.Table1LastHost.setString(cutToWidth(config_.host, dm.Table1LastHost.def().width));
            setCompletionCode(dm.Table1EndCode, CompletionCode::WaitingForResources);
            stampLast(began);
            postStatus();
            WriteProtocol(str::taskMessage(str::SetToWaiting, name));
            return {RunOutcome::SetWaiting, {}};
        }
        setCompletionCode(dm.Table1EndCode, CompletionCode::SkippedResourcesBusy);
        stampLast();
        postStatus();
        if (by == LaunchBy::Scheduler)
            held_.add(static_cast<std::int32_t>(dm.Table1AppID.asInteger()), eventMoment(),
                      held::Resources);
        WriteProtocol(str::taskMessage(str::SkippedConflict, name));
        return {RunOutcome::SkippedResources, {}};
    }

    const int n = RunningTasks.freeSlot();
    if (n == 0) {
        // The scheduler's own launch waits for a slot (its caller queues it), the operator hears
        // at once.
        if (by == LaunchBy::Operator) messages_.showMessage(str::TooManyTasks);
        return {RunOutcome::NoFreeSlot, {}};
    }
    TRunningTask& slot = RunningTasks.slot(n);
    slot.AppID = static_cast<std::int32_t>(dm.Table1AppID.asInteger());
    slot.Bookmark = t.getBookmark();
    slot.Conflicts = conflicts;

    t.edit();
    stampLast();
    dm.Table1LastHost.setString(cutToWidth(config_.host, dm.Table1LastHost.def().width));
    setCompletionCode(dm.Table1EndCode, CompletionCode::Runs);
    postStatus();

    slot.Title = cutToWidth(name, 40);
    LaunchRequest request;
    LaunchResult result;
    try {
        request.commandLine = UnpackCommandString(dm.Table1Application.asString());
        request.directory = dm.Table1AppDirectory.asString();
        request.priority = static_cast<int>(dm.Table1Priority.asInteger());
        request.runType = static_cast<int>(dm.Table1RunType.asInteger());
        WriteProtocol(str::taskMessage(str::Executes, name));
        const std::string whyNot =
            output_.begin(n, slot.AppID, clock_.now(), outputSettings(), request);
        if (!whyNot.empty()) WriteProtocol(str::taskMessage(str::OutputNotKept, name) + whyNot);
        result = processes_.launch(request);
    } catch (...) {
        output_.abandon(n);
        // Nothing was started (the process layer failed, say): the record must not go on saying
        // that the task runs.
        try {
            t.edit();
            setCompletionCode(dm.Table1EndCode, CompletionCode::LaunchError);
            stampLast();
            postStatus();
        } catch (...) {
            // The guard drops what could not be written.
        }
        freeSlot(n, false);
        throw;
    }
    if (result.failure == LaunchFailure::None && result.info.processHandle != 0) {
        slot.ProcessHandle = result.info.processHandle;
        slot.ThreadHandle = result.info.threadHandle;
        slot.ProcessId = result.info.processId;
        slot.ThreadId = result.info.threadId;
        slot.Window = 0;
        slot.RunType = request.runType;
        slot.RunTypeApplied = false;
        slot.ConditionErrorReported = false;
        SetIcon("XICON2");
        output_.started(n, result.keeper);
        if (result.outputError != 0) {
            // The task runs all the same, its output going to /dev/null.
            output_.abandon(n);
            WriteProtocol(str::taskMessage(str::OutputNotKept, name) + "cannot open " +
                          request.outputPath + ": " + std::strerror(result.outputError));
        }
        return {RunOutcome::Launched, {}};
    }
    output_.abandon(n);
    const std::string text = launchErrorText(result);
    t.edit();
    setCompletionCode(dm.Table1EndCode, CompletionCode::LaunchError);
    stampLast();
    postStatus();
    freeSlot(n, false);
    WriteProtocol(std::string(str::LaunchErrorPrefix) + text);
    notifyFailure(slot.AppID, name, std::string(str::LaunchErrorPrefix) + text, {});
    messages_.showMessage(text);
    return {RunOutcome::LaunchError, text};
}

bool Scheduler::waitsForResources() const {
    return completionCode(DataCtrl->Table1EndCode) == CompletionCode::WaitingForResources;
}

void Scheduler::freeSlot(int slotNumber, bool processExisted) {
    TRunningTask& slot = RunningTasks.slot(slotNumber);
    if (processExisted && slot.ProcessHandle != 0) processes_.close(slot.processInfo());
    slot.ProcessHandle = 0;
    slot.Window = 0;
    DataCtrl->Table1.freeBookmark(slot.Bookmark);
    releaseSharedResources();
}

void Scheduler::endRunningTask(int slotNumber, CompletionCode code, std::string_view protocolFormat,
                               std::string notice) {
    TRunningTask& slot = RunningTasks.slot(slotNumber);
    processes_.terminate(slot.processInfo());
    // Whatever happens to the record or the protocol, the process is gone, its output file is
    // closed off and its slot is freed.
    struct Release {
        Scheduler& s;
        int n;
        CompletionCode code;
        std::string name;
        std::string& notice;
        ~Release() {
            s.endOutput(n, code, std::nullopt, name, std::move(notice));
            s.freeSlot(n, true);
        }
    };
    {
        Release release{*this, slotNumber, code, DataCtrl->Table1AppName.asString(), notice};
        Table& t = DataCtrl->Table1;
        EditGuard guard(t);
        t.edit();
        if (!waitsForResources()) {
            stampLast();
            setCompletionCode(DataCtrl->Table1EndCode, code);
        }
        postStatus();
        WriteProtocol(str::taskMessage(protocolFormat, DataCtrl->Table1AppName.asString()));
    }
}

void Scheduler::InterruptTask(std::int32_t appId) {
    for (int n = 1; n <= RunningTasks.size(); ++n)
        if (RunningTasks.slot(n).occupied() && RunningTasks.slot(n).AppID == appId)
            // Its termination condition ended it: the operator hears of it.
            endRunningTask(n, CompletionCode::InterruptedByProgram, str::InterruptedByProgram,
                           std::string(str::Sost4));
    refreshIcon();
}

void Scheduler::InterruptClick() {
    Table& t = DataCtrl->Table1;
    if (!t.isEmpty()) {
        const auto appId = static_cast<std::int32_t>(DataCtrl->Table1AppID.asInteger());
        for (int n = 1; n <= RunningTasks.size(); ++n)
            if (RunningTasks.slot(n).occupied() && RunningTasks.slot(n).AppID == appId)
                endRunningTask(n, CompletionCode::InterruptedByPerson, str::InterruptedByPerson);
    }
    refreshIcon();
}

bool Scheduler::ApplicationActive(std::int32_t appId) {
    bool answer = false;
    bool ended = false;
    for (int n = 1; n <= RunningTasks.size(); ++n) {
        const TRunningTask& slot = RunningTasks.slot(n);
        if (!slot.occupied() || slot.AppID != appId) continue;
        if (DataCtrl->Table1Interupt.asBoolean()) {
            endRunningTask(n, CompletionCode::InterruptedByProgram, str::InterruptedByProgram);
            ended = true;
        } else {
            answer = true;
        }
    }
    if (ended) refreshIcon();
    return answer;
}

void Scheduler::CancelWaitingClick() {
    Table& t = DataCtrl->Table1;
    if (t.isEmpty()) return;
    WriteProtocol(str::taskMessage(str::WaitingCancelled, DataCtrl->Table1AppName.asString()));
    EditGuard guard(t);
    t.edit();
    DataCtrl->Table1WaitBeginning.setFloat(0);
    setCompletionCode(DataCtrl->Table1EndCode, CompletionCode::WaitingCancelled);
    stampLast();
    postStatus();
}

void Scheduler::retitleWindows() {
    if (!RunningTasks.anyTaskRunning()) {
        windows_.flush(); // the window layer still reads the desktop's change reports
        return;
    }
    const auto ownPid = static_cast<std::uint32_t>(getpid());
    for (WindowId w : windows_.topLevelWindows()) {
        const std::uint32_t pid = windows_.processId(w);
        if (pid == 0 || pid == ownPid) continue;
        bool matches = false;
        for (int n = 1; n <= RunningTasks.size() && !matches; ++n)
            matches = RunningTasks.slot(n).occupied() && RunningTasks.slot(n).ProcessId == pid;
        if (!matches || windows_.hasOwner(w)) continue;
        const std::string current = windows_.title(w);
        if (current.empty()) continue;
        for (int n = 1; n <= RunningTasks.size(); ++n) {
            TRunningTask& slot = RunningTasks.slot(n);
            if (!slot.occupied() || slot.ProcessId != pid) continue;
            if (current != slot.Title) windows_.setTitle(w, slot.Title);
            slot.Window = w;
            if (!slot.RunTypeApplied) {
                windows_.applyRunType(w, slot.RunType);
                slot.RunTypeApplied = true;
            }
        }
    }
    windows_.flush();
}

bool Scheduler::monitorSlots(bool conditions, std::vector<std::string>& errors) {
    bool ended = false;
    TDataCtrl& dm = *DataCtrl;
    Table& t = dm.Table1;
    // A record another program removed meanwhile (vektrinctl rm) is gone before a slot's record is
    // edited, as the scheduling pass reads it, instead of failing the edit.
    if (RunningTasks.anyTaskRunning() || !slotWaits_.empty()) {
        try {
            t.refreshIfChanged();
        } catch (const DatabaseError& e) {
            if (!isTransientFailure(e)) throw; // held: the rows as last read serve
        }
    }
    for (int n = 1; n <= RunningTasks.size(); ++n) {
        TRunningTask& slot = RunningTasks.slot(n);
        if (!slot.occupied()) continue;
        const ExitQuery q = processes_.queryExit(slot.processInfo());
        if (q.state == ExitState::QueryFailed) continue;
        const bool found = t.gotoBookmark(slot.Bookmark);
        if (q.state == ExitState::Running) {
            if (!found || !conditions) continue;
            const std::string condition = trimBlanksAndControls(dm.Table1EndCondition.asString());
            if (condition.empty()) continue;
            try {
                const double value = EvaluateCondition(condition);
                if (!ConditionError() && value != 0) InterruptTask(slot.AppID);
            } catch (const EvaluationFailure& e) {
                // One failing condition must not keep the other slots unchecked, nor repeat
                // its report every second.
                if (!slot.ConditionErrorReported) {
                    slot.ConditionErrorReported = true;
                    errors.push_back(e.what());
                    WriteProtocol(str::taskMessage(str::TerminationConditionFailed,
                                                   dm.Table1AppName.asString()) +
                                  e.what());
                }
            }
            continue;
        }
        WriteProtocol(
            str::taskMessage(str::TaskCompleted, found ? dm.Table1AppName.asString() : slot.Title));
        if (found) {
            EditGuard editing(t);
            t.edit();
            if (!waitsForResources()) {
                stampLast();
                setCompletionCode(dm.Table1EndCode, CompletionCode::Completed);
            }
            dm.Table1ExitCode.setInteger(q.status);
            postStatus();
        }
        const std::string name = found ? dm.Table1AppName.asString() : slot.Title;
        const std::int32_t appId = slot.AppID;
        endOutput(n, CompletionCode::Completed, q.status, name,
                  found && q.status != 0
                      ? statusText(false, static_cast<double>(CompletionCode::Completed), q.status)
                      : std::string());
        freeSlot(n, true);
        ended = true;
        if (!found) {
            // The task was deleted while it ran: its runs go with it.
            for (const std::string& problem : output_.removeTask(appId))
                outputProblem(name, problem);
        }
    }
    return ended;
}

void Scheduler::Timer1Timer() {
    if (inTimer1_) return;
    inTimer1_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inTimer1_};

    flushProtocol();
    watchServer();
    if (!timer2Enabled_ && decodeTime(clock_.now()).second == 1) enableTimer2();
    retitleWindows();
    if (DataCtrl->Table1.hasDeferred()) {
        writeDeferredStatus();
        if (!DataCtrl->Table1.hasDeferred()) tablesUnusable_ = false;
    }

    std::vector<std::string> errors;
    {
        TDataCtrl& dm = *DataCtrl;
        Table& t = dm.Table1;
        PassGuard guard(t);
        const bool ended = monitorSlots(true, errors);
        finishOutput(TaskOutput::Finish::Pass);
        removeDeletedTasksOutput();
        if (ended) refreshIcon();
        launchSlotWaiters();
        // What was held back is written once a second at most, not at each slot check.
        held_.save();
        if (PauseStart != 0) {
            try {
                markSkippedLaunches();
                PauseStart = 0;
                held_.save();
            } catch (const DatabaseError& e) {
                // The tables cannot be read now: the marking waits for the next second.
                if (!isTransientFailure(e)) throw;
                tablesUnusable(e.what());
            }
        }
    }
    for (const auto& e : errors)
        reportError(e);
}

void Scheduler::recordPausedLaunches(DateTime now) {
    const Schedule window = Schedule::ofTask(*DataCtrl);
    const auto appId = static_cast<std::int32_t>(DataCtrl->Table1AppID.asInteger());
    // The pause's minutes, up to the first pass after it; a week at most.
    const std::int64_t last = PassHistory::minuteOf(now) + 1;
    std::optional<DateTime> first;
    for (std::int64_t m = std::max(PassHistory::minuteOf(PauseStart), last - 7 * 1440); m <= last;
         ++m) {
        const DateTime minute = PassHistory::minuteStart(m);
        if (window.decide(schedule::passMoment(minute)).reason != schedule::Reason::Due) continue;
        held_.add(appId, minute, held::Pause);
        if (!first) first = minute;
    }
    if (first)
        WriteProtocol(str::fill(str::LaunchFellIntoPause,
                                {DataCtrl->Table1AppName.asString(), momentText(*first)}));
}

bool Scheduler::IsDispIntervalSkipped(DateTime from, DateTime to) {
    TDataCtrl& dm = *DataCtrl;
    // The active test ends a running instance of an Interrupt task: only a launch that fell into
    // the pause may cost it that, never the mere closing of a window.
    if (!Schedule::ofTask(dm).launchSkipped(from, to)) return false;
    if (ApplicationActive(static_cast<std::int32_t>(dm.Table1AppID.asInteger()))) return false;
    return !dm.Table1Stopped.asBoolean();
}

void Scheduler::markSkippedLaunches() {
    Table& t = DataCtrl->Table1;
    const DateTime now = clock_.now();
    for (t.first(); !t.eof(); t.next()) {
        if (!IsDispIntervalSkipped(PauseStart, now)) continue;
        recordPausedLaunches(now);
        EditGuard guard(t);
        t.edit();
        stampLast();
        setCompletionCode(DataCtrl->Table1EndCode, CompletionCode::WaitingForScheduling);
        postStatus();
    }
}

} // namespace vektrin
