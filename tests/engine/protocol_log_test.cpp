// The protocol on a file system of its own: full, read-only, or not a file at all.

#include "engine/operator_commands.h"
#include "platform/strings.h"
#include "support/engine_fixture.h"

#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>

namespace vektrin {
namespace {

struct Tmpfs {
    std::string at, skip; // a tmpfs at dir/disk while the object lives; why there is none
    Tmpfs(const test::TempDir& dir, const char* options) : at(dir.file("disk")) {
        if (mkdir(at.c_str(), 0755) != 0 || mount("tmpfs", at.c_str(), "tmpfs", 0, options) != 0)
            skip = std::string("no tmpfs mounted (needs root): ") + std::strerror(errno);
    }
    ~Tmpfs() { umount2(at.c_str(), MNT_DETACH); }
};

class LogDiskTest : public test::EngineTest {
  protected:
    std::unique_ptr<ProcessControl> real = makePosixProcessControl();
    void startOn(const std::string& log) {
        SchedulerConfig c = config();
        c.logPath = log, c.protocolHeldBytes = 600; // about 15 lines held
        scheduler.reset(new Scheduler(clock, *real, windows, port, *settings, regional, c));
        scheduler->FormCreate();
    }
};

TEST_F(LogDiskTest, AFullLogCostsNoLaunchAndHeldLinesFollowWholeInOrder) {
    Tmpfs disk(dir, "size=1m");
    if (!disk.skip.empty()) GTEST_SKIP() << disk.skip;
    const std::string log = disk.at + "/Vektrin.log", filler = disk.at + "/filler";
    startOn(log);
    // The log ends 10 bytes short of a page, where the full disk cuts the next line.
    scheduler->WriteProtocol(std::string(4095 - (test::readFile(log).size() + 31) % 4096, 'p'));
    EXPECT_NE(std::system(("dd if=/dev/zero bs=64k of=" + filler + " 2>/dev/null").c_str()), 0);
    std::string want = test::readFile(log); // then the lines it gets, in order
    std::vector<std::string> sent;          // the lines WriteProtocol was given
    for (const std::string name : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}) {
        addTask(name, [](TDataCtrl& d) { d.Table1Application.setString("true"); });
        EXPECT_TRUE(operatorCommand(*scheduler, OperatorCommand::RunNow, name).ok) << name;
        while (scheduler->RunningTasks.anyTaskRunning())
            scheduler->Timer1Timer();
        sent.insert(sent.end(), {"Executes <" + name + ">.", "Task <" + name + "> is completed."});
    }
    unlink(filler.c_str());
    scheduler->Timer1Timer();
    using Kind = ProtocolNotice::Kind;
    EXPECT_EQ(port.protocolNotices, (std::vector<Kind>{Kind::Refusing, Kind::Writable}));
    // The first held lines whole and in order, then how many did not fit.
    const std::string text = test::readFile(log), stamp = "07.12.2026 10:00:30 ";
    size_t kept = 0;
    while (kept < sent.size() && text.starts_with(want + stamp + sent[kept] + "\r\n"))
        want += stamp + sent[kept++] + "\r\n";
    const auto lost = std::to_string(sent.size() - kept);
    EXPECT_EQ(text, want + stamp + str::fill(str::ProtocolLinesLost, {lost}) + "\r\n");
}

// A log that cannot be opened at start-up is named with the reason (tmpfs: mounted on "disk").
struct OpenFailure {
    const char *name, *log, *tmpfs;
    int error;
};

class StartUpLogTest : public LogDiskTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(StartUpLogTest, NamesTheFileAndTheReason) {
    const OpenFailure& f = GetParam();
    if (f.error == EACCES && (geteuid() == 0 || mkdir(dir.file("ro").c_str(), 0555) != 0))
        GTEST_SKIP() << "file modes do not bind root";
    std::unique_ptr<Tmpfs> disk(f.tmpfs ? new Tmpfs(dir, f.tmpfs) : nullptr);
    if (disk && !disk->skip.empty()) GTEST_SKIP() << disk->skip;
    EXPECT_THROW(startOn(dir.file(f.log)), FatalExit);
    EXPECT_EQ(port.messages, std::vector<std::string>{"The protocol file cannot be opened for "
                                                      "appending: " +
                                                      dir.file(f.log) + ": " + strerror(f.error)});
}

INSTANTIATE_TEST_SUITE_P(
    Causes, StartUpLogTest,
    ::testing::Values(OpenFailure{"Directory", ".", nullptr, EISDIR},
                      OpenFailure{"NotWritable", "ro/Vektrin.log", nullptr, EACCES},
                      OpenFailure{"ReadOnly", "disk/Vektrin.log", "ro", EROFS},
                      OpenFailure{"NoRoom", "disk/Vektrin.log", "nr_inodes=1", ENOSPC}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vektrin
