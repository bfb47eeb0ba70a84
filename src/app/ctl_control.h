#pragma once
// The running scheduler as vektrinctl reaches it: through the control socket of its table
// directory, one request and one answer per connection.

#include "app/ctl_commands.h"
#include "app/ctl_json.h"

#include <functional>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace vektrin::ctl {

constexpr int ExitNotRunning = 3; // as systemctl status says of a unit that is not active

struct SchedulerPlace {
    std::string tableDirectory;
    std::string socketPath; // empty when the runtime directory cannot be used
    std::string stateFile;
    std::string problem; // why the runtime directory cannot be used
};
// Where the scheduler of the alias Control's tables listens.
SchedulerPlace schedulerPlace(const Context& context);

// The answer to one request; nullopt when no scheduler listens (no socket, or a socket file
// nobody listens on). CommandError (data error) when the socket cannot be used otherwise or the
// scheduler does not answer in time.
std::optional<Json> askScheduler(const SchedulerPlace& place, const Json& request);

// The running scheduler's refusal of a change of the tables while the named window of its own is
// open (its editor would write over the change); empty when none is open or none runs.
std::string openEditorRefusal(const Context& context, const std::vector<std::string>& windows);

// The protocol file of the running scheduler, else of the state file a scheduler left behind;
// empty when neither names one.
std::string schedulerLogPath(const Context& context);

// status, run, interrupt, cancel-wait, stop, resume.
void addControlCommands(CLI::App& app, Context& context, std::function<int()>& chosen);

} // namespace vektrin::ctl
