// The real vektrin program, headless, against temporary alias directories.

#include "support/file_size_limit.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vektrin {
namespace {

class VektrinProgramTest : public ::testing::Test {
  protected:
    test::TempDir dir;

    void SetUp() override {
        if (access(binary().c_str(), X_OK) != 0) GTEST_SKIP() << "vektrin was not built";
        mkdir((dir.path() + "/tables").c_str(), 0755);
        mkdir((dir.path() + "/work").c_str(), 0755);
        test::writeFile(dir.file("aliases.ini"), "[Control]\npath=" + dir.path() + "/tables\n");
    }

    static std::string binary() { return std::string(VEKTRIN_BINARY_DIR) + "/vektrin"; }

    pid_t launch(const std::vector<std::string>& args, const std::string& aliases,
                 const std::string& work = "work") {
        std::vector<std::string> env = {
            "VEKTRIN_ALIASES=" + aliases, "XDG_CONFIG_HOME=" + dir.path() + "/config",
            "HOME=" + dir.path(),         "LC_ALL=C.UTF-8",
            "PATH=/usr/bin:/bin",         "XDG_RUNTIME_DIR=" + dir.path()};
        return test::startProgram(binary(), args, std::move(env),
                                  {"", "", dir.file("stderr.txt"), dir.path() + "/" + work});
    }

    static int waitExit(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string log() const { return test::readFile(dir.path() + "/work/Vektrin.log"); }

    bool waitFor(const std::string& text) const {
        for (int i = 0; i < 200; ++i) {
            if (log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

TEST_F(VektrinProgramTest, TermSignalRunsTheShutdownSequence) {
    for (int signo : {SIGTERM, SIGINT}) {
        const pid_t pid = launch({}, dir.file("aliases.ini"));
        ASSERT_TRUE(waitFor("Waiting of the task scheduling start."))
            << test::readFile(dir.file("stderr.txt"));
        kill(pid, signo);
        EXPECT_EQ(waitExit(pid), 0);
        const std::string text = log();
        const std::string last = "The Vektrin program completed ...\r\n";
        ASSERT_GE(text.size(), last.size());
        EXPECT_EQ(text.substr(text.size() - last.size()), last);
        ::unlink((dir.path() + "/work/Vektrin.log").c_str());
    }
}

// A second scheduler on the same tables says which one runs; one on the same protocol, or on
// tables another program holds, is refused saying which of the two is held. None leaves anything
// behind in its own working directory.
TEST_F(VektrinProgramTest, ASecondInstanceIsRefusedAndTheFirstGoesOn) {
    mkdir((dir.path() + "/other").c_str(), 0755);
    mkdir((dir.path() + "/other/tables").c_str(), 0755);
    test::writeFile(dir.file("other.ini"), "[Control]\npath=" + dir.path() + "/other/tables\n");
    const pid_t first = launch({}, dir.file("aliases.ini"));
    ASSERT_TRUE(waitFor("Waiting of the task scheduling start."));
    const std::string runs = "Vektrin runs already (PID " + std::to_string(first) +
                             ") for the tables in " + dir.path() + "/tables.";
    const struct {
        const char* aliases;
        const char* work;
        bool firstEnded; // the tables' lock is held by a program of no control socket
        std::string said;
    } cases[] = {
        {"aliases.ini", "other", false, runs},
        {"other.ini", "work", false,
         "Maybe Vektrin runs already? Another scheduler holds the "
         "protocol "},
        {"aliases.ini", "other", true,
         "Maybe Vektrin runs already? Another scheduler holds the "
         "tables "},
    };
    int holder = -1;
    for (const auto& c : cases) {
        if (c.firstEnded && holder < 0) {
            kill(first, SIGTERM);
            EXPECT_EQ(waitExit(first), 0);
            EXPECT_NE(log().find("The Vektrin program completed ..."), std::string::npos);
            holder = open((dir.path() + "/tables/Vektrin.db").c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        }
        EXPECT_EQ(waitExit(launch({}, dir.file(c.aliases), c.work)), 1) << c.said;
        const std::string err = test::readFile(dir.file("stderr.txt"));
        EXPECT_NE(err.find(c.said), std::string::npos) << err;
        EXPECT_NE(access((dir.path() + "/other/Vektrin.log").c_str(), F_OK), 0) << c.said;
    }
    close(holder);
}

TEST_F(VektrinProgramTest, ConfigurationErrorsEndWithAMessageAndAStatus) {
    EXPECT_NE(waitExit(launch({}, dir.file("missing.ini"))), 0);
    EXPECT_NE(test::readFile(dir.file("stderr.txt")).find("You don't define Control Alias"),
              std::string::npos);

    test::writeFile(dir.path() + "/tables/VKResrcs.db", "not a table");
    EXPECT_NE(waitExit(launch({}, dir.file("aliases.ini"))), 0);
    EXPECT_NE(test::readFile(dir.file("stderr.txt")).find("VKResrcs.db"), std::string::npos);
    EXPECT_EQ(test::readFile(dir.path() + "/tables/VKResrcs.db"), "not a table");
}

// A table held by another writer and a disk without room: each ends in the report and status 1,
// never in an abort, and the next start finds no lock left behind.
TEST_F(VektrinProgramTest, StartUpFailuresAfterTheTablesAreOpenEndWithStatusOne) {
    const pid_t first = launch({}, dir.file("aliases.ini"));
    ASSERT_TRUE(waitFor("Waiting of the task scheduling start."));
    kill(first, SIGTERM);
    ASSERT_EQ(waitExit(first), 0);

    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open((dir.path() + "/tables/Vektrin.db").c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(waitExit(launch({}, dir.file("aliases.ini"))), 1);
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    // A task left running, whose reset the next start-up must write.
    sqlite3_exec(holder, "INSERT INTO Vektrin (AppName, EndCode) VALUES ('left', 2)", nullptr,
                 nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_NE(test::readFile(dir.file("stderr.txt")).find("locked"), std::string::npos);
    EXPECT_NE(log().find("The Vektrin program could not start: "), std::string::npos);

    {
        // The limit is inherited by the program: no file can grow by another byte, so the reset
        // cannot be written (the log's lines would wait in memory).
        test::FileSizeLimit full(static_cast<rlim_t>(log().size()));
        EXPECT_EQ(waitExit(launch({}, dir.file("aliases.ini"))), 1);
    }

    const std::string before = log();
    const pid_t again = launch({}, dir.file("aliases.ini"));
    bool started = false;
    for (int i = 0; i < 200 && !started; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        started =
            log().find("Waiting of the task scheduling start.", before.size()) != std::string::npos;
    }
    EXPECT_TRUE(started) << log();
    kill(again, SIGTERM);
    EXPECT_EQ(waitExit(again), 0);
}

TEST_F(VektrinProgramTest, LanguageArgumentIsRecordedAndNothingElseRuns) {
    EXPECT_EQ(waitExit(launch({"rus"}, dir.file("aliases.ini"))), 0);
    const std::string settings = test::readFile(dir.path() + "/config/vektrin/settings.ini");
    EXPECT_NE(settings.find("[Software\\Borland\\Locales]"), std::string::npos);
    EXPECT_NE(settings.find("vektrin=RUS"), std::string::npos);
    EXPECT_TRUE(log().empty());
}

} // namespace
} // namespace vektrin
