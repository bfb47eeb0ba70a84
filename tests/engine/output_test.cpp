// What task runs print: captured by real child processes into one file per run, capped, the
// oldest runs removed, runs ended on a full or vanishing file system, the settings read when they
// change, and a word to the operator when a run fails.

#include "platform/output_keeper.h"
#include "platform/run_output.h"
#include "platform/settings_store.h"
#include "support/engine_fixture.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <gmock/gmock.h>
#include <set>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace vektrin {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class OutputTest : public test::EngineTest {
  protected:
    std::unique_ptr<ProcessControl> real = makePosixProcessControl();

    std::string root() const { return dir.file("state/vektrin/output"); }

    // A started scheduler whose runs are kept under outputRoot.
    void startWith(ProcessControl& control, const std::string& outputRoot) {
        SchedulerConfig c = config();
        c.outputDirectory = outputRoot;
        scheduler =
            std::make_unique<Scheduler>(clock, control, windows, port, *settings, regional, c);
        ASSERT_EQ(scheduler->FormCreate(), Scheduler::StartResult::Running);
    }

    void setting(const std::string& section, const std::string& name, const std::string& value) {
        ASSERT_TRUE(settings->write(section, name, value));
    }

    std::int32_t task(const std::string& name, const std::string& command) {
        return addTask(name, [&](TDataCtrl& d) { d.Table1Application.setString(command); });
    }

    // Runs the monitoring pass until the task's code changes from 2 and its newest run has ended
    // (at most ten seconds).
    void settle(std::int32_t id) {
        const auto going = [&] {
            const auto runs =
                fs::is_directory(root()) ? listRuns(root(), id) : std::vector<RunInfo>{};
            return code(id) == 2 || (!runs.empty() && !runs.front().end);
        };
        for (int i = 0; i < 400 && going(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            scheduler->Timer1Timer();
        }
        ASSERT_FALSE(going()) << "the task did not end";
    }

    void run(std::int32_t id) {
        runNow(id);
        settle(id);
    }

    std::vector<std::string> files(std::int32_t id) const {
        std::set<std::string> names;
        const fs::path d = taskOutputDirectory(root(), id);
        if (fs::exists(d))
            for (const auto& e : fs::directory_iterator(d))
                names.insert(e.path().filename().string());
        return {names.begin(), names.end()};
    }
};

// ------------------------------------------------------------------ capture by real children

struct CaptureCase {
    const char* name;
    const char* command;
    const char* output; // the run file, byte for byte
    int exitCode;
};

void PrintTo(const CaptureCase& c, std::ostream* os) {
    *os << c.name;
}

class CaptureTest : public OutputTest, public ::testing::WithParamInterface<CaptureCase> {};

