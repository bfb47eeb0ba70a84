// An aliases file that is there but cannot be read is reported with its path, at start-up and in
// the pass that looks for the companion product, instead of passing for a missing alias.

#include "platform/ini_file.h"
#include "support/engine_fixture.h"

#include <filesystem>

namespace vektrin {
namespace {

using test::EngineTest;

TEST_F(EngineTest, AnUnreadableAliasesFileIsNamedAtStartUp) {
    std::filesystem::remove(dir.file("aliases.ini"));
    std::filesystem::create_directory(dir.file("aliases.ini"));
    EXPECT_EQ(failedStart(), 2);
    ASSERT_FALSE(port.messages.empty());
    EXPECT_EQ(port.messages.back(),
              "Cannot read the aliases file " + dir.file("aliases.ini") + ": Is a directory");
    EXPECT_TRUE(test::readFile(dir.file("Vektrin.log")).empty());
    EXPECT_FALSE(std::filesystem::exists(tables() + "/Vektrin.db"));
}

// The pass cannot tell whether the companion's period dates apply: it ends before any task, says
// why, and the next minute tries again.
TEST_F(EngineTest, AnAliasesFileThatBecomesUnreadableEndsThePassWithItsPath) {
    start();
    scheduler->Timer1Timer();
    addTask("every minute");
    std::filesystem::remove(dir.file("aliases.ini"));
    std::filesystem::create_directory(dir.file("aliases.ini"));
    clock.set(2026, 12, 7, 10, 1, 1);
    try {
        scheduler->Timer2Timer();
        FAIL() << "the pass went on";
    } catch (const ConfigFileError& e) {
        EXPECT_EQ(e.path(), dir.file("aliases.ini"));
    }
    EXPECT_TRUE(processes.launches.empty());

    std::filesystem::remove(dir.file("aliases.ini"));
    test::writeFile(dir.file("aliases.ini"), "[Control]\npath=" + tables() + "\n");
    clock.set(2026, 12, 7, 10, 2, 1);
    scheduler->Timer2Timer();
    EXPECT_EQ(processes.launches.size(), 1u);
}

} // namespace
} // namespace vektrin
