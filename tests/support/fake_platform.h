#pragma once
// Fakes of the process, window and operator-interface ports for engine tests.

#include "engine/operator_port.h"
#include "platform/process.h"
#include "platform/windows.h"

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace vektrin::test {

class FakeProcesses : public ProcessControl {
  public:
    struct Proc {
        LaunchRequest request;
        ExitState state = ExitState::Running;
        std::int32_t status = 0;
        bool terminated = false;
        bool closed = false;
    };

    LaunchResult launch(const LaunchRequest& request) override {
        if (throwOnLaunch) throw std::runtime_error("the launch itself failed");
        launches.push_back(request);
        if (onLaunch) onLaunch();
        LaunchResult r;
        if (nextFailure != LaunchFailure::None) {
            r.failure = nextFailure;
            r.errorNumber = nextErrno;
            nextFailure = LaunchFailure::None;
            return r;
        }
        const std::intptr_t h = ++lastHandle;
        procs[h] = Proc{request};
        r.info = {h, h, static_cast<std::uint32_t>(1000 + h), static_cast<std::uint32_t>(1000 + h)};
        return r;
    }
    ExitQuery queryExit(const ProcessInfo& p) override {
        auto it = procs.find(p.processHandle);
        if (it == procs.end() || failQueries) return {ExitState::QueryFailed, 0};
        return {it->second.state, it->second.status};
    }
    void terminate(const ProcessInfo& p) override {
        auto& proc = procs[p.processHandle];
        proc.terminated = true;
        proc.state = ExitState::Exited;
        proc.status = 137;
    }
    void close(const ProcessInfo& p) override { procs[p.processHandle].closed = true; }

    void exit(std::intptr_t handle, std::int32_t status) {
        procs[handle].state = ExitState::Exited;
        procs[handle].status = status;
    }
    // The tasks launched since the from-th launch: their programs without "prog-".
    std::vector<std::string> namesSince(std::size_t from) const {
        std::vector<std::string> names;
        for (std::size_t i = from; i < launches.size(); ++i)
            names.push_back(launches[i].commandLine.substr(5));
        return names;
    }
    void endRunning() {
        for (auto& [h, p] : procs)
            if (p.state == ExitState::Running) p.state = ExitState::Exited;
    }
    int running() const {
        int n = 0;
        for (const auto& [h, p] : procs)
            n += p.state == ExitState::Running;
        return n;
    }

    std::vector<LaunchRequest> launches;
    std::map<std::intptr_t, Proc> procs;
    std::intptr_t lastHandle = 0;
    LaunchFailure nextFailure = LaunchFailure::None;
    int nextErrno = 0;
    bool failQueries = false;
    bool throwOnLaunch = false;
    std::function<void()> onLaunch; // runs inside each launch, as other processes may meanwhile
};

class FakeWindows : public WindowSystem {
  public:
    struct Win {
        WindowId id;
        std::uint32_t pid;
        std::string title;
        bool owned = false;
        bool visible = true;
        int runType = -1;
    };
    std::vector<WindowId> topLevelWindows() override {
        ++walks;
        std::vector<WindowId> ids;
        for (const auto& w : wins)
            ids.push_back(w.id);
        return ids;
    }
    bool hasOwner(WindowId id) override { return find(id) && find(id)->owned; }
    std::string title(WindowId id) override { return find(id) ? find(id)->title : ""; }
    std::uint32_t processId(WindowId id) override { return find(id) ? find(id)->pid : 0; }
    void setTitle(WindowId id, const std::string& t) override {
        if (auto* w = find(id)) w->title = t;
        ++titleSets;
    }
    bool isVisible(WindowId id) override { return find(id) && find(id)->visible; }
    void show(WindowId id) override {
        if (auto* w = find(id)) w->visible = true;
    }
    void hide(WindowId id) override {
        if (auto* w = find(id)) w->visible = false;
    }
    void applyRunType(WindowId id, int runType) override {
        if (auto* w = find(id)) w->runType = runType;
    }
    void flush() override {}

    Win* find(WindowId id) {
        for (auto& w : wins)
            if (w.id == id) return &w;
        return nullptr;
    }
    std::vector<Win> wins;
    int walks = 0;
    int titleSets = 0;
};

class FakePort : public OperatorPort {
  public:
    void showMessage(std::string_view text, MessageKind kind) override {
        messages.emplace_back(text);
        kinds.push_back(kind);
    }
    void setIcon(std::string_view name) override { icons.emplace_back(name); }
    void paintStatusColor(int colour) override { colours.push_back(colour); }
    void setApplicationTitle(const std::string& t) override { title = t; }
    void setTimer1Enabled(bool enabled) override { timer1 = enabled; }
    void startTimer2(int firstDelayMs) override {
        timer2 = true;
        timer2Delays.push_back(firstDelayMs);
    }
    void stopTimer2() override { timer2 = false; }
    void setBusyCursor(bool) override {}
    void closeMainWindow() override { closeRequested = true; }
    void notifyFailure(const TaskNotice& notice) override { notices.push_back(notice); }
    void notifyProtocol(const ProtocolNotice& n) override { protocolNotices.push_back(n.kind); }

    std::vector<std::string> messages;
    std::vector<MessageKind> kinds;
    std::vector<std::string> icons;
    std::vector<int> colours;
    std::vector<int> timer2Delays;
    std::vector<TaskNotice> notices;
    std::vector<ProtocolNotice::Kind> protocolNotices;
    std::string title;
    bool timer1 = false;
    bool timer2 = false;
    bool closeRequested = false;
};

} // namespace vektrin::test
