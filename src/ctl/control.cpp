// status, run, interrupt, cancel-wait, stop and resume: the running scheduler, from a terminal.

#include "ctl/control.h"

#include "ctl/tables.h"
#include "engine/control_wire.h"
#include "engine/operator_commands.h"
#include "platform/location.h"
#include "platform/places.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "store/data_ctrl.h"
#include "store/task_states.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace vektrin::ctl {
namespace {

// Longer than any command takes; a scheduler that does not answer by then is stuck.
constexpr int AnswerTimeoutMs = 10000;
// The request's deadline comes this long before the client gives up: a command the scheduler
// begins just before the deadline is answered while the client still waits.
constexpr int AnswerMarginMs = 2000;

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Said on standard error wherever a command finds no scheduler, the unit's start and the plain
// one, for a machine without a user bus.
constexpr const char* StartHint =
    "Start one with \"vektrin --headless &\", or with \"systemctl --user start vektrin\" where its "
    "user unit is installed.\n";

std::string field(const Json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string colourWords(const std::string& colour) {
    if (colour == wire::Green) return "runs (green)";
    if (colour == wire::Red) return "stopped: a silence period is in force (red)";
    if (colour == wire::Yellow) return "starts again at the next minute (yellow)";
    return "not started yet";
}

// On tables that several workstations share, every scheduler registered there that still runs.
std::optional<Json> schedulersOnServer(const Context& context) {
    if (!isServerLocation(tablesDirectory(context))) return std::nullopt;
    Json list = Json::array();
    try {
        auto dm = openTables(context, OpenMode::ReadOnly);
        for (const SchedulerEntry& s : dm->database().shared()->liveSchedulers())
            list.push_back({{"host", s.host},
                            {"pid", s.pid},
                            {"version", s.version},
                            {"started", s.started},
                            {"last_pass", s.lastPass}});
    } catch (const CommandError& e) {
        std::cerr << e.what() << '\n';
        return std::nullopt;
    }
    return list;
}

void saySchedulersOnServer(const std::optional<Json>& list) {
    if (!list) return;
    std::cout << "Schedulers on the database: " << (list->empty() ? "none" : "") << '\n';
    for (const Json& s : *list)
        std::cout << "  " << s["host"].get<std::string>() << "  PID " << s["pid"].get<long long>()
                  << "  version " << s["version"].get<std::string>() << "  started "
                  << s["started"].get<std::string>() << "  last pass "
                  << (s["last_pass"].get<std::string>().empty() ? "none"
                                                                : s["last_pass"].get<std::string>())
                  << '\n';
}

// A control command for another workstation's scheduler: a request row in the database they share,
// which that scheduler answers within a second. Nothing when it does not run.
std::optional<Json> askRemote(const Context& context, const Json& request) {
    if (!isServerLocation(tablesDirectory(context)))
        throw CommandError(ExitUsage, "-H/--host needs the tables on a database server that the "
                                      "workstations share; the alias Control names a directory");
    auto dm = openTables(context, OpenMode::ReadOnly);
    SharedTables& shared = *dm->database().shared();
    const std::string host = text::lower(context.remoteHost);
    const auto live = shared.liveSchedulers();
    if (std::none_of(live.begin(), live.end(),
                     [&](const SchedulerEntry& s) { return text::lower(s.host) == host; }))
        return std::nullopt;
    const std::int64_t id = shared.sendRequest(host, request.dump() + "\n");
    for (int waited = 0; waited < AnswerTimeoutMs; waited += 100) {
        if (const auto answer = shared.answerOf(id)) {
            Json parsed = Json::parse(*answer, nullptr, false);
            if (parsed.is_object()) return parsed;
            throw CommandError(ExitDataError, "The scheduler of " + context.remoteHost +
                                                  " answered what is no JSON object");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    throw CommandError(ExitUnreachable, "The scheduler of " + context.remoteHost +
                                            " did not answer within " +
                                            std::to_string(AnswerTimeoutMs / 1000) + " seconds.");
}

// The local scheduler's answer, or with -H another workstation's.
std::optional<Json> ask(const Context& context, const SchedulerPlace& place, const Json& request) {
    return context.remoteHost.empty() ? askScheduler(place, request) : askRemote(context, request);
}

int runStatus(const Context& context, bool json) {
    const std::optional<Json> onServer = schedulersOnServer(context);
    // Every answer ends with them: in the JSON object, or as lines after the local scheduler's.
    const auto print = [&](Json out) {
        if (onServer) out["schedulers"] = *onServer;
        std::cout << out.dump(2) << '\n';
    };
    const SchedulerPlace place = schedulerPlace(context);
    std::optional<Json> answer;
    try {
        answer = ask(context, place, Json{{wire::Command, wire::Status}});
    } catch (const SchedulerUnreachable& e) {
        if (!json) {
            std::cout << e.what() << '\n';
            saySchedulersOnServer(onServer);
            return ExitUnreachable;
        }
        Json out{{"running", true},
                 {"reachable", false},
                 {"reason", e.reason()},
                 {wire::TableDirectory, place.tableDirectory}};
        if (place.pid > 0) out["pid"] = place.pid;
        print(out);
        return ExitUnreachable;
    }
    if (!answer) {
        if (json) {
            print(Json{{"running", false}, {wire::TableDirectory, place.tableDirectory}});
        } else {
            if (context.remoteHost.empty())
                std::cout << "vektrin is not running for the tables in " << place.tableDirectory
                          << ".\n";
            else
                std::cout << "No scheduler of " << context.remoteHost << " runs on "
                          << place.tableDirectory << ".\n";
            saySchedulersOnServer(onServer);
            std::cerr << StartHint;
        }
        return ExitNotRunning;
    }
    if (!answer->value(wire::Ok, false))
        throw CommandError(ExitDataError, field(*answer, wire::Error));
    if (json) {
        Json out = *answer;
        out.erase(wire::Ok);
        out.erase(wire::Message);
        Json ordered = Json{{"running", true}, {"reachable", true}};
        ordered.update(out);
        print(ordered);
        return ExitOk;
    }
    const Json& a = *answer;
    std::cout << "vektrin is running: PID " << a.value(wire::Pid, 0LL) << ", started "
              << field(a, wire::Started) << ", version " << field(a, wire::Version) << '\n';
    std::cout << "Tables:      " << field(a, wire::TableDirectory) << '\n';
    std::cout << "Protocol:    " << field(a, wire::Log) << '\n';
    std::cout << "Scheduling:  ";
    if (a.value(wire::Paused, false))
        std::cout << "paused: " << field(a, wire::PausedBy) << " (" << field(a, wire::Colour)
                  << ")\n";
    else
        std::cout << colourWords(field(a, wire::Colour)) << '\n';
    const Json tasks = a.value(wire::RunningTasks, Json::array());
    std::cout << "Running:     "
              << (tasks.empty()
                      ? "no task"
                      : std::to_string(tasks.size()) + (tasks.size() == 1 ? " task" : " tasks"))
              << '\n';
    for (const Json& t : tasks) {
        std::cout << "  slot " << t.value(wire::Slot, 0) << "  AppID " << t.value(wire::AppId, 0)
                  << "  " << field(t, wire::AppName) << "  PID " << t.value(wire::Pid, 0LL);
        if (t.contains(wire::Since) && t[wire::Since].is_string())
            std::cout << "  since " << t[wire::Since].get<std::string>();
        std::cout << '\n';
    }
    saySchedulersOnServer(onServer);
    return ExitOk;
}

// Without a scheduler the switch goes straight into the record, as the menu command would set
// it; the protocol belongs to the scheduler and gets no line.
int changeStoppedDirectly(const Context& context, bool stop, const std::string& task) {
    auto dm = openTables(context, OpenMode::ReadWrite);
    Transaction transaction(dm->database());
    const TaskLookup found = lookupTask(*dm, task);
    if (found.bookmark == 0) throw CommandError(ExitNotFound, found.problem);
    Table& t = dm->Table1;
    t.gotoBookmark(found.bookmark);
    const std::string name = dm->Table1AppName.asString();
    if (dm->Table1Stopped.asBoolean() == stop) {
        std::cout << str::taskMessage(stop ? str::CommandAlreadyStopped : str::CommandNotStopped,
                                      name)
                  << '\n';
        return ExitOk;
    }
    t.edit();
    dm->Table1Stopped.setBoolean(stop);
    setCompletionCode(dm->Table1EndCode,
                      stop ? CompletionCode::Suspended : CompletionCode::Resumed);
    const DateTime now = context.now();
    dm->Table1LastDate.setDateTime(datePart(now));
    dm->Table1LastTime.setDateTime(timePart(now));
    t.post();
    transaction.commit();
    std::cout << str::taskMessage(stop ? str::TaskSchedulingStopped : str::TaskSchedulingResumed,
                                  name)
              << " (No scheduler runs: the table is changed directly, without a protocol line.)\n";
    std::cerr << StartHint;
    return ExitOk;
}

int runControl(const Context& context, const std::string& command, const std::string& task) {
    const SchedulerPlace place = schedulerPlace(context);
    std::optional<Json> answer;
    try {
        answer = ask(context, place, Json{{wire::Command, command}, {wire::Task, task}});
    } catch (const SchedulerUnreachable& e) {
        // Changed behind its back, the record would miss the scheduler's protocol line.
        if (command == wire::Stop || command == wire::Resume)
            throw CommandError(ExitUnreachable,
                               std::string(e.what()) + " Nothing was done (vektrinctl set TASK " +
                                   (command == wire::Stop ? "--stopped" : "--no-stopped") +
                                   " changes the record without it).");
        throw CommandError(ExitUnreachable, std::string(e.what()) + " Nothing was done.");
    }
    if (!answer) {
        if (command == wire::Stop || command == wire::Resume)
            return changeStoppedDirectly(context, command == wire::Stop, task);
        std::cerr << "No scheduler runs for the tables in " << place.tableDirectory
                  << ": nothing was done.\n"
                  << StartHint;
        return ExitNotRunning;
    }
    if (answer->value(wire::Ok, false)) {
        std::cout << field(*answer, wire::Message) << '\n';
        return ExitOk;
    }
    std::cerr << field(*answer, wire::Error) << '\n';
    return ExitNotFound;
}

} // namespace

namespace {

bool alive(long long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::optional<Json> readState(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    Json state = Json::parse(text.str(), nullptr, false);
    if (!state.is_object()) return std::nullopt;
    return state;
}

// Whether a scheduler runs for the place's tables, though it did not answer: it holds their lock.
// Only where that cannot be read, a live process named by the state file (its PID may have been
// given to another process since).
bool schedulerRuns(const SchedulerPlace& place) {
    if (const auto locked = places::lockedExclusively(place.tableDirectory + "/" + TaskFileName))
        return *locked;
    return alive(place.pid);
}

// Nothing when no scheduler runs; else it cannot be reached, for the reason given.
std::nullopt_t noneUnlessRunning(const SchedulerPlace& place, const std::string& reason) {
    if (schedulerRuns(place)) throw SchedulerUnreachable(place, reason);
    return std::nullopt;
}

} // namespace

SchedulerUnreachable::SchedulerUnreachable(const SchedulerPlace& place, const std::string& reason)
    : CommandError(ExitUnreachable,
                   "A scheduler runs for the tables in " + place.tableDirectory +
                       (place.pid > 0 ? " (PID " + std::to_string(place.pid) + ")" : "") +
                       " but cannot be reached: " + reason + "."),
      reason_(reason) {}

SchedulerPlace schedulerPlace(const Context& context) {
    SchedulerPlace place;
    // As the scheduler names them (its key is made of the same words), a password masked.
    place.tableDirectory = maskedLocation(tablesDirectory(context));
    const std::string key = places::schedulerKey(place.tableDirectory);
    std::string searched, unusable;
    std::string socketFile; // a socket file where a scheduler would listen
    for (auto candidate : {&places::runtimeDirectory, &places::privateRuntimeDirectory}) {
        std::string directory;
        try {
            directory = candidate(false);
        } catch (const places::PlaceError& e) {
            // The scheduler does not listen there either.
            unusable += std::string("; ") + e.what();
            continue;
        }
        searched += (searched.empty() ? "" : " or ") + directory;
        const std::string stateFile = places::stateFilePath(directory, key);
        if (const std::optional<Json> state = readState(stateFile)) {
            const auto named = state->find(wire::state::Pid);
            const long long pid =
                named != state->end() && named->is_number_integer() ? named->get<long long>() : 0;
            if (alive(pid)) {
                place.stateFile = stateFile;
                place.pid = pid;
                place.socketPath = field(*state, wire::state::Socket);
                place.problem =
                    "it has no control socket: " + field(*state, wire::state::SocketProblem);
                return place;
            }
            if (place.stateFile.empty()) place.stateFile = stateFile; // left behind
        }
        // Without a state file, where a scheduler listens that could not write one.
        const std::string path = places::socketPath(directory, key);
        if (socketFile.empty() &&
            (candidate == &places::runtimeDirectory || access(path.c_str(), F_OK) == 0))
            socketFile = path;
    }
    place.socketPath = socketFile;
    place.problem = searched.empty() ? "no place for its socket can be used: " + unusable.substr(2)
                                     : "it left no state file in " + searched +
                                           " (was it started with another XDG_RUNTIME_DIR or "
                                           "XDG_STATE_HOME?)" +
                                           unusable;
    return place;
}

std::optional<Json> askScheduler(const SchedulerPlace& place, const Json& request) {
    if (place.socketPath.empty()) return noneUnlessRunning(place, place.problem);
    const std::int64_t giveUp = wire::deadlineClockMs() + AnswerTimeoutMs;
    const auto noAnswer = [&] {
        return SchedulerUnreachable(place, "it did not answer at " + place.socketPath + " within " +
                                               std::to_string(AnswerTimeoutMs / 1000) + " seconds");
    };
    Descriptor socket{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (socket.fd < 0)
        throw CommandError(ExitDataError,
                           std::string("Cannot make a socket: ") + std::strerror(errno));
    // A connection waits in the queue while the scheduler serves others, but not for ever.
    const timeval wait{AnswerTimeoutMs / 1000, 0};
    ::setsockopt(socket.fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    try {
        const places::SocketAddress address(place.socketPath);
        if (::connect(socket.fd, address.get(), address.size()) != 0) {
            const std::string reason =
                "cannot connect to " + place.socketPath + ": " + std::strerror(errno);
            // No socket, or one left by a scheduler that is gone; without a live state file
            // the places searched say more than the socket that is not there.
            if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR)
                return noneUnlessRunning(place, place.pid > 0 ? reason : place.problem);
            if (errno == EAGAIN || errno == EINPROGRESS)
                throw SchedulerUnreachable(place, "it took no connection within " +
                                                      std::to_string(AnswerTimeoutMs / 1000) +
                                                      " seconds");
            if (schedulerRuns(place)) throw SchedulerUnreachable(place, reason);
            throw CommandError(ExitDataError, "Cannot reach the scheduler at " + place.socketPath +
                                                  ": " + std::strerror(errno));
        }
    } catch (const places::PlaceError& e) {
        return noneUnlessRunning(place, e.what());
    }
    Json timed = request;
    timed[wire::Deadline] = giveUp - AnswerMarginMs;
    const std::string text = timed.dump() + "\n";
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::send(socket.fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // refused before reading: its answer says why
        done += static_cast<std::size_t>(n);
    }
    ::shutdown(socket.fd, SHUT_WR);

    std::string reply;
    for (;;) {
        // Polled on the steady clock, which stands while the machine sleeps: the boot clock
        // decides whether the time is up.
        const std::int64_t left = giveUp - wire::deadlineClockMs();
        pollfd p{socket.fd, POLLIN, 0};
        const int ready = left > 0 ? ::poll(&p, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0 && left > 0) continue;
        if (ready == 0) throw noAnswer();
        char buffer[8192];
        const ssize_t n = ::recv(socket.fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        reply.append(buffer, static_cast<std::size_t>(n));
        if (reply.find('\n') != std::string::npos) break;
    }
    const auto end = reply.find('\n');
    if (end != std::string::npos) reply.resize(end);
    if (reply.empty())
        throw SchedulerUnreachable(place, "it closed the connection at " + place.socketPath +
                                              " without an answer");
    try {
        Json answer = Json::parse(reply);
        if (!answer.is_object()) throw std::runtime_error("not an object");
        if (answer.value(wire::Expired, false)) throw noAnswer(); // it came too late to act
        return answer;
    } catch (const SchedulerUnreachable&) {
        throw;
    } catch (const std::exception&) {
        throw CommandError(ExitDataError,
                           "The scheduler at " + place.socketPath +
                               " answered what is no answer: " + reply.substr(0, 200));
    }
}

std::string openEditorRefusal(const Context& context, const std::vector<std::string>& windows) {
    std::optional<Json> answer;
    try {
        answer = askScheduler(schedulerPlace(context), Json{{wire::Command, wire::Status}});
    } catch (const SchedulerUnreachable&) {
        return {}; // which windows it has open cannot be known
    }
    if (!answer || !answer->contains(wire::OpenWindows)) return {};
    const Json& open = (*answer)[wire::OpenWindows];
    for (const wire::PausingWindow& window : wire::PausingWindows) {
        const bool isOpen = std::find(open.begin(), open.end(), Json(window.name)) != open.end();
        const bool matters =
            std::find(windows.begin(), windows.end(), window.name) != windows.end();
        if (isOpen && matters) return std::string(window.refusal);
    }
    return {};
}

std::string schedulerLogPath(const Context& context) {
    SchedulerPlace place;
    try {
        place = schedulerPlace(context);
    } catch (const CommandError&) {
        return {}; // no alias: no scheduler either
    }
    try {
        if (const auto answer = askScheduler(place, Json{{wire::Command, wire::Status}}))
            if (const std::string log = field(*answer, wire::Log); !log.empty()) return log;
    } catch (const SchedulerUnreachable&) {
        // Its state file names the protocol all the same.
    }
    if (place.stateFile.empty()) return {};
    const std::optional<Json> state = readState(place.stateFile);
    return state ? field(*state, wire::state::Log) : std::string();
}

std::vector<Command> controlCommands() {
    std::vector<Command> commands = {
        {"status",
         "Say whether the scheduler of the tables runs: PID, start, tables, protocol, scheduling "
         "state and running tasks (exit 0 when it runs, 3 when not, 4 when it runs but cannot be "
         "reached)",
         withJsonFlag("One JSON object", runStatus)},
    };
    const struct {
        const char* name;
        const char* description;
    } onTask[] = {
        {"run", "Run a task now, as the grid menu's \"Run now\" does (exit 3 when no scheduler "
                "runs)"},
        {"interrupt", "Interrupt a running task, as \"Interrupt execution\" does"},
        {"cancel-wait", "End a task's waiting for busy resources, as \"Cancel waiting\" does"},
        {"stop", "Stop scheduling a task, as \"Suspend\" does (without a scheduler, in the table "
                 "directly)"},
        {"resume", "Resume scheduling a stopped task, as \"Resume\" does (without a scheduler, in "
                   "the table directly)"},
    };
    for (const auto& c : onTask)
        commands.push_back({c.name, c.description,
                            withArgument("TASK", TaskArgumentHelp,
                                         [name = std::string(c.name)](const Context& context,
                                                                      const std::string& task) {
                                             return runControl(context, name, task);
                                         })});
    return commands;
}

} // namespace vektrin::ctl
