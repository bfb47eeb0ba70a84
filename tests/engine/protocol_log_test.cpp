// The protocol on a file system of its own: full, read-only, or not a file at all.

#include "engine/operator_commands.h"
#include "platform/strings.h"
#include "support/engine_fixture.h"

#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>

namespace vektrin {
namespace {

// A tmpfs at dir/disk while the object lives; skip says why there is none.
struct Tmpfs {
    std::string at, skip;
    Tmpfs(const test::TempDir& dir, const char* options) : at(dir.file("disk")) {
        if (mkdir(at.c_str(), 0755) != 0 || mount("tmpfs", at.c_str(), "tmpfs", 0, options) != 0)
            skip = std::string("no tmpfs mounted (needs root): ") + std::strerror(errno);
    }
    ~Tmpfs() { umount2(at.c_str(), MNT_DETACH); }
};

class ProtocolDiskTest : public test::EngineTest {
  protected:
    std::unique_ptr<ProcessControl> real = makePosixProcessControl();
    void startOn(const std::string& log) {
        SchedulerConfig c = config();
        c.logPath = log, c.protocolHeldBytes = 600; // about 15 lines held
        scheduler =
            std::make_unique<Scheduler>(clock, *real, windows, port, *settings, regional, c);
        scheduler->FormCreate();
    }
};

TEST_F(ProtocolDiskTest, AFullLogCostsNoLaunchAndHeldLinesFollowWholeInOrder) {
    Tmpfs disk(dir, "size=1m");
    if (!disk.skip.empty()) GTEST_SKIP() << disk.skip;
    const std::string log = disk.at + "/Vektrin.log", filler = disk.at + "/filler";
    startOn(log);
    // The log ends 10 bytes short of a page, where the full disk cuts the next line.
    scheduler->WriteProtocol(
        std::string((8192 - test::readFile(log).size() % 4096 - 32) % 4096, 'p'));
    EXPECT_NE(std::system(("dd if=/dev/zero bs=64k of=" + filler + " 2>/dev/null").c_str()), 0);
    const std::string before = test::readFile(log);
    std::vector<std::string> events;
    for (const std::string name : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}) {
        const auto id = addTask(name, [](TDataCtrl& d) { d.Table1Application.setString("true"); });
        EXPECT_TRUE(operatorCommand(*scheduler, OperatorCommand::RunNow, name).ok) << name;
        while (scheduler->RunningTasks.anyTaskRunning())
            scheduler->Timer1Timer();
        EXPECT_EQ(code(id), 1) << name;
        events.insert(events.end(),
                      {"Executes <" + name + ">.", "Task <" + name + "> is completed."});
    }
    unlink(filler.c_str());
    scheduler->Timer1Timer();
    using Kind = ProtocolNotice::Kind;
    EXPECT_EQ(port.protocolNotices, (std::vector<Kind>{Kind::Refusing, Kind::Writable}));
    // The first held lines whole and in order, then how many did not fit.
    const std::string text = test::readFile(log), stamp = "07.12.2026 10:00:30 ";
    std::string want = before;
    size_t kept = 0;
    while (kept < events.size() && text.starts_with(want + stamp + events[kept] + "\r\n"))
        want += stamp + events[kept++] + "\r\n";
    const auto lost = std::to_string(events.size() - kept);
    EXPECT_EQ(text, want + stamp + str::fill(str::ProtocolLinesLost, {lost}) + "\r\n");
}

// A log that cannot be opened at start-up is named with the reason.
struct OpenFailure {
    const char *name, *log, *directory, *tmpfs; // directory made with mode, tmpfs mounted first
    mode_t mode;
    int error;
};

class StartUpLogTest : public ProtocolDiskTest,
                       public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(StartUpLogTest, NamesTheFileAndTheReason) {
    const OpenFailure& f = GetParam();
    if (f.error == EACCES && geteuid() == 0) GTEST_SKIP() << "file modes do not bind root";
    if (f.directory) mkdir(dir.file(f.directory).c_str(), f.mode);
    std::unique_ptr<Tmpfs> disk(f.tmpfs ? new Tmpfs(dir, f.tmpfs) : nullptr);
    if (disk && !disk->skip.empty()) GTEST_SKIP() << disk->skip;
    EXPECT_THROW(startOn(dir.file(f.log)), FatalExit);
    EXPECT_EQ(port.messages, std::vector<std::string>{std::string(str::ProtocolNotReopened) +
                                                      dir.file(f.log) + ": " + strerror(f.error)});
}

INSTANTIATE_TEST_SUITE_P(
    Causes, StartUpLogTest,
    ::testing::Values(OpenFailure{"Directory", "Vektrin.log", "Vektrin.log", nullptr, 0755, EISDIR},
                      OpenFailure{"NoDirectory", "no/Vektrin.log", nullptr, nullptr, 0, ENOENT},
                      OpenFailure{"NotWritable", "ro/Vektrin.log", "ro", nullptr, 0555, EACCES},
                      OpenFailure{"ReadOnly", "disk/Vektrin.log", nullptr, "ro", 0, EROFS},
                      OpenFailure{"NoRoom", "disk/Vektrin.log", nullptr, "nr_inodes=1", 0, ENOSPC}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vektrin