TEST_P(CaptureTest, TheRunFileHoldsBothStreamsAsWritten) {
    const CaptureCase& c = GetParam();
    startWith(*real, root());
    const auto id = task("t", c.command);
    run(id);
    const std::vector<RunInfo> runs = listRuns(root(), id);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(test::readFile(runs[0].path), std::string(c.output));
    EXPECT_EQ(runs[0].stem, "20261207-100030");
    ASSERT_TRUE(runs[0].end);
    EXPECT_EQ(runs[0].end->endCode, 1);
    EXPECT_EQ(runs[0].end->exitCode, c.exitCode);
    // Capture never costs the record its exit code.
    select(id);
    EXPECT_EQ(dm().Table1ExitCode.asInteger(), c.exitCode);
    EXPECT_EQ(code(id), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, CaptureTest,
    ::testing::Values(
        CaptureCase{"BothStreamsInOrder",
                    "sh -c 'echo out1; echo err1 >&2; echo out2; echo err2 >&2; exit 3'",
                    "out1\nerr1\nout2\nerr2\n", 3},
        CaptureCase{"StandardInputIsDevNull", "sh -c 'readlink /proc/$$/fd/0; cat'", "/dev/null\n",
                    0},
        CaptureCase{"NotUtf8IsStoredAsWritten", "sh -c 'printf \"\\377\\376 bytes\\n\"; exit 2'",
                    "\xff\xfe bytes\n", 2},
        CaptureCase{"TaskClosesItsOutput", "sh -c 'exec >&- 2>&-; echo lost; exit 4'", "", 4},
        CaptureCase{"TaskRedirectsItsOutput", "sh -c 'exec >/dev/null 2>&1; echo gone; exit 5'", "",
                    5}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------ caps and kept runs

struct CapCase {
    const char* printed; // printf's format
    const char* kept;
};

TEST_F(OutputTest, EndedRunsAreCappedAndOnlyTheNewestAreKept) {
    setting("Output", "MaxBytes", "10");
    setting("Output", "KeepRuns", "2");
    startWith(*real, root());
    const CapCase cases[] = {
        {"short\\n", "short\n"},
        {"0123456789", "0123456789"},
        {"0123456789A", "01234\n... 1 bytes left out ...\n6789A"},
        {"0123456789ABCDEFGHIJ\\n", "01234\n... 11 bytes left out ...\nGHIJ\n"},
        {"abcd\\n56789ABCDEFGHIJ\\n", "abcd\n... 11 bytes left out ...\nGHIJ\n"},
    };
    const auto id = task("cap", "true");
    std::vector<std::string> stems;
    for (const CapCase& c : cases) {
        select(id);
        dm().Table1.edit();
        dm().Table1Application.setString(std::string("printf '") + c.printed + "'");
        dm().Table1.post();
        // The last two runs start in the same second.
        if (stems.size() < 4) clock.advanceSeconds(1);
        run(id);
        const std::vector<RunInfo> runs = listRuns(root(), id);
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(test::readFile(runs[0].path), c.kept) << c.printed;
        stems.push_back(runs[0].stem);
    }
    EXPECT_THAT(stems, ElementsAre("20261207-100031", "20261207-100032", "20261207-100033",
                                   "20261207-100034", "20261207-100034-2"));
    EXPECT_THAT(files(id), ElementsAre("20261207-100034-2.end", "20261207-100034-2.log",
                                       "20261207-100034.end", "20261207-100034.log"));
}

// Two instances of one task (Run now while it runs): the one that started later ends first, and
// the older run file, still being written, is not taken for an old run.
TEST_F(OutputTest, ARunStillGoingOnIsNeverRemovedAsAnOldOne) {
    setting("Output", "KeepRuns", "1");
    startWith(*real, root());
    const std::string go = dir.file("go");
    test::writeFile(dir.file("twice.sh"), "if mkdir " + dir.file("first") +
                                              " 2>/dev/null; then\n"
                                              "  while [ ! -e " +
                                              go +
                                              " ]; do sleep 0.01; done\n"
                                              "  echo first ends; exit 9\n"
                                              "fi\n"
                                              "echo second ends\n");
    const auto id = task("twice", "sh " + dir.file("twice.sh"));
    runNow(id);
    while (!fs::exists(dir.file("first")))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    clock.advanceSeconds(1);
    run(id); // the second instance, ended
    EXPECT_THAT(files(id), ElementsAre("20261207-100030.end", "20261207-100030.log",
                                       "20261207-100031.end", "20261207-100031.log"));
    test::writeFile(go, "");
    for (int i = 0; i < 400 && scheduler->RunningTasks.anyTaskRunning(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        scheduler->Timer1Timer();
    }
    // The newest run by its start is kept; the failure still quotes the run that ended.
    EXPECT_THAT(files(id), ElementsAre("20261207-100031.end", "20261207-100031.log"));
    ASSERT_EQ(port.notices.size(), 1u);
    EXPECT_EQ(port.notices[0].lastLine, "first ends");
}

TEST_F(OutputTest, CaptureOffSendsBothStreamsToDevNull) {
    setting("Output", "Capture", "false");
    startWith(*real, root());
    const std::string marker = dir.file("streams");
    test::writeFile(dir.file("streams.sh"),
                    "echo $(readlink /proc/$$/fd/1 /proc/$$/fd/2) > " + marker + "\n");
    const auto id = task("off", "sh " + dir.file("streams.sh"));
    run(id);
    EXPECT_EQ(test::readFile(marker), "/dev/null /dev/null\n");
    EXPECT_FALSE(fs::exists(root()));
}

TEST_F(OutputTest, AnUnusableDirectoryLeavesTheLaunchAlone) {
    test::writeFile(dir.file("state"), "a file where the directory should be");
    startWith(*real, root());
    const auto id = task("nowhere", "sh -c 'echo lost; exit 3'");
    run(id);
    select(id);
    EXPECT_EQ(dm().Table1Sost.asString(), "Completed with a code 3");
    EXPECT_TRUE(protocolHas("Output of <nowhere> is not kept: cannot create the directory " +
                            taskOutputDirectory(root(), id) + ": Not a directory"));
    ASSERT_EQ(port.notices.size(), 1u);
    EXPECT_EQ(port.notices[0].lastLine, "");
}

// A file system too full to take what a run may print: the task gets /dev/null rather than
// write errors that it might fail for.
TEST_F(OutputTest, AFullFileSystemLeavesTheLaunchAlone) {
    setting("Output", "MaxBytes", "1000000000G");
    startWith(*real, root());
    const auto id = task("full", "sh -c 'echo lost; exit 3'");
    run(id);
    select(id);
    EXPECT_EQ(dm().Table1Sost.asString(), "Completed with a code 3");
    bool said = false;
    for (const std::string& line : protocol())
        said = said || (line.starts_with("Output of <full> is not kept: the file system of " +
                                         taskOutputDirectory(root(), id) + " has ") &&
                        line.ends_with(" bytes free, less than [Output] MaxBytes "
                                       "(1073741824000000000)"));
    EXPECT_TRUE(said) << test::readFile(dir.file("Vektrin.log"));
    EXPECT_THAT(files(id), IsEmpty());
}

// A tmpfs of a few megabytes for the runs, gone at the end.
struct SmallFileSystem {
    std::string path;
    std::string refused; // why there is none
    SmallFileSystem(const std::string& at, const char* size) : path(at) {
        fs::create_directories(at);
        if (geteuid() != 0)
            refused = "mounting a file system needs root";
        else if (mount("tmpfs", at.c_str(), "tmpfs", 0, size) != 0)
            refused = std::string("mount refused: ") + std::strerror(errno);
    }
    ~SmallFileSystem() {
        if (refused.empty()) umount2(path.c_str(), MNT_DETACH);
    }
};

// The disk full while a task writes as fast as it can: its writes never fail, and the run ends
// with its code, its end recorded in the room reserved for it. A file system unmounted under a
// running task takes its run along and leaves the record right.
TEST_F(OutputTest, AFullOrVanishingFileSystemStillEndsTheRun) {
    SmallFileSystem small(dir.file("state"), "size=1m");
    if (!small.refused.empty()) GTEST_SKIP() << small.refused;
    setting("Output", "MaxBytes", "256K");
    startWith(*real, root());
    const auto full = task("full", "sh -c 'head -c 50000000 /dev/zero && exit 3'");
    runNow(full);
    fs::create_directories(root());
    test::writeFile(root() + "/filler", std::string(700 << 10, 'f'));
    settle(full);
    select(full);
    EXPECT_EQ(dm().Table1ExitCode.asInteger(), 3);
    const std::vector<RunInfo> runs = listRuns(root(), full);
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_TRUE(runs[0].end);
    EXPECT_EQ(runs[0].end->endCode, 1);
    EXPECT_EQ(runs[0].end->exitCode, 3);
    EXPECT_LE(runs[0].size, (256u << 10) + MarkerMax);
    EXPECT_TRUE(protocolHas("Output of <full>: cannot write " + runs[0].path +
                            ": No space left on device; what could not be written is counted as "
                            "left out"));

    const std::string go = dir.file("go");
    const auto gone = task("gone", "sh -c 'while [ -d " + dir.path() + " ] && [ ! -e " + go +
                                       " ]; do sleep 0.01; done; exit 4'");
    runNow(gone);
    umount2(small.path.c_str(), MNT_DETACH);
    test::writeFile(go, "");
    settle(gone);
    select(gone);
    EXPECT_EQ(dm().Table1ExitCode.asInteger(), 4);
    EXPECT_THAT(listRuns(root(), gone), IsEmpty());
}

// A task that leaves a process behind holding its output: the run is ended after a few passes all
// the same, the file stays bounded, and it takes its final shape when the last writer is gone.
TEST_F(OutputTest, ARunIsEndedThoughALeftoverProcessStillWrites) {
    setting("Output", "MaxBytes", "4096");
    startWith(*real, root());
    const std::string go = dir.file("go");
    test::writeFile(dir.file("huge.sh"), "head -c 300000 /dev/zero | tr '\\0' a\n"
                                         "(while [ -d " +
                                             dir.path() + " ] && [ ! -e " + go +
                                             " ]; do sleep 0.01; done; echo tail-of-run) &\n");
    const auto id = task("huge", "sh " + dir.file("huge.sh"));
    runNow(id);
    for (int i = 0; i < 400 && code(id) == 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        scheduler->Timer1Timer();
    }
    const RunInfo going = listRuns(root(), id).at(0);
    EXPECT_FALSE(going.end);
    EXPECT_LE(going.size, 2 * 4096 + MarkerMax);
    for (int pass = 1; pass < TaskOutput::GracePasses; ++pass)
        scheduler->Timer1Timer();
    EXPECT_TRUE(listRuns(root(), id).at(0).end);
    test::writeFile(go, "");
    const std::string capped = std::string(2048, 'a') + "\n... 295916 bytes left out ...\n" +
                               std::string(2036, 'a') + "tail-of-run\n";
    for (int i = 0; i < 400 && test::readFile(going.path) != capped; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(test::readFile(going.path), capped);
}

// ------------------------------------------------------------------ deleted tasks

TEST_F(OutputTest, ADeletedTaskTakesItsRunsAlong) {
    // Left by an earlier run of the scheduler: runs of a task deleted meanwhile, and a directory
    // that holds something else too.
    fs::create_directories(root() + "/77");
    test::writeFile(root() + "/77/20260101-000000.log", "old\n");
    fs::create_directories(root() + "/78");
    test::writeFile(root() + "/78/20260101-000000.log", "old\n");
    test::writeFile(root() + "/78/notes.txt", "mine\n");
    startWith(*real, root());
    const auto done = task("done", "echo done");
    const auto running = task("running", "sleep 30");
    run(done);
    runNow(running);
    ASSERT_EQ(files(running).size(), 2u);

    for (auto id : {done, running}) {
        select(id);
        dm().Table1.deleteRecord();
    }
    scheduler->Timer1Timer();
    EXPECT_FALSE(fs::exists(taskOutputDirectory(root(), done)));
    EXPECT_FALSE(fs::exists(root() + "/77"));
    EXPECT_THAT(files(78), ElementsAre("notes.txt"));
    // Still running: its runs go when it ends.
    EXPECT_EQ(files(running).size(), 2u);
    for (int n = 1; n <= RunningTaskSlots; ++n)
        if (scheduler->RunningTasks.slot(n).occupied())
            real->terminate(scheduler->RunningTasks.slot(n).processInfo());
    for (int i = 0; i < 400 && scheduler->RunningTasks.anyTaskRunning(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        scheduler->Timer1Timer();
    }
    EXPECT_FALSE(fs::exists(taskOutputDirectory(root(), running)));
}

// ------------------------------------------------------------------ a word when it fails

class NoticeTest : public OutputTest {
  protected:
    void SetUp() override {
        OutputTest::SetUp();
        startWith(processes, root());
    }

    // The launch's run file gets what the task "printed"; then it ends with status.
    void print(const std::string& text) {
        test::writeFile(processes.launches.back().outputPath, text);
    }

    // The task runs and ends with status at once, as the monitoring pass sees it.
    void runAndEnd(std::int32_t id, int status = 1) {
        runNow(id);
        processes.exit(processes.lastHandle, status);
        scheduler->Timer1Timer();
    }
};

TEST_F(NoticeTest, EachFailureKindIsSaidOnceWithTheLastLine) {
    addResource(1, 0);

    // Stopped, so that the scheduling pass below leaves them alone; "waits" is settled by it.
    const auto stopped = [](const std::function<void(TDataCtrl&)>& more = {}) {
        return [more](TDataCtrl& d) {
            d.Table1Stopped.setBoolean(true);
            if (more) more(d);
        };
    };
    const auto fails = addTask("fails", stopped());
    const auto missing = addTask("missing", stopped());
    const auto ended = addTask("ended", stopped([](TDataCtrl& d) {
                                   d.Table1EndCondition.setString("1");
                                   d.Table1Conflicts.setInteger(1);
                               }));
    const auto waits = addTask("waits", [](TDataCtrl& d) {
        d.Table1Conflicts.setInteger(1);
        d.Table1WaitRes.setBoolean(true);
    });
    const auto fine = addTask("fine", stopped());
    const auto person = addTask("person", stopped());

    runNow(fails);
    print("first line\nlast words \xff\r\n  \n");
    processes.exit(processes.lastHandle, 3);
    select(missing);
    processes.nextFailure = LaunchFailure::ProgramNotFound;
    scheduler->RunNowClick();
    runNow(fine);
    print("all well\n");
    processes.exit(processes.lastHandle, 0);
    runNow(person);
    scheduler->InterruptClick();
    runNow(ended); // holds resource 1 until its condition ends it
    print("ended here\n");
    runNow(waits); // waits for resource 1
    clock.set(2026, 12, 7, 10, 1, 1);
    scheduler->Timer2Timer(); // the wait is over (its longest wait is 0)
    scheduler->Timer1Timer(); // "fails" ends, "stopped" is ended by its condition

    std::vector<std::string> said;
    for (const TaskNotice& n : port.notices)
        said.push_back(n.task + " | " + n.what + " | " + n.lastLine);
    EXPECT_THAT(said, ElementsAre("missing | Launch error : Program not found | ",
                                  "waits | Time of a resource liberation waiting is over | ",
                                  "fails | Completed with a code 3 | last words \xff",
                                  "ended | Interrupted by program | ended here"));
    EXPECT_EQ(port.notices[2].appId, fails);
}

TEST_F(NoticeTest, AtMostOneWordPerTaskAMinuteAndNoneWhenSwitchedOff) {
    const auto fails = task("fails", "prog");
    const auto other = task("other", "prog");
    runAndEnd(fails); // at 10:00:30
    clock.advanceSeconds(29);
    runAndEnd(fails); // within the same minute: not said
    runAndEnd(other); // another task: said
    clock.advanceSeconds(1);
    runAndEnd(fails); // a second later, but the next minute: said
    setting("Notify", "OnFailure", "off");
    clock.advanceSeconds(120);
    runAndEnd(fails);
    std::vector<std::string> said;
    for (const TaskNotice& n : port.notices)
        said.push_back(n.task);
    EXPECT_THAT(said, ElementsAre("fails", "other", "fails"));
}

TEST_F(NoticeTest, UnusableSettingsFallBackToTheirDefaultsAndAreSaidOnce) {
    setting("Output", "MaxBytes", "a lot");
    setting("Output", "KeepRuns", "0");
    setting("Output", "Capture", "maybe");
    setting("Notify", "OnFailure", "sometimes");
    const auto id = task("t", "prog");
    for (int i = 0; i < 2; ++i) {
        runAndEnd(id);
        clock.advanceSeconds(61);
    }
    std::vector<std::string> lines;
    for (const std::string& line : protocol())
        if (line.starts_with("Output settings: ")) lines.push_back(line);
    EXPECT_THAT(
        lines,
        ElementsAre("Output settings: The setting [Output] Capture=\"maybe\" is neither true nor "
                    "false; true is used.",
                    "Output settings: The setting [Output] MaxBytes=\"a lot\" is not a size in "
                    "bytes (such as 1048576 or 1M); 1048576 is used.",
                    "Output settings: The setting [Output] KeepRuns=\"0\" is not a number of runs "
                    "from 1 on; 10 is used.",
                    "Output settings: The setting [Notify] OnFailure=\"sometimes\" is neither "
                    "true nor false; true is used."));
    // The defaults hold: captured, and both failures said.
    EXPECT_EQ(listRuns(root(), id).size(), 2u);
    EXPECT_EQ(port.notices.size(), 2u);
}

TEST_F(NoticeTest, TheSettingsAreReadAgainOnlyWhenTheyChange) {
    setting("Output", "KeepRuns", "5");
    const auto id = task("t", "prog");
    runAndEnd(id);
    const std::uint64_t loads = settings->loads();
    for (int i = 0; i < 5; ++i)
        runAndEnd(id);
    EXPECT_EQ(settings->loads(), loads);
    setting("Output", "Capture", "false");
    runAndEnd(id);
    EXPECT_EQ(processes.launches.back().outputPath, "");
    EXPECT_EQ(settings->loads(), loads + 1);
}

TEST_F(NoticeTest, WithoutAnOutputDirectoryNothingIsKept) {
    startWith(processes, "");
    const auto id = task("t", "prog");
    runAndEnd(id, 2);
    EXPECT_EQ(processes.launches.back().outputPath, "");
    ASSERT_EQ(port.notices.size(), 1u);
    EXPECT_EQ(port.notices[0].lastLine, "");
    EXPECT_THAT(files(id), IsEmpty());
}

} // namespace
} // namespace vektrin
