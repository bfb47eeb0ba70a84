// The once-a-minute scheduling pass.

#include "engine/scheduler.h"

#include "engine/launch_condition.h"
#include "engine/missed_launches.h"
#include "engine/pass_guard.h"

#include "engine/next_launch.h"
#include "engine/schedule.h"
#include "engine/task_rows.h"
#include "platform/strings.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vektrin {
namespace {

// Waits are measured in whole seconds, so the milliseconds a pass spends before it reaches a task
// never carry a wait over into the next minute.
std::int64_t secondsOf(DateTime value) {
    return static_cast<std::int64_t>(std::floor(value * SecondsPerDay + 1e-6));
}

} // namespace

LaunchConditionOutcome Scheduler::launchConditionOutcome() {
    TDataCtrl& dm = *DataCtrl;
    if (completionCode(dm.Table1EndCode) == CompletionCode::WaitingForScheduling) {
        EditGuard guard(dm.Table1);
        dm.Table1.edit();
        stampLast();
        setCompletionCode(dm.Table1EndCode, CompletionCode::SchedulingStarted);
        postStatus();
    }
    return testLaunchCondition(evaluator_, dm.Table1StartCondition.asString());
}

bool Scheduler::TrueCondition() {
    return launchConditionOutcome() == LaunchConditionOutcome::True;
}

void Scheduler::Timer2Timer() {
    // Re-armed before anything else: a pass still held by a message box it raised skips this
    // minute, but the timer must come back for the minutes after the box closes.
    if (timer2Enabled_) armTimer2();
    if (inTimer2_) {
        // Minutes skipped while a box holds the pass are not made up.
        history_.excuse();
        return;
    }
    clock_.rereadZone();
    const std::optional<std::int64_t> elapsed = clock_.elapsedMs();
    const DateTime now = clock_.now();
    // A timer that fires before its minute has begun waits for it instead of doing the last one
    // twice.
    const std::optional<PassHistory::Pass> covered = history_.begin(now, clock_.utcMs(), elapsed);
    if (!covered) return;
    inTimer2_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inTimer2_};
    // Every task of this pass sees one listing per file search; the next pass reads the disk again.
    const FileSearchCache::Scope fileSearches(passFileSearches_);

    passMoment_ = now;
    passElapsedMs_ = elapsed;
    madeUpPart_.reset();
    struct ForgetMoment {
        Scheduler& s;
        ~ForgetMoment() {
            s.passMoment_.reset();
            s.passElapsedMs_.reset();
            s.madeUpPart_.reset();
        }
    } forgetMoment{*this};
    if (covered->step) {
        const bool forward = covered->step->to > covered->step->from;
        WriteProtocol(str::fill(forward ? str::ClockMovedForward : str::ClockMovedBack,
                                {momentText(covered->step->from), momentText(covered->step->to)}));
    }
    if (const std::string problem = history_.takeWriteProblem(); !problem.empty())
        WriteProtocol(std::string(str::LastPassNotKept) + problem);
    if (covered->gap) {
        madeUpPart_ = catchUpPart({covered->gap->first, covered->gap->second}, catchUpDays());
        if (madeUpPart_) history_.madeUp(madeUpPart_->after + 1, madeUpPart_->before - 1);
    }

    OrlimbActive = LoadOrlimbSettings();
    // Another program holds the tables, or their disk refuses a read: the pass launches from the
    // tables as it last read them (what it changes waits in memory), and says so.
    const KeepLastRead lastRead(*DataCtrl);
    try {
        schedulingWalk(now, *covered);
    } catch (const DatabaseError& e) {
        // What cannot be walked at all (a write that could not be deferred): the minute launches
        // what it reached, and the next pass tries again.
        if (!isTransientFailure(e)) throw;
        tablesUnusable(e.what());
        return;
    }
    if (const auto refused = lastRead.refusal())
        tablesUnusable(*refused);
    else if (!DataCtrl->Table1.hasDeferred())
        tablesUnusable_ = false;
    held_.save();
    notePassOnServer();
}

int Scheduler::catchUpDays() const {
    return vektrin::catchUpDays(settings_);
}

