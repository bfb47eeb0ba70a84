#pragma once
// The running scheduler as vektrinctl reaches it: through the control socket of its table
// directory, one request and one answer per connection.

#include "ctl/command.h"
#include "ctl/json.h"

#include <functional>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace vektrin::ctl {

constexpr int ExitNotRunning = 3;  // as systemctl status says of a unit that is not active
constexpr int ExitUnreachable = 4; // a scheduler runs for the tables but cannot be reached

struct SchedulerPlace {
    std::string tableDirectory;
    std::string socketPath; // where it listens as far as can be told; empty: nowhere
    std::string stateFile;  // of a live scheduler, else one left behind; empty: none found
    long long pid = 0;      // the live scheduler's, from its state file
    std::string problem;    // why there is no socket: the scheduler's reasons, else the places'
};
// Where the scheduler of the alias Control's tables listens: the socket its state file names
// (in the runtime directory, else in the private one under the state directory), else where it
// would listen.
SchedulerPlace schedulerPlace(const Context& context);

// A scheduler runs for the tables (it holds their lock, or its state file names a live process)
// but cannot be reached; the message says why.
class SchedulerUnreachable : public CommandError {
  public:
    SchedulerUnreachable(const SchedulerPlace& place, const std::string& reason);
    const std::string& reason() const { return reason_; }

  private:
    std::string reason_;
};

// The answer to one request; nullopt when no scheduler runs. SchedulerUnreachable when one runs
// but cannot be reached or does not answer in time; CommandError (data error) when what it
// answers is no answer.
std::optional<Json> askScheduler(const SchedulerPlace& place, const Json& request);

// The running scheduler's refusal of a change of the tables while the named window of its own is
// open (its editor would write over the change); empty when none is open or none runs.
std::string openEditorRefusal(const Context& context, const std::vector<std::string>& windows);

// The protocol file of the running scheduler, else of the state file a scheduler left behind;
// empty when neither names one.
std::string schedulerLogPath(const Context& context);

// status, run, interrupt, cancel-wait, stop, resume.

} // namespace vektrin::ctl
