// Run files on a real disk: the launch that cannot open its run file, the keeper under real
// writers as fast as they go (also once their owner is killed), the last line a notice quotes,
// the order of kept runs, and settings that name places.

#include "platform/output_keeper.h"
#include "platform/process.h"
#include "platform/run_output.h"
#include "support/temp_dir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace vektrin {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

TEST(RunOutputLaunch, ARunFileThatCannotBeOpenedLeavesTheTaskWithDevNull) {
    test::TempDir dir;
    auto control = makePosixProcessControl();
    const std::string marker = dir.file("fd1");
    test::writeFile(dir.file("t.sh"), "echo $(readlink /proc/$$/fd/1) > " + marker + "; exit 7\n");
    LaunchRequest request;
    request.commandLine = "sh " + dir.file("t.sh");
    request.outputPath = dir.file("missing/run.log");
    const LaunchResult result = control->launch(request);
    ASSERT_EQ(result.failure, LaunchFailure::None);
    EXPECT_EQ(result.outputError, ENOENT);
    ExitQuery q;
    for (int i = 0; i < 400; ++i) {
        q = control->queryExit(result.info);
        if (q.state != ExitState::Running) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    control->close(result.info);
    EXPECT_EQ(q.status, 7);
    EXPECT_EQ(test::readFile(marker), "/dev/null\n");
}

// ------------------------------------------------------------------ the keeper

std::uint64_t sizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// The largest the file is seen at while running() holds (sampled as fast as stat goes).
std::uint64_t largestWhile(const std::string& file, const std::function<bool()>& running) {
    std::uint64_t largest = 0;
    while (running())
        for (int i = 0; i < 100; ++i)
            largest = std::max(largest, sizeOf(file));
    return largest;
}

LaunchRequest keptBy(const std::string& command, const std::string& file, std::uint64_t maxBytes) {
    LaunchRequest request;
    request.commandLine = command;
    request.outputPath = file;
    request.outputMaxBytes = maxBytes;
    return request;
}

// The first maxBytes/2 of the stream, the marker, the last maxBytes/2: what an ended run keeps of
// `written` bytes of c.
std::string capped(char c, std::uint64_t written, std::uint64_t maxBytes) {
    const std::string head(maxBytes / 2, c);
    return head + (c == '\n' ? "" : "\n") + leftOutLine(written - maxBytes) +
           std::string(maxBytes - maxBytes / 2, c);
}

TEST(RunFileKeeper, AWriterAsFastAsItGoesIsBoundedAtEveryMoment) {
    const struct {
        const char* command;
        std::uint64_t maxBytes;
        std::uint64_t written; // 0: until it is killed
    } cases[] = {
        {"head -c 209715200 /dev/zero", 1 << 20, 209715200},
        {"head -c 209715200 /dev/zero", 64 << 10, 209715200},
        {"head -c 100000 /dev/zero", 10, 100000},
        {"yes", 64 << 10, 0},
    };
    auto control = makePosixProcessControl();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + std::to_string(c.maxBytes));
        test::TempDir dir;
        const std::string file = createRunFile(dir.path(), 1, 0, c.maxBytes).path;
        const LaunchResult run = control->launch(keptBy(c.command, file, c.maxBytes));
        ASSERT_NE(run.keeper.processHandle, 0);
        int samples = 0;
        const auto keeping = [&] {
            if (c.written == 0 && ++samples == 300) control->terminate(run.info);
            return control->queryExit(run.keeper).state == ExitState::Running;
        };
        EXPECT_LE(largestWhile(file, keeping), 2 * c.maxBytes + MarkerMax);
        EXPECT_EQ(control->queryExit(run.keeper).status, 0);
        // The task's writes never failed.
        EXPECT_EQ(control->queryExit(run.info).status, c.written ? 0 : 128 + SIGKILL);
        const std::string kept = test::readFile(file);
        if (c.written) {
            EXPECT_TRUE(kept == capped('\0', c.written, c.maxBytes)) << kept.size();
        } else {
            EXPECT_LE(kept.size(), c.maxBytes + MarkerMax);
            EXPECT_EQ(readMarker(::open(file.c_str(), O_RDONLY | O_CLOEXEC), c.maxBytes / 2).kind,
                      MarkerAt::Marker);
        }
        control->close(run.info);
        control->close(run.keeper);
    }
}

