// Which workstation runs a task, and how it claims the moment on a shared task list.

#include "engine/task_host.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vektrin::task_host {
namespace {

TEST(TaskHost, EachRuleSaysWhereTheTaskRunsAndHowItIsClaimed) {
    const struct {
        const char *taskHost, *thisHost;
        std::tuple<HostRule, bool, Claim, bool, std::string> placed;
    } cases[] = {
        {"", "ws-1", {HostRule::Any, true, Claim::Once, true, ""}},
        {"*", "WS-1.Lan", {HostRule::Every, true, Claim::OncePerHost, true, "ws-1.lan"}},
        {"ws-1.LAN", "WS-1.lan", {HostRule::Pinned, true, Claim::Once, false, ""}},
        {"ws-2", "ws-1", {HostRule::Pinned, false, Claim::None, false, ""}},
        {"ws-1", "ws-1.lan", {HostRule::Pinned, false, Claim::None, false, ""}},
    };
    for (const auto& c : cases) {
        const Placement p = placement(c.taskHost, c.thisHost);
        EXPECT_EQ(std::tie(p.rule, p.runsHere, p.claim, p.claimBeforeLaunch, p.claimHost), c.placed)
            << c.taskHost << " on " << c.thisHost;
    }
}

} // namespace
} // namespace vektrin::task_host
