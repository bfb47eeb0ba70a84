// What a scheduler does beside the others on a task list that several workstations share: its
// registration, the resources held on every workstation, the server lost and found again, and
// the protocol lines on the server. On a directory of table files none of it applies.

#include "engine/scheduler.h"

#include "engine/pass_guard.h"
#include "engine/task_host.h"
#include "platform/operator_text.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "platform/version.h"
#include "store/task_states.h"

#include <algorithm>
#include <map>
#include <unistd.h>

namespace vektrin {
namespace {

// Lines the server has not taken yet are kept up to this many; the local log has them all.
constexpr std::size_t MaxUnsentProtocolLines = 100000;

} // namespace

void Scheduler::registerOnServer() {
    SharedTables* shared = DataCtrl->database().shared();
    if (!shared) return;
    const std::string version = config_.fileVersion.empty() ? fileVersion() : config_.fileVersion;
    if (!shared->registerScheduler(config_.host, version, getpid()))
        throw OperatorError(
            {str::HostHasScheduler, {config_.host, DataCtrl->database().directory()}});
    shared->pruneClaims(catchUpDays() + 1);
}

ResourceMask Scheduler::resourcesBusy(ResourceMask needed) {
    const ResourceMask busy = resource_rule::busy(needed, RunningTasks.CurrentUsedResources());
    SharedTables* shared = DataCtrl->database().shared();
    if (busy || !shared) return busy;
    ResourceMask elsewhere = 0;
    try {
        for (int n = 1; n <= ResourceEntries; ++n)
            if ((needed & resourceBit(n)) && !shared->holdResource(n)) elsewhere |= resourceBit(n);
    } catch (const DatabaseError&) {
        // Whether another workstation holds them cannot be known: they are taken for busy.
        elsewhere = needed;
    }
    if (elsewhere) releaseSharedResources();
    return elsewhere;
}

void Scheduler::releaseSharedResources() noexcept {
    SharedTables* shared = DataCtrl ? DataCtrl->database().shared() : nullptr;
    if (!shared) return;
    const ResourceMask used = RunningTasks.CurrentUsedResources();
    for (int n = 1; n <= ResourceEntries; ++n) {
        if (used & resourceBit(n)) continue;
        try {
            shared->releaseResource(n);
        } catch (const DatabaseError&) {
            // A lost connection has given it back already.
        }
    }
}

bool Scheduler::taskIsHere() {
    if (!DataCtrl->database().shared()) return true;
    TDataCtrl& dm = *DataCtrl;
    const task_host::Placement place = task_host::placement(dm.Table1Host.asString(), config_.host);
    if (!place.runsHere) return false;
    const std::string lastHost = dm.Table1LastHost.asString();
    const bool mine = text::lower(lastHost) == text::lower(config_.host);
    const std::optional<CompletionCode> code = completionCode(dm.Table1EndCode);
    // A wait for resources is settled by the workstation that claimed the moment and began it.
    if (code == CompletionCode::WaitingForResources) return mine;
    // A run of a task for any workstation that another live one began stands for it, as a
    // running instance does here: the task is not launched beside it.
    if (code == CompletionCode::Runs && place.rule == task_host::HostRule::Any && !mine &&
        !lastHost.empty()) {
        try {
            return !DataCtrl->database().shared()->hostRuns(lastHost);
        } catch (const DatabaseError&) {
            return false; // whether it still runs there cannot be known: not beside it
        }
    }
    return true;
}

std::optional<OperatorText> Scheduler::claimOperatorRun() {
    SharedTables* shared = DataCtrl->database().shared();
    if (!shared) return std::nullopt;
    TDataCtrl& dm = *DataCtrl;
    const std::string name = dm.Table1AppName.asString();
    const task_host::Placement place = task_host::placement(dm.Table1Host.asString(), config_.host);
    if (!place.runsHere)
        return OperatorText{str::RunNowElsewhere, {name, dm.Table1Host.asString()}};
    // Its own key beside the scheduled moment of the minute: the operator's run neither takes
    // nor needs that one. A second run from this workstation is the operator's to decide.
    const auto appId = static_cast<std::int32_t>(dm.Table1AppID.asInteger());
    const std::string moment = task_host::claimMoment(clock_.now()) + " now";
    const std::string hostKey =
        place.claim == task_host::Claim::OncePerHost ? place.claimHost : std::string();
    std::string takenBy;
    try {
        if (!serverLost_ && !shared->claim(appId, moment, hostKey, takenBy) &&
            text::lower(takenBy) != text::lower(config_.host))
            return OperatorText{str::RunNowTakenElsewhere, {name, takenBy}};
        if (!serverLost_) return std::nullopt;
    } catch (const DatabaseError&) {
        // The loss of the connection is said by watchServer.
    }
    if (place.claimBeforeLaunch) return OperatorText{str::RunNowServerAway, {name}};
    unsentClaims_.push_back({appId, moment, hostKey});
    return std::nullopt;
}

bool Scheduler::claimLaunch(DateTime due) {
    SharedTables* shared = DataCtrl->database().shared();
    if (!shared) return true;
    TDataCtrl& dm = *DataCtrl;
    const task_host::Placement place = task_host::placement(dm.Table1Host.asString(), config_.host);
    if (!place.runsHere) return false;
    const auto appId = static_cast<std::int32_t>(dm.Table1AppID.asInteger());
    const std::string moment = task_host::claimMoment(due);
    const std::string hostKey =
        place.claim == task_host::Claim::OncePerHost ? place.claimHost : std::string();
    std::string takenBy;
    try {
        if (!serverLost_) return shared->claim(appId, moment, hostKey, takenBy);
    } catch (const DatabaseError&) {
        // The loss of the connection is said by watchServer.
    }
    // Whose the moment is cannot be asked. A task pinned here competes with nobody: it runs from
    // the tables as last read, and its claim is written when the server is back.
    if (!place.claimBeforeLaunch) {
        unsentClaims_.push_back({appId, moment, hostKey});
        return true;
    }
    held_.add(appId, due, held::ServerAway);
    return false;
}

void Scheduler::sendClaims(SharedTables& shared) {
    while (!unsentClaims_.empty()) {
        const UnsentClaim& c = unsentClaims_.front();
        std::string takenBy;
        try {
            shared.claim(c.appId, c.moment, c.hostKey, takenBy);
        } catch (const DatabaseError&) {
            // The loss of the connection is said by watchServer.
            return;
        }
        unsentClaims_.pop_front();
    }
}

void Scheduler::notePassOnServer() {
    SharedTables* shared = DataCtrl->database().shared();
    if (!shared || serverLost_) return;
    try {
        shared->notePass();
    } catch (const DatabaseError&) {
        // The loss of the connection is said by watchServer.
    }
}

void Scheduler::shareProtocolLine(const std::string& line) {
    if (!DataCtrl || !DataCtrl->database().shared()) return;
    if (unsentProtocol_.size() >= MaxUnsentProtocolLines) unsentProtocol_.pop_front();
    unsentProtocol_.push_back(line);
}

void Scheduler::watchServer() {
    SharedTables* shared = DataCtrl ? DataCtrl->database().shared() : nullptr;
    if (!shared) return;
    // A loss that a statement mended at once is said all the same: what it held (a claim's
    // answer, the protocol lines of the moment) may have gone with it.
    if (shared->connectionLosses() != lossesSeen_ && !serverLost_) {
        serverLost_ = true;
        WriteProtocol(std::string(str::ServerLost) + shared->lastLoss());
    }
    lossesSeen_ = shared->connectionLosses();
    bool connected = shared->connected();
    if (!connected) {
        try {
            connected = shared->reconnect();
        } catch (const std::exception& e) {
            reportError(e.what());
        }
    }
    if (!connected) {
        if (!serverLost_) WriteProtocol(std::string(str::ServerLost) + shared->lastLoss());
        serverLost_ = true;
        lossesSeen_ = shared->connectionLosses();
        return;
    }
    if (serverLost_) {
        serverLost_ = false;
        WriteProtocol(str::ServerBack);
        // What the tables changed meanwhile is read again at once.
        DataCtrl->Table1.refreshIfChanged();
        // A catch-up task makes up the latest moment it was held back from while the server was
        // away, once: through that moment's claim, which no workstation has if none ran it.
        std::map<std::int32_t, std::int64_t> latest;
        for (const HeldLaunch& h : held_.all())
            if (h.reason == held::ServerAway) latest[h.appId] = std::max(latest[h.appId], h.minute);
        const std::int64_t oldest = PassHistory::minuteOf(clock_.now()) - 1440LL * catchUpDays();
        TDataCtrl& dm = *DataCtrl;
        PassGuard guard(dm.Table1);
        for (dm.Table1.first(); !dm.Table1.eof(); dm.Table1.next()) {
            const auto appId = static_cast<std::int32_t>(dm.Table1AppID.asInteger());
            const auto held = latest.find(appId);
            if (held == latest.end() || held->second < oldest || !dm.Table1CatchUp.asBoolean() ||
                dm.Table1Stopped.asBoolean() || ApplicationActive(appId))
                continue;
            const DateTime due = PassHistory::minuteStart(held->second);
            if (!claimLaunch(due)) continue;
            WriteProtocol(
                str::fill(str::MissedLaunchMadeUp, {dm.Table1AppName.asString(), momentText(due)}));
            if (RunNowClick(LaunchBy::Scheduler).outcome == RunOutcome::NoFreeSlot) waitForSlot();
        }
    }
    sendClaims(*shared);
    sendProtocolLines(*shared);
    serverNotices(*shared);
    try {
        shared->noteAlive();
    } catch (const DatabaseError&) {
        // The loss of the connection is said at the next second.
    }
}

int Scheduler::noticeSocket() {
    SharedTables* shared = DataCtrl ? DataCtrl->database().shared() : nullptr;
    return shared && !serverLost_ ? shared->noticeSocket() : -1;
}

void Scheduler::takeServerNotices() {
    SharedTables* shared = DataCtrl ? DataCtrl->database().shared() : nullptr;
    if (shared && !serverLost_ && !passRunning()) serverNotices(*shared);
}

void Scheduler::serverNotices(SharedTables& shared) {
    try {
        // The version of the table is asked all the same: the notice only says when.
        if (shared.takeNotices()) DataCtrl->Table1.refreshIfChanged();
    } catch (const DatabaseError&) {
        // Met again, and said, by the next second's pass.
    }
    answerRemoteRequests(shared);
}

void Scheduler::answerRemoteRequests(SharedTables& shared) {
    try {
        if (!remoteAnswer_) return;
        for (const auto& [id, request] : shared.takeRequests())
            shared.answerRequest(id, remoteAnswer_(request));
    } catch (const DatabaseError&) {
        // The loss of the connection is said by watchServer; its asker gives up in time.
    }
}

void Scheduler::sendProtocolLines(SharedTables& shared) {
    if (unsentProtocol_.empty()) return;
    try {
        shared.appendProtocol({unsentProtocol_.begin(), unsentProtocol_.end()});
        unsentProtocol_.clear();
    } catch (const DatabaseError&) {
        // Kept for the next second; the loss is said by watchServer.
    }
}

} // namespace vektrin
