// What a scheduler does beside the others on a task list that several workstations share: its
// registration, the resources held on every workstation, the server lost and found again, and
// the protocol lines on the server. On a directory of table files none of it applies.

#include "engine/scheduler.h"

#include "platform/operator_text.h"
#include "platform/strings.h"
#include "platform/version.h"

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

void Scheduler::shareProtocolLine(const std::string& line) {
    if (!DataCtrl || !DataCtrl->database().shared()) return;
    if (unsentProtocol_.size() >= MaxUnsentProtocolLines) unsentProtocol_.pop_front();
    unsentProtocol_.push_back(line);
}

void Scheduler::watchServer() {
    SharedTables* shared = DataCtrl ? DataCtrl->database().shared() : nullptr;
    if (!shared) return;
    bool connected = shared->connected();
    if (!connected) {
        try {
            connected = shared->reconnect();
        } catch (const std::exception& e) {
            reportError(e.what());
        }
    }
    if (connected == !serverLost_) {
        if (connected) sendProtocolLines(*shared);
        return;
    }
    serverLost_ = !connected;
    if (serverLost_) {
        WriteProtocol(std::string(str::ServerLost) + lastServerProblem_);
        return;
    }
    WriteProtocol(str::ServerBack);
    // What the tables changed meanwhile is read again at once.
    DataCtrl->Table1.refreshIfChanged();
    sendProtocolLines(*shared);
}

void Scheduler::sendProtocolLines(SharedTables& shared) {
    if (unsentProtocol_.empty()) return;
    try {
        shared.appendProtocol({unsentProtocol_.begin(), unsentProtocol_.end()});
        unsentProtocol_.clear();
    } catch (const DatabaseError& e) {
        lastServerProblem_ = e.what(); // kept for the next second
    }
}

} // namespace vektrin