std::vector<PassGap> Scheduler::recordedGaps() const {
    // This scheduler runs: its gaps are those it keeps, none is pending.
    std::vector<PassGap> gaps;
    for (const auto& [after, before] : history_.gaps())
        gaps.push_back({after, before, false});
    return gaps;
}

std::string Scheduler::momentText(DateTime moment) const {
    return regional_.formatDate(moment) + " " + regional_.formatTime(moment);
}

void Scheduler::schedulingWalk(DateTime now, const PassHistory::Pass& covered) {
    TDataCtrl& dm = *DataCtrl;
    Table& t = dm.Table1;
    PassGuard guard(t);
    const schedule::PassMoment moment = schedule::passMoment(now);
    // The silence table is read again when another process (vektrinctl) changed its file
    // meanwhile, so a period it adds applies to the rest of this pass. Asking the file costs a few
    // microseconds, too much for every one of thousands of tasks: it is asked after a launch (the
    // time a launch takes is when such a change can come in) and otherwise once a millisecond.
    bool silenceRead = false;
    auto lastSilenceCheck = std::chrono::steady_clock::now();
    std::uint64_t launchesAtCheck = launchAttempts_;
    const auto silenceNow = [&] {
        const auto t0 = std::chrono::steady_clock::now();
        if (!silenceRead) {
            WorkEnabled();
            silenceRead = true;
        } else if (launchAttempts_ != launchesAtCheck ||
                   t0 - lastSilenceCheck > std::chrono::milliseconds(1)) {
            if (dm.Table3.changedOnDisk()) WorkEnabled();
            lastSilenceCheck = t0;
            launchesAtCheck = launchAttempts_;
        }
    };

    // Slots freed since the last second go first to the tasks that have waited for one.
    launchSlotWaiters();

    // The launches missed in the gap before this pass, searched as `vektrinctl next` searches,
    // silence periods left out; only for catch-up tasks, and only in a pass after a gap.
    std::optional<schedule::NextLaunchSearch> missedSearch;

    for (t.first(); !t.eof(); t.next()) {
        if (!taskIsHere()) continue;
        const schedule::TaskState task = taskState(dm, &RunningTasks);
        schedule::PassQuestions ask;
        ask.silenced = [&] {
            silenceNow();
            return schedule::silenced(task, silencesInForce_);
        };
        ask.condition = [&] { return launchConditionOutcome(); };
        ask.missed = [&]() -> std::optional<DateTime> {
            if (!madeUpPart_) return std::nullopt;
            if (!missedSearch)
                missedSearch.emplace(
                    Schedule::silenceTable(dm),
                    static_cast<int>((madeUpPart_->before - madeUpPart_->after) / 1440) + 1);
            const auto found = missedIn(*missedSearch, task.schedule, *madeUpPart_);
            // The latest moment that no pass covered before the clock went back and that no
            // earlier pass made up.
            for (auto moment = found.rbegin(); moment != found.rend(); ++moment) {
                const std::int64_t minute = PassHistory::minuteOf(moment->toDateTime());
                if (std::none_of(covered.coveredInGap.begin(), covered.coveredInGap.end(),
                                 [&](const auto& run) {
                                     return run.first <= minute && minute <= run.second;
                                 }))
                    return moment->toDateTime();
            }
            return std::nullopt;
        };
        // A catch-up task's launch in a gap was made up: it is not made again when the clock
        // brings that minute back.
        const bool repeated = covered.repeatedMinute || (task.catchUp && covered.madeUpMinute);
        const schedule::PassDecision d = schedule::passVerdict(task, moment, repeated, ask);
        const auto appId = static_cast<std::int32_t>(dm.Table1AppID.asInteger());
        sayMalformedCondition(appId, d.verdict, moment);
        switch (d.verdict) {
        case schedule::Verdict::Waiting:
            settleWaiting(now);
            break;
        case schedule::Verdict::Launch:
        case schedule::Verdict::MakeUp:
        case schedule::Verdict::Replace:
        case schedule::Verdict::StillRunning:
            // Due again while it waits for a slot: it is launched once, when its turn comes (a
            // slot freed in this walk must not launch it twice, nor end the instance it starts).
            if (waitsForSlot(appId)) break;
            // The active test ends an interruptible instance and answers for the other kind.
            if (ApplicationActive(appId)) break;
            if (!claimLaunch(d.missed ? *d.missed : now)) break;
            if (d.missed)
                WriteProtocol(str::fill(str::MissedLaunchMadeUp,
                                        {dm.Table1AppName.asString(), momentText(*d.missed)}));
            if (RunNowClick(LaunchBy::Scheduler).outcome == RunOutcome::NoFreeSlot) waitForSlot();
            break;
        default:
            if (d.endsRunningInstance) ApplicationActive(appId);
        }
    }
}