// The scheduler killed with -9 while its task writes: the task and the keeper go on, the file
// stays bounded, and when the task ends the keeper gives the file its final shape.
TEST(RunFileKeeper, OutlivesItsOwnerKilledWhileTheTaskWrites) {
    constexpr std::uint64_t MaxBytes = 64 << 10;
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0); // the orphans come to this process
    test::TempDir dir;
    const std::string file = createRunFile(dir.path(), 1, 0, MaxBytes).path;
    int ids[2];
    ASSERT_EQ(pipe(ids), 0);
    const pid_t owner = fork();
    if (owner == 0) {
        const LaunchResult run = makePosixProcessControl()->launch(keptBy("yes", file, MaxBytes));
        const pid_t pids[2] = {static_cast<pid_t>(run.info.processId),
                               static_cast<pid_t>(run.keeper.processId)};
        if (write(ids[1], pids, sizeof pids) == sizeof pids) pause();
        _exit(1);
    }
    pid_t pids[2] = {};
    ASSERT_EQ(read(ids[0], pids, sizeof pids), static_cast<ssize_t>(sizeof pids));
    kill(owner, SIGKILL);
    waitpid(owner, nullptr, 0);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    const std::uint64_t before = readMarker(fd, MaxBytes / 2).leftOut;
    int samples = 0;
    EXPECT_LE(largestWhile(file, [&] { return ++samples < 300; }), 2 * MaxBytes + MarkerMax);
    EXPECT_GT(readMarker(fd, MaxBytes / 2).leftOut, before) << "the keeper no longer drains";
    kill(pids[0], SIGKILL);
    int status = -1;
    waitpid(pids[0], nullptr, 0);
    waitpid(pids[1], &status, 0);
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_LE(sizeOf(file), MaxBytes + MarkerMax);
    EXPECT_EQ(readMarker(fd, MaxBytes / 2).kind, MarkerAt::Marker);
    ::close(fd);
}

TEST(RunOutputFiles, LastLineQuotedInANotice) {
    test::TempDir dir;
    const struct {
        std::string text;
        std::string line;
    } cases[] = {
        {"", ""},
        {"\n\n  \r\n", ""},
        {"one", "one"},
        {"one\ntwo\n", "two"},
        {"one\r\ntwo \r\n\t\n", "two"},
        {"\xff\xfe raw\n", "\xff\xfe raw"},
        // At most 200 characters, never half of one.
        {std::string(199, 'a') + "\xc3\xa9\xc3\xa9\n", std::string(199, 'a') + "\xc3\xa9"},
        // Only the end of a huge file is read.
        {std::string(200000, 'x') + "\nend\n", "end"},
    };
    for (const auto& c : cases) {
        test::writeFile(dir.file("run.log"), c.text);
        EXPECT_EQ(lastOutputLine(dir.file("run.log")), c.line) << c.text.substr(0, 40);
    }
    EXPECT_EQ(lastOutputLine(dir.file("none.log")), "");
}

TEST(RunOutputFiles, RunsAreListedNewestFirstAndForeignFilesLeftAlone) {
    test::TempDir dir;
    const std::string root = dir.file("out");
    const DateTime start = *tryEncodeDate(2026, 12, 7) + *tryEncodeTime(23, 59, 59);
    for (DateTime moment : {start, start, start + 1.0 / SecondsPerDay, start, start - 1})
        ASSERT_NE(createRunFile(root, 5, moment).path, "");
    for (const char* name : {"notes.txt", "2026.log", "20261207-235959-1.log", "x.end",
                             "20261399-000000.log", "20261207-235959-02.log"})
        test::writeFile(root + "/5/" + name, "");
    std::vector<std::string> stems;
    for (const RunInfo& run : listRuns(root, 5))
        stems.push_back(run.stem);
    EXPECT_THAT(stems, ElementsAre("20261208-000000", "20261207-235959-3", "20261207-235959-2",
                                   "20261207-235959", "20261206-235959"));
    EXPECT_TRUE(hasRuns(root, 5));
    EXPECT_FALSE(hasRuns(root, 6));
    EXPECT_FALSE(hasRuns("", 5));
    EXPECT_THAT(tasksWithRuns(root), ElementsAre(5));

    EXPECT_THAT(removeOldRuns(root, 5, 2), ElementsAre());
    stems.clear();
    for (const RunInfo& run : listRuns(root, 5))
        stems.push_back(run.stem);
    EXPECT_THAT(stems, ElementsAre("20261208-000000", "20261207-235959-3"));

    EXPECT_THAT(removeTaskRuns(root, 5), ElementsAre());
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(root + "/5"))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_THAT(left, ElementsAre("2026.log", "20261207-235959-02.log", "20261207-235959-1.log",
                                  "20261399-000000.log", "notes.txt", "x.end"));
}

TEST(RunOutputFiles, StateHomeIsAnAbsoluteXdgStateHomeOrTheHomeDirectory) {
    const char* oldState = std::getenv("XDG_STATE_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string keptState = oldState ? oldState : "";
    const std::string keptHome = oldHome ? oldHome : "";
    setenv("HOME", "/home/op", 1);
    const struct {
        const char* state; // nullptr: unset
        const char* root;
    } cases[] = {
        {nullptr, "/home/op/.local/state/vektrin/output"},
        {"", "/home/op/.local/state/vektrin/output"},
        {"relative/state", "/home/op/.local/state/vektrin/output"},
        {"/var/state//", "/var/state/vektrin/output"},
    };
    for (const auto& c : cases) {
        if (c.state)
            setenv("XDG_STATE_HOME", c.state, 1);
        else
            unsetenv("XDG_STATE_HOME");
        EXPECT_EQ(defaultOutputRoot(), c.root) << (c.state ? c.state : "(unset)");
    }
    if (oldState)
        setenv("XDG_STATE_HOME", keptState.c_str(), 1);
    else
        unsetenv("XDG_STATE_HOME");
    if (oldHome)
        setenv("HOME", keptHome.c_str(), 1);
    else
        unsetenv("HOME");
}

} // namespace
} // namespace vektrin
