#pragma once
// Which workstation runs a task, from its Host column: any one of them, one named host, or each
// of them. Host names are DNS names and compare without regard to case.

#include <string>
#include <string_view>

namespace vektrin::task_host {

// The Host value of "every workstation"; an empty one is "any one workstation".
inline constexpr std::string_view Every = "*";
// The operator's word for an empty Host.
inline constexpr std::string_view AnyWord = "any";
inline constexpr std::size_t MaxHostName = 64;

enum class HostRule { Any, Pinned, Every };

// How a moment of a task is claimed on a shared task list before it is launched.
enum class Claim {
    None,        // this host does not run the task
    Once,        // keyed by (task, moment): exactly one workstation launches it
    OncePerHost, // keyed by (task, moment, host): each workstation launches it once
};

struct Placement {
    HostRule rule = HostRule::Any;
    bool runsHere = false;
    Claim claim = Claim::None;
    // Any and Every may launch only once the claim is theirs; a task pinned here competes with
    // nobody, so it may run while the shared list is away and claim on reconnection.
    bool claimBeforeLaunch = false;
    // For OncePerHost: this host's part of the key, in lower case so that "PC1" and "pc1" meet.
    std::string claimHost;
};

// Letters, digits, '-' and '.', at most 64 characters, not empty.
bool isHostName(std::string_view name);

HostRule hostRule(std::string_view host);

// Whether the scheduler on thisHost runs a task whose Host column holds taskHost, and how it
// claims each moment.
Placement placement(std::string_view taskHost, std::string_view thisHost);

// What the operator typed for a Host ("any", "*" or a host name) as the column stores it, or an
// empty problem text; the problem says what is accepted.
struct HostValue {
    std::string stored;
    std::string problem;
};
HostValue hostFromWord(std::string_view word);

// The problem with a text given as a Host.
std::string notAHost(std::string_view given);

// A claim's moment: the minute a launch is due, as every workstation writes it.
std::string claimMoment(double due);

// The Host column in the operator's words: "any", "*" or the name.
std::string hostWord(std::string_view host);

} // namespace vektrin::task_host