void Scheduler::sayMalformedCondition(std::int32_t appId, schedule::Verdict verdict,
                                      const schedule::PassMoment& moment) {
    using schedule::Verdict;
    if (verdict == Verdict::Stopped || verdict == Verdict::Waiting || verdict == Verdict::Silenced)
        return; // the condition was not looked at
    TDataCtrl& dm = *DataCtrl;
    if (verdict != Verdict::ConditionError) {
        malformedSaid_.erase(appId);
        return;
    }
    if (Schedule::ofTask(dm).decide(moment).reason == schedule::Reason::Due)
        held_.add(appId, moment.nowDateTime, held::UnreadableCondition);
    // Once for each text, however many minutes the task is held back by it.
    const std::string condition = trimBlanksAndControls(dm.Table1StartCondition.asString());
    const auto said = malformedSaid_.find(appId);
    if (said != malformedSaid_.end() && said->second == condition) return;
    malformedSaid_[appId] = condition;
    WriteProtocol(
        str::fill(str::LaunchConditionUnreadable, {dm.Table1AppName.asString(), condition}));
}

void Scheduler::settleWaiting(DateTime now) {
    TDataCtrl& dm = *DataCtrl;
    Table& t = dm.Table1;
    // Its resources came free while no slot was: it is launched when its turn for a slot comes.
    if (waitsForSlot(static_cast<std::int32_t>(dm.Table1AppID.asInteger()))) return;
    const ResourceMask conflicts = resource_rule::needed(dm.Table1Conflicts.asInteger());
    const DateTime longest = resourceTable.longestWait(conflicts);
    EditGuard guard(t);
    const auto appId = static_cast<std::int32_t>(dm.Table1AppID.asInteger());
    if (resourcesBusy(conflicts) != 0) {
        const auto sinceBoot = waitsBegun_.find(appId);
        if (sinceBoot != waitsBegun_.end() && passElapsedMs_) {
            // Begun in this run: what really passed counts, whatever the clock was set to.
            const auto waited = static_cast<std::int64_t>(
                std::llround(static_cast<double>(*passElapsedMs_ - sinceBoot->second) / 1000));
            if (waited < secondsOf(longest)) return;
        } else {
            // The wait began at LastDate + WaitBeginning (written together), so a wait that
            // crosses midnight ends after the longest wait like any other.
            const DateTime began = datePart(dm.Table1LastDate.asDateTime()) +
                                   timePart(dm.Table1WaitBeginning.asDateTime());
            if (secondsOf(began) + secondsOf(longest) > secondsOf(now)) return;
        }
        waitsBegun_.erase(appId);
        held_.add(appId,
                  datePart(dm.Table1LastDate.asDateTime()) +
                      timePart(dm.Table1WaitBeginning.asDateTime()),
                  held::Resources);
        WriteProtocol(str::taskMessage(str::WaitingOver, dm.Table1AppName.asString()));
        t.edit();
        dm.Table1WaitBeginning.setFloat(0);
        setCompletionCode(dm.Table1EndCode, CompletionCode::WaitingTimeOver);
        stampLast();
        postStatus();
        notifyFailure(static_cast<std::int32_t>(dm.Table1AppID.asInteger()),
                      dm.Table1AppName.asString(), std::string(str::Sost10), {});
        return;
    }
    waitsBegun_.erase(appId);
    t.edit();
    dm.Table1WaitBeginning.setFloat(0);
    // A launch posts the cleared beginning with its own change. Without a free slot its resources
    // are free but it waits for a slot.
    if (RunNowClick(LaunchBy::Scheduler).outcome == RunOutcome::NoFreeSlot) {
        postStatus();
        waitForSlot();
    }
}

} // namespace vektrin
