// Which workstation runs a task, and how it claims the moment on a shared task list.

#include "engine/task_host.h"

#include <gtest/gtest.h>

namespace vektrin::task_host {
namespace {

struct PlacementCase {
    const char* taskHost;
    const char* thisHost;
    HostRule rule;
    bool runsHere;
    Claim claim;
    bool claimBeforeLaunch;
    const char* claimHost;
};

TEST(TaskHost, EachRuleSaysWhereTheTaskRunsAndHowItIsClaimed) {
    const PlacementCase cases[] = {
        {"", "ws-1", HostRule::Any, true, Claim::Once, true, ""},
        {"*", "WS-1.Lan", HostRule::Every, true, Claim::OncePerHost, true, "ws-1.lan"},
        {"ws-1.LAN", "WS-1.lan", HostRule::Pinned, true, Claim::Once, false, ""},
        {"ws-2", "ws-1", HostRule::Pinned, false, Claim::None, false, ""},
        {"ws-1", "ws-1.lan", HostRule::Pinned, false, Claim::None, false, ""},
    };
    for (const PlacementCase& c : cases) {
        const Placement p = placement(c.taskHost, c.thisHost);
        const std::string label = std::string(c.taskHost) + " on " + c.thisHost;
        EXPECT_EQ(p.rule, c.rule) << label;
        EXPECT_EQ(p.runsHere, c.runsHere) << label;
        EXPECT_EQ(p.claim, c.claim) << label;
        EXPECT_EQ(p.claimBeforeLaunch, c.claimBeforeLaunch) << label;
        EXPECT_EQ(p.claimHost, c.claimHost) << label;
    }
}

} // namespace
} // namespace vektrin::task_host
