#pragma once
// What several schedulers on one database share beside the tables: who runs, which moment of which
// task is taken, which resources are held, and their protocol lines. Only a database server has it.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vektrin {

struct SchedulerEntry {
    std::string host;
    std::string version;
    std::string started;  // ISO date and time, the server's clock
    std::string lastPass; // empty before the first
    std::int64_t pid = 0;
};

struct SharedProtocolLine {
    std::string host;
    std::string line;
};

class SharedTables {
  public:
    virtual ~SharedTables() = default;

    // Registers this scheduler for host; false when another live one has. Held as long as the
    // connection: a scheduler that dies is no longer registered.
    virtual bool registerScheduler(const std::string& host, const std::string& version,
                                   std::int64_t pid) = 0;
    virtual void notePass() = 0;
    virtual std::vector<SchedulerEntry> liveSchedulers() = 0;
    // Whether a live scheduler is registered for host (asked of the server at most once a second).
    virtual bool hostRuns(const std::string& host) = 0;

    // Takes the moment of a task for this host: true when this call took it, else who had.
    // hostKey: empty, or the host for a task that every host runs.
    virtual bool claim(std::int64_t task, const std::string& moment, const std::string& hostKey,
                       std::string& takenBy) = 0;
    // Who took the moment, if anyone.
    virtual std::optional<std::string> claimOf(std::int64_t task, const std::string& moment,
                                               const std::string& hostKey) = 0;
    virtual void pruneClaims(int days) = 0;

    // A resource held by this scheduler's running tasks is busy everywhere: false when another
    // scheduler holds it. A hold ends with its connection, but stands HoldGraceSeconds longer
    // while its scheduler may come back with the task still running (see noteAlive).
    virtual bool holdResource(int resource) = 0;
    virtual void releaseResource(int resource) = 0;
    // Said each second: the moment from which a lost connection's holds stand their grace.
    virtual void noteAlive() = 0;

    virtual void appendProtocol(const std::vector<std::string>& lines) = 0;
    // Host, line; all hosts in time order when host is empty.
    virtual std::vector<SharedProtocolLine> protocol(const std::string& host) = 0;

    // Requests to another workstation's scheduler, through the database (vektrinctl -H): the
    // request's number, and its answer once that scheduler gave one.
    virtual std::int64_t sendRequest(const std::string& host, const std::string& request) = 0;
    virtual std::optional<std::string> answerOf(std::int64_t id) = 0;
    // The requests for this scheduler's host that no one has taken yet, taken now.
    virtual std::vector<std::pair<std::int64_t, std::string>> takeRequests() = 0;
    virtual void answerRequest(std::int64_t id, const std::string& answer) = 0;
    // Consumes the notices that came on the connection, which would pile up in memory otherwise:
    // true when one since the last call said that another connection changed the tables.
    virtual bool takeNotices() = 0;
    // The connection's socket, readable when a notice comes; -1 without a connection.
    virtual int noticeSocket() const = 0;

    // Whether the server answers; a lost one is tried again now and then (see reconnect).
    virtual bool connected() const = 0;
    // Tries to reconnect when the wait since the last try has passed; true when connected.
    virtual bool reconnect() = 0;
    // How often the connection was lost, also when a statement found it back at once; and why,
    // the last time.
    virtual std::uint64_t connectionLosses() const = 0;
    virtual const std::string& lastLoss() const = 0;
};

} // namespace vektrin
