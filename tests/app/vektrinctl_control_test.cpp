// The running scheduler from the command line: the real vektrin, headless, with its control
// socket, and vektrinctl against it. Each command is checked through its protocol lines and the
// record, as the grid menu's commands are.

#include "app/control_world.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <dirent.h>
#include <functional>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <sqlite3.h>
#include <thread>

namespace vektrin {
namespace {

using test::askSocket;
using test::ControlWorld;
using test::CtlOutcome;
using Json = nlohmann::json;

// Lines without their date and time stamps ("mm/dd/yy hh:mm:ss " in the C locale), whether the
// protocol's CR LF or vektrinctl's LF end them.
std::vector<std::string> messages(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line.size() > 18 ? line.substr(18) : line);
        pos = end + 1;
    }
    return lines;
}

Json taskRecord(const ControlWorld& w, const std::string& name) {
    const CtlOutcome o = w.ctl({"tasks", "--json"});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    for (const Json& t : Json::parse(o.out))
        if (t["AppName"] == name) return t;
    ADD_FAILURE() << "no task " << name;
    return Json::object();
}

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* d = opendir(directory.c_str())) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ControlTest : public ::testing::Test {
  protected:
    ControlWorld world;

    void SetUp() override {
        if (access(ControlWorld::bin("vektrin").c_str(), X_OK) != 0)
            GTEST_SKIP() << "vektrin was not built";
    }

    // Tasks that the scheduling pass never launches by itself: their year is long gone.
    void addTask(const std::string& name, const std::string& command,
                 std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"add",      name,     "--command", command,
                                         "--yearly", "--from", "2001-01-01"};
        args.insert(args.end(), more.begin(), more.end());
        const CtlOutcome o = world.ctl(args);
        ASSERT_EQ(o.exitCode, 0) << o.err;
    }

    std::string socketPath() const { return world.socketPath(); }
};

