// Tasks due while every running slot is taken: they wait for a slot in the order they fell due,
// for at most [Schedule] SlotWaitMinutes, instead of losing their launch.

#include "engine/scheduler.h"

#include "engine/pass_guard.h"
#include "platform/strings.h"

#include <algorithm>

namespace vektrin {

bool Scheduler::waitsForSlot(std::int32_t appId) const {
    return std::any_of(slotWaits_.begin(), slotWaits_.end(),
                       [&](const SlotWait& w) { return w.appId == appId; });
}

void Scheduler::waitForSlot() {
    TDataCtrl& dm = *DataCtrl;
    const auto appId = static_cast<std::int32_t>(dm.Table1AppID.asInteger());
    // Due again while it waits: it is launched once, when its turn comes.
    if (waitsForSlot(appId)) return;
    // The minute it fell due: what the protocol and vektrinctl due --missed name.
    const DateTime due = PassHistory::minuteStart(PassHistory::minuteOf(eventMoment()));
    slotWaits_.push_back({appId, dm.Table1.getBookmark(), due, dm.Table1AppName.asString()});
    WriteProtocol(str::taskMessage(str::WaitsForSlot, slotWaits_.back().appName));
    port_.slotWaitsChanged(true);
}

void Scheduler::launchSlotWaiters() {
    if (slotWaits_.empty()) return;
    const DateTime now = clock_.now();
    const DateTime longest = static_cast<double>(slotWaitMinutes_) / 1440;
    // Those that waited too long first, whether a slot is free or not.
    for (auto w = slotWaits_.begin(); w != slotWaits_.end();) {
        if (now - w->due <= longest + 1e-9) {
            ++w;
            continue;
        }
        held_.add(w->appId, w->due, held::NoSlot);
        WriteProtocol(str::fill(
            str::SlotWaitOver, {w->appName, std::to_string(slotWaitMinutes_), momentText(w->due)}));
        w = slotWaits_.erase(w);
    }
    Table& t = DataCtrl->Table1;
    while (!slotWaits_.empty() && RunningTasks.freeSlot() != 0) {
        const SlotWait w = slotWaits_.front();
        slotWaits_.pop_front();
        // A task deleted meanwhile has nothing to launch; one the operator stopped is held back
        // by the operator.
        if (!t.gotoBookmark(w.bookmark) || DataCtrl->Table1Stopped.asBoolean()) continue;
        // An instance started meanwhile counts as for a due launch.
        if (ApplicationActive(w.appId)) continue;
        RunNowClick(LaunchBy::Scheduler);
    }
    if (slotWaits_.empty()) port_.slotWaitsChanged(false);
}

void Scheduler::slotCheck() {
    // Never while an editor or the viewer is open: no pass moves a record someone is typing into.
    if (slotWaits_.empty() || inTimer1_ || inTimer2_ || !DataCtrl ||
        windowOpen_ != decltype(windowOpen_){})
        return;
    inTimer1_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{inTimer1_};
    std::vector<std::string> errors; // conditions are not evaluated here
    PassGuard guard(DataCtrl->Table1);
    const bool ended = monitorSlots(false, errors);
    finishOutput(TaskOutput::Finish::Ready);
    launchSlotWaiters();
    if (ended) refreshIcon();
}

} // namespace vektrin
