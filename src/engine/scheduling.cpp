// The once-a-minute scheduling pass.

#include "engine/scheduler.h"

#include "engine/launch_condition.h"
#include "engine/pass_guard.h"

#include "engine/schedule_rules.h"
#include "platform/strings.h"

#include <chrono>
#include <cmath>

namespace vektrin {
namespace {

// Waits are measured in whole seconds, so the milliseconds a pass spends before it reaches a task
// never carry a wait over into the next minute.
std::int64_t secondsOf(DateTime value) {
    return static_cast<std::int64_t>(std::floor(value * SecondsPerDay + 1e-6));
}

// A clock set back by more than this is a new time, not a repeated stretch of the day.
constexpr std::int64_t RepeatedStretchMinutes = 180;

} // namespace

bool Scheduler::TrueCondition() {
    TDataCtrl& dm = *DataCtrl;
    if (std::llround(dm.Table1EndCode.asFloat()) == 13) {
        dm.Table1.edit();
        stampLast();
        dm.Table1EndCode.setFloat(14);
        dm.Table1.post();
    }
    return testLaunchCondition(evaluator_, dm.Table1StartCondition.asString()) ==
           LaunchConditionOutcome::True;
}

void Scheduler::Timer2Timer() {
    // Re-armed before anything else: a pass still held by a message box it raised skips this
    // minute, but the timer must come back for the minutes after the box closes.
    if (timer2Enabled_) armTimer2();
    if (inTimer2_) return;
    const DateTime now = clock_.now();
    const auto minute = static_cast<std::int64_t>(std::floor(now * 1440 + 1e-7));
    // A timer that fires before its minute has begun waits for it instead of doing the last one
    // twice.
    if (minute == lastPassMinute_) return;
    inTimer2_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inTimer2_};
    // Every task of this pass sees one listing per file search; the next pass reads the disk again.
    const FileSearchCache::Scope fileSearches(passFileSearches_);

    // After the clock went back (end of summer time, a manual change), the minutes up to the
    // latest one already scheduled come again: launches at a fixed time of day are not repeated.
    bool repeatedMinute = false;
    if (minute > highWaterMinute_ || highWaterMinute_ - minute > RepeatedStretchMinutes)
        highWaterMinute_ = minute;
    else
        repeatedMinute = true;
    lastPassMinute_ = minute;
    passMoment_ = now;
    struct ForgetMoment {
        std::optional<DateTime>& moment;
        ~ForgetMoment() { moment.reset(); }
    } forgetMoment{passMoment_};

    OrlimbActive = LoadOrlimbSettings();

    TDataCtrl& dm = *DataCtrl;
    Table& t = dm.Table1;
    PassGuard guard(t);
    const schedule::PassMoment moment = schedule::passMoment(now);
    // The silence table is read again when another process (vektrinctl) changed its file
    // meanwhile, so a period it adds applies to the rest of this pass. Asking the file costs a few
    // microseconds, too much for every one of thousands of tasks: it is asked after a launch (the
    // time a launch takes is when such a change can come in) and otherwise once a millisecond.
    std::optional<bool> workEnabled;
    auto lastSilenceCheck = std::chrono::steady_clock::now();
    std::uint64_t launchesAtCheck = launchAttempts_;

    for (t.first(); !t.eof(); t.next()) {
        if (dm.Table1Stopped.asBoolean()) continue;
        const auto appId = static_cast<std::int32_t>(dm.Table1AppID.asInteger());
        if (std::llround(dm.Table1EndCode.asFloat()) == 7) {
            settleWaiting(now);
            continue;
        }
        if (!workEnabled) {
            workEnabled = WorkEnabled();
        } else {
            const auto t0 = std::chrono::steady_clock::now();
            if (launchAttempts_ != launchesAtCheck ||
                t0 - lastSilenceCheck > std::chrono::milliseconds(1)) {
                if (dm.Table3.changedOnDisk()) workEnabled = WorkEnabled();
                lastSilenceCheck = t0;
                launchesAtCheck = launchAttempts_;
            }
        }
        if (!*workEnabled) continue;
        if (!TrueCondition()) continue;

        schedule::Window w;
        w.interval = static_cast<int>(dm.Table1Interval.asInteger());
        w.startDate = dm.Table1StartDate.asDateTime();
        w.startTime = dm.Table1StartTime.asDateTime();
        w.endDate = dm.Table1EndDate.asDateTime();
        w.endTime = dm.Table1EndTime.asDateTime();
        w.repeatInterval = static_cast<int>(dm.Table1RepeatInterval.asInteger());
        const schedule::KindDecision d = schedule::decide(w, moment);
        const int kind = schedule::kindOf(w.interval);
        if (d.reason == schedule::Reason::Due) {
            if (repeatedMinute && kind >= 2) continue;
            if (!ApplicationActive(appId)) RunNowClick();
        } else if (d.stopCheck) {
            ApplicationActive(appId);
        }
    }
}

void Scheduler::settleWaiting(DateTime now) {
    TDataCtrl& dm = *DataCtrl;
    Table& t = dm.Table1;
    const auto conflicts = static_cast<ResourceMask>(dm.Table1Conflicts.asInteger());
    const DateTime longest = resourceTable.longestWait(conflicts);
    if ((conflicts & RunningTasks.CurrentUsedResources()) != 0) {
        // The wait began at LastDate + WaitBeginning (written together), so a wait that crosses
        // midnight ends after the longest wait like any other.
        const DateTime began = datePart(dm.Table1LastDate.asDateTime()) +
                               timePart(dm.Table1WaitBeginning.asDateTime());
        if (secondsOf(began) + secondsOf(longest) > secondsOf(now)) return;
        WriteProtocol(str::taskMessage(str::WaitingOver, dm.Table1AppName.asString()));
        t.edit();
        dm.Table1WaitBeginning.setFloat(0);
        dm.Table1EndCode.setFloat(10);
        stampLast();
        t.post();
        return;
    }
    t.edit();
    dm.Table1WaitBeginning.setFloat(0);
    RunNowClick();
}

} // namespace vektrin