TEST_F(ControlTest, StatusWhileRunningAndAfterItEnded) {
    world.start();
    addTask("sleeper", "sleep 60");
    ASSERT_EQ(world.ctl({"run", "sleeper"}).exitCode, 0);
    CtlOutcome o = world.ctl({"status", "--json"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    const Json status = Json::parse(o.out);
    EXPECT_EQ(status["running"], true);
    EXPECT_EQ(status["pid"], world.vektrinPid());
    EXPECT_EQ(status["tableDirectory"], world.tables());
    EXPECT_EQ(status["log"], world.logPath());
    EXPECT_EQ(status["colour"], "yellow"); // no scheduling pass yet
    EXPECT_EQ(status["paused"], false);
    ASSERT_EQ(status["runningTasks"].size(), 1u);
    const Json& running = status["runningTasks"][0];
    EXPECT_EQ(running["slot"], 1);
    EXPECT_EQ(running["appName"], "sleeper");
    EXPECT_GT(running["pid"].get<long long>(), 0);
    EXPECT_TRUE(running["since"].is_string());
    // The state file under the state directory names the same scheduler.
    const std::string kept = world.dir.path() + "/state/vektrin/run";
    ASSERT_EQ(filesIn(world.runtime() + "/vektrin").size(), 1u);
    const auto files = filesIn(kept);
    ASSERT_EQ(files.size(), 1u);
    const Json state = Json::parse(test::readFile(kept + "/" + files[0])); // <key>.json
    EXPECT_EQ(state["PID"], world.vektrinPid());
    EXPECT_EQ(state["Log"], world.logPath());

    o = world.ctl({"status"});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_NE(o.out.find("slot 1  AppID 1  sleeper  PID "), std::string::npos) << o.out;

    EXPECT_EQ(world.stop(), 0);
    // A clean end leaves neither socket nor state file.
    EXPECT_TRUE(filesIn(world.runtime() + "/vektrin").empty());
    EXPECT_TRUE(filesIn(kept).empty());
    EXPECT_EQ(world.ctl({"status"}).exitCode, 3);
    EXPECT_EQ(world.ctl({"run", "sleeper"}).exitCode, 3);
}

// A request that meets tables held by another program is answered when they come free (within
// the connection's deadline); meanwhile the scheduler answers everything else.
TEST_F(ControlTest, ARequestWaitsForHeldTablesWithoutHoldingTheSchedulerUp) {
    addTask("held", "true");
    world.start();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((world.tables() + "/Vektrin.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    CtlOutcome run;
    std::thread runner([&] { run = world.ctl({"run", "held"}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(world.ctl({"status"}).exitCode, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    runner.join();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Executes <held>.\n");
}

TEST_F(ControlTest, EachCommandWritesItsProtocolLineAndRecord) {
    world.start();
    addTask("sleeper", "sleep 60");
    addTask("missing", "no-such-program-here");
    struct Step {
        std::vector<std::string> args;
        int exitCode;
        std::string out, err;
        std::vector<std::string> lines; // new protocol lines
        double endCode;                 // sleeper's, afterwards
    } steps[] = {
        {{"run", "sleeper"}, 0, "Executes <sleeper>.\n", "", {"Executes <sleeper>."}, 2},
        {{"interrupt", "1"},
         0,
         "Execution of <sleeper> is interrupted by person\n",
         "",
         {"Execution of <sleeper> is interrupted by person"},
         3},
        {{"interrupt", "sleeper"}, 1, "", "Task <sleeper> is not running.\n", {}, 3},
        {{"cancel-wait", "sleeper"},
         1,
         "",
         "Task <sleeper> is not waiting for resources.\n",
         {},
         3},
        {{"stop", "sleeper"},
         0,
         "Scheduling of <sleeper> is stopped.\n",
         "",
         {"Scheduling of <sleeper> is stopped."},
         5},
        {{"resume", "sleeper"},
         0,
         "Scheduling of <sleeper> is resumed.\n",
         "",
         {"Scheduling of <sleeper> is resumed."},
         6},
        {{"run", "missing"},
         1,
         "",
         "Launch error : Program not found\n",
         {"Executes <missing>.", "Launch error : Program not found"},
         6},
        {{"run", "nosuch"}, 1, "", "No task has the AppID or AppName nosuch.\n", {}, 6},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args[0] + " " + s.args[1]);
        const std::size_t before = messages(world.log()).size();
        const CtlOutcome o = world.ctl(s.args);
        EXPECT_EQ(o.exitCode, s.exitCode);
        EXPECT_EQ(o.out, s.out);
        EXPECT_EQ(o.err, s.err);
        const auto lines = messages(world.log());
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
                  s.lines);
        EXPECT_EQ(taskRecord(world, "sleeper")["EndCode"], s.endCode);
    }
    // The launch error went to the command, not into a box; the scheduler's standard error has
    // only the failure notice of a headless scheduler.
    const std::string err = test::readFile(world.dir.file("vektrin.err"));
    const std::string notice = "vektrin: missing: Launch error : Program not found\n";
    EXPECT_NE(err.find(notice), std::string::npos) << err;
    EXPECT_EQ(err.find("Program not found", err.find(notice) + notice.size()), std::string::npos)
        << err;
    EXPECT_EQ(err.find("Program not found"), err.find(notice) + notice.find("Program")) << err;
    EXPECT_EQ(taskRecord(world, "missing")["EndCode"], 12);
}

TEST_F(ControlTest, ASocketNobodyListensOnIsNotRunningAndIsReplaced) {
    world.start();
    const std::string path = socketPath();
    ASSERT_FALSE(path.empty());
    // A scheduler that was killed leaves its socket file behind.
    kill(world.vektrinPid(), SIGKILL);
    world.stop();
    ASSERT_EQ(access(path.c_str(), F_OK), 0);
    EXPECT_EQ(world.ctl({"status"}).exitCode, 3);
    // Its state file too, whose PID another process may have got since: nobody holds the lock.
    const std::string state =
        world.dir.path() + "/state/vektrin/run" + path.substr(path.rfind('/'), 13) + ".json";
    Json left = Json::parse(test::readFile(state));
    left["PID"] = getpid();
    test::writeFile(state, left.dump());
    EXPECT_EQ(world.ctl({"status"}).exitCode, 3);
    world.start();
    EXPECT_EQ(world.ctl({"status"}).exitCode, 0);
}

TEST_F(ControlTest, BadRequestsAreRefusedAndTheSchedulerGoesOn) {
    world.start();
    const std::string path = socketPath();
    const struct {
        std::string request;
        std::string error;
    } cases[] = {
        {"not json\n", "The request is not JSON"},
        {"[1, 2]\n", "The request is not a JSON object"},
        {"{\"task\": \"x\"}\n", "The request names no \"command\""},
        {"{\"command\": \"reboot\"}\n", "Unknown command \"reboot\""},
        {"{\"command\": \"run\"}\n", "The command \"run\" needs a \"task\""},
        {"{\"command\": \"run\", \"task\": \"" + std::string(70000, 'x') + "\"}\n",
         "The request is larger than 64 KiB"},
        {"", "The request is not JSON"},
    };
    for (const auto& c : cases) {
        const std::string answer = askSocket(path, c.request);
        ASSERT_FALSE(answer.empty());
        const Json a = Json::parse(answer);
        EXPECT_EQ(a["ok"], false);
        EXPECT_NE(a["error"].get<std::string>().find(c.error), std::string::npos) << answer;
    }
    // A client that connects and says nothing holds nobody up.
    const int idle = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(connect(idle, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(world.ctl({"status"}).exitCode, 0);
    close(idle);
    EXPECT_EQ(world.stop(), 0);
    EXPECT_NE(world.log().find("The Vektrin program completed ..."), std::string::npos);
}

// The scheduler runs as another user; the test, as root, may enter its directory but must still
// be refused by the peer credentials.
TEST_F(ControlTest, AConnectionOfAnotherUserIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the scheduler as another user";
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) GTEST_SKIP() << "no user nobody";
    for (const std::string d : {"", "/tables", "/work", "/run", "/config", "/state"})
        ASSERT_EQ(chown((world.dir.path() + d).c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    chown(world.aliases().c_str(), nobody->pw_uid, nobody->pw_gid);
    // vektrin as nobody: through setpriv, which drops to the user before it starts the program.
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv";
    const std::string uid = std::to_string(nobody->pw_uid), gid = std::to_string(nobody->pw_gid);
    const pid_t pid = ControlWorld::spawn(
        "/usr/bin/setpriv",
        {"--reuid=" + uid, "--regid=" + gid, "--clear-groups", ControlWorld::bin("vektrin")},
        world.environment(), world.work(), "/dev/null", world.dir.file("vektrin.out"),
        world.dir.file("vektrin.err"));
    std::string path;
    for (int i = 0; i < 400 && (path = socketPath()).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_FALSE(path.empty()) << test::readFile(world.dir.file("vektrin.err"));
    const std::string answer = askSocket(path, "{\"command\": \"status\"}\n");
    ASSERT_TRUE(Json::accept(answer)) << "answer [" << answer << "] err ["
                                      << test::readFile(world.dir.file("vektrin.err")) << "]";
    const Json a = Json::parse(answer);
    EXPECT_EQ(a["ok"], false);
    EXPECT_NE(a["error"].get<std::string>().find("comes from user 0"), std::string::npos);
    kill(pid, SIGTERM);
    EXPECT_EQ(ControlWorld::waitExit(pid), 0);
}

TEST_F(ControlTest, TheProtocolIsFoundWhereTheSchedulerWritesIt) {
    world.start();
    addTask("missing", "no-such-program-here");
    addTask("other", "true");
    world.ctl({"run", "missing"});
    world.ctl({"stop", "other"});
    // vektrinctl runs in another directory, without a Vektrin.log of its own.
    CtlOutcome o = world.ctl({"protocol", "--task", "missing"});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(messages(o.out), (std::vector<std::string>{"Executes <missing>.",
                                                         "Launch error : Program not found"}));
    o = world.ctl({"protocol", "-n", "2"});
    const auto all = messages(world.log());
    EXPECT_EQ(messages(o.out), std::vector<std::string>(all.end() - 2, all.end()));
    EXPECT_EQ(all.back(), "Scheduling of <other> is stopped.");
    world.stop();
    // Without a scheduler: where the service keeps it, else here, else a clear refusal.
    o = world.ctl({"protocol"});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.find("No protocol found"), std::string::npos) << o.err;
    mkdir((world.dir.path() + "/state/vektrin").c_str(), 0755);
    test::writeFile(world.dir.path() + "/state/vektrin/Vektrin.log",
                    "08/12/26 10:00:00 from the state directory\r\n");
    o = world.ctl({"protocol"});
    EXPECT_EQ(o.out, "08/12/26 10:00:00 from the state directory\n");
}

// A runtime directory that someone else could reach into leaves the scheduler listening in the
// private one under the state directory, where vektrinctl finds it through the state file.
TEST_F(ControlTest, AForeignRuntimeDirectoryLeavesTheSchedulerReachable) {
    const passwd* nobody = getpwnam("nobody");
    const struct {
        const char* label;
        std::function<std::string(const std::string&)> make; // a reason to skip, or empty
    } cases[] = {
        {"another owner",
         [&](const std::string& d) -> std::string {
             if (geteuid() != 0 || !nobody) return "needs root and a user nobody";
             mkdir(d.c_str(), 0700);
             return chown(d.c_str(), nobody->pw_uid, nobody->pw_gid) == 0 ? "" : "no chown";
         }},
        {"open to all",
         [](const std::string& d) {
             mkdir(d.c_str(), 0700);
             chmod(d.c_str(), 0777);
             return std::string();
         }},
        {"a link to a directory of ours",
         [](const std::string& d) {
             mkdir((d + "-real").c_str(), 0700);
             symlink((d + "-real").c_str(), d.c_str());
             return std::string();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ControlWorld w;
        const std::string runtime = w.runtime() + "/vektrin";
        if (const std::string skip = c.make(runtime); !skip.empty()) {
            std::cout << "[  SKIPPED ] " << c.label << ": " << skip << '\n';
            continue;
        }
        w.start();
        const CtlOutcome o = w.ctl({"status", "--json"});
        ASSERT_EQ(o.exitCode, 0) << o.err;
        const std::string fallback = w.dir.path() + "/state/vektrin/run";
        EXPECT_TRUE(Json::parse(o.out)["socket"].get<std::string>().starts_with(fallback + "/"));
        EXPECT_EQ(filesIn(fallback).size(), 2u);          // <key>.json names the socket beside it
        EXPECT_EQ(w.ctl({"stop", "nosuch"}).exitCode, 1); // the scheduler's own answer
        EXPECT_EQ(w.stop(), 0);
        EXPECT_TRUE(filesIn(fallback).empty());
        EXPECT_EQ(w.ctl({"status"}).exitCode, 3);
    }
}

// A scheduler that runs without a socket vektrinctl can reach is told from none, with why.
TEST_F(ControlTest, AnUnreachableSchedulerIsNotReportedAsNotRunning) {
    for (const std::string d : {"/run/vektrin", "/state/vektrin", "/state/vektrin/run"})
        mkdir((world.dir.path() + d).c_str(), 0700);
    chmod((world.dir.path() + "/run/vektrin").c_str(), 0777);
    chmod((world.dir.path() + "/state/vektrin/run").c_str(), 0777);
    world.start(4);
    const auto unreachable = [&](const std::vector<std::string>& args,
                                 const std::vector<std::string>& env = {}) {
        const CtlOutcome o = world.ctl(args, "", env);
        EXPECT_EQ(o.exitCode, 4) << args[0];
        EXPECT_NE(
            (o.out + o.err)
                .find("runs for the tables in " + world.tables() + " but cannot be reached: "),
            std::string::npos)
            << o.out << o.err;
        return o.out + o.err;
    };
    EXPECT_NE(unreachable({"status"}).find("its mode is 0777, not 0700"), std::string::npos);
    unreachable({"run", "any"});
    unreachable({"stop", "any"}); // not behind its back
    // Found by the lock on its tables where it left no state file.
    EXPECT_NE(unreachable({"status"}, {"XDG_RUNTIME_DIR=" + world.dir.path() + "/elsewhere"})
                  .find("it left no state file in " + world.dir.path() + "/elsewhere/vektrin"),
              std::string::npos);
    EXPECT_EQ(world.stop(), 0);
    EXPECT_EQ(world.ctl({"status"}).exitCode, 3);
}

// Clients beyond those served at once wait their turn: every one is answered.
TEST_F(ControlTest, AHundredClientsAtOnceAreAllAnswered) {
    world.start();
    const std::string path = socketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    // Silent clients take every place first.
    std::vector<int> silent;
    for (int i = 0; i < 40; ++i) {
        silent.push_back(socket(AF_UNIX, SOCK_STREAM, 0));
        ASSERT_EQ(connect(silent.back(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    std::atomic<int> connected = 0;
    std::vector<std::string> answers(100);
    std::vector<std::thread> clients;
    for (std::string& answer : answers)
        clients.emplace_back([&] {
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            ++connected;
            const std::string request = "{\"command\": \"status\"}\n";
            send(fd, request.data(), request.size(), MSG_NOSIGNAL);
            char buffer[4096];
            for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, static_cast<std::size_t>(n));
            close(fd);
        });
    while (connected < 100)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (int fd : silent)
        close(fd);
    for (std::thread& t : clients)
        t.join();
    for (const std::string& answer : answers) {
        ASSERT_TRUE(Json::accept(answer)) << "[" << answer << "]";
        EXPECT_EQ(Json::parse(answer)["ok"], true);
    }
}

// What a client gave up on ("Nothing was done") is never carried out later: neither behind
// connections that say nothing (which hold no answer up either) nor by a scheduler that comes to
// the request after its deadline.
TEST_F(ControlTest, ACommandTheClientGaveUpOnIsNeverCarriedOut) {
    world.start();
    addTask("late", "true");
    const auto executions = [&] {
        return std::ranges::count(messages(world.log()), "Executes <late>.");
    };
    std::vector<int> idle;
    const struct {
        const char* label;
        std::function<void()> before, after;
        bool givesUp;
    } cases[] = {
        {"200 idle connections",
         [&] {
             sockaddr_un address{AF_UNIX, {}};
             std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath().c_str());
             for (int i = 0; i < 200; ++i) {
                 idle.push_back(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
                 connect(idle.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
             }
             EXPECT_EQ(world.ctl({"status"}).exitCode, 0);
         },
         [&] { std::for_each(idle.begin(), idle.end(), close); }, false},
        {"a stopped scheduler", [&] { kill(world.vektrinPid(), SIGSTOP); },
         [&] { kill(world.vektrinPid(), SIGCONT); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto before = executions();
        c.before();
        const CtlOutcome run = world.ctl({"run", "late"});
        c.after();
        const bool ran = run.exitCode == 0 && !c.givesUp;
        EXPECT_EQ(run.out, ran ? "Executes <late>.\n" : "");
        EXPECT_TRUE(ran || run.err.ends_with(" within 10 seconds. Nothing was done.\n")) << run.err;
        // What the scheduler had left of it comes before a later answer.
        ASSERT_EQ(world.ctl({"status"}).exitCode, 0);
        EXPECT_EQ(executions() - before, ran ? 1 : 0);
    }
}

// While the operator edits, the scheduler runs the task: its status fields are not written back.
TEST_F(ControlTest, EditLeavesTheStatusFieldsOfATaskThatRunsMeanwhile) {
    addTask("sleeper", "sleep 60");
    world.start();
    const std::string editor = world.dir.file("runs.sh");
    test::writeFile(editor, "#!/bin/sh\n" + ControlWorld::bin("vektrinctl") +
                                " run sleeper >/dev/null\nsed -i 's/^repeat = 0$/repeat = 5/' "
                                "\"$1\"\n");
    chmod(editor.c_str(), 0755);
    const CtlOutcome o = world.ctl({"edit"}, "", {"EDITOR=" + editor});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    const Json t = taskRecord(world, "sleeper");
    EXPECT_EQ(t["RepeatInterval"], 5);
    EXPECT_EQ(t["EndCode"], 2); // still running, as the scheduler wrote it
    EXPECT_FALSE(t["LastDate"].is_null());
    world.stop();
}

} // namespace
} // namespace vektrin
