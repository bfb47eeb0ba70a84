// The language choice of the real vektrin program taking effect at the next start: the message
// it shows (headless: one line on standard error) is Russian after "vektrin RUS" and English
// otherwise; a translation file that cannot be used leaves it English with one line saying why.

#include "support/run_program.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vektrin {
namespace {

const std::string Russian = "System monitor - Vektrin: Не определён псевдоним Control";
const std::string English = "System monitor - Vektrin: You don't define Control Alias";

// The lines a run wrote on standard error, less Qt's own notes.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("QStandardPaths", 0) != 0) out.push_back(line);
    return out;
}

class InterfaceLanguageTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string program;

    void SetUp() override {
        program = std::string(VEKTRIN_BINARY_DIR) + "/vektrin";
        if (access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "vektrin was not built";
        mkdir(dir.file("tables").c_str(), 0755);
        test::writeFile(dir.file("aliases.ini"), "[Control]\npath=" + dir.file("tables") + "\n");
    }

    // Runs the program; returns its exit status and what it wrote on standard error.
    int run(const std::vector<std::string>& args, bool withAlias, std::string& err) {
        std::vector<std::string> env = {"VEKTRIN_ALIASES=" +
                                            dir.file(withAlias ? "aliases.ini" : "missing.ini"),
                                        "XDG_CONFIG_HOME=" + dir.file("config"),
                                        "XDG_CONFIG_DIRS=" + dir.file("none"),
                                        "HOME=" + dir.path(),
                                        "LC_ALL=C.UTF-8",
                                        "XDG_RUNTIME_DIR=" + dir.path()};
        const pid_t pid = test::startProgram(program, args, std::move(env),
                                             {"", "", dir.file("stderr.txt"), dir.path()});
        int status = 0;
        waitpid(pid, &status, 0);
        err = test::readFile(dir.file("stderr.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // The program's message without an alias, where the scheduler stops before any table.
    std::vector<std::string> messageAtStart() {
        std::string err;
        EXPECT_EQ(run({}, false, err), 2);
        // Headless, the message is followed by where the alias was looked for.
        std::vector<std::string> got = lines(err);
        const std::string lookedIn = "vektrin: The alias Control was looked for in " +
                                     dir.file("missing.ini") + "; \"vektrinctl init\"";
        EXPECT_TRUE(!got.empty() && got.back().starts_with(lookedIn)) << err;
        if (!got.empty()) got.pop_back();
        return got;
    }

    // A copy of the program installed under dir/prefix, with what stands where its translation
    // is installed.
    void installCopy(const std::function<void(const std::string& qm)>& translation) {
        namespace fs = std::filesystem;
        fs::create_directories(dir.file("prefix/bin"));
        fs::create_directories(dir.file("prefix/share/vektrin/translations"));
        fs::copy_file(program, dir.file("prefix/bin/vektrin"));
        program = dir.file("prefix/bin/vektrin");
        translation(dir.file("prefix/share/vektrin/translations/vektrin_ru.qm"));
    }

    void record(const std::string& value) {
        std::filesystem::create_directories(dir.file("config/vektrin"));
        test::writeFile(dir.file("config/vektrin/settings.ini"),
                        "[Software\\Borland\\Locales]\n" + program + "=" + value + "\n");
    }
};

// The switch as the operator uses it, and values written by hand.
TEST_F(InterfaceLanguageTest, TheRecordedChoiceSelectsTheLanguageAtTheNextStart) {
    struct Case {
        std::vector<std::string> switchArgs; // run with an alias to record the choice
        const char* handWritten;             // or this value written into settings.ini
        const std::string& expected;
    };
    const Case cases[] = {
        {{}, nullptr, English},      {{"RUS"}, nullptr, Russian},
        {{"rus"}, nullptr, Russian}, {{"RUS", "ENG"}, nullptr, Russian},
        {{"ENG"}, nullptr, English}, {{"Deutsch"}, nullptr, English},
        {{}, "RUS", Russian},        {{}, "", English},
        {{}, "Russian", English},    {{}, "rus", English},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir.file("config"));
        if (!c.switchArgs.empty()) {
            std::string err;
            EXPECT_EQ(run(c.switchArgs, true, err), 0) << err;
        }
        if (c.handWritten) record(c.handWritten);
        EXPECT_EQ(messageAtStart(), std::vector<std::string>{c.expected})
            << (c.switchArgs.empty() ? std::string("value ") + c.handWritten
                                     : "vektrin " + c.switchArgs.front());
    }
}

// An installed translation is used in place of the built-in one; one that cannot be read leaves
// the interface English and says why, in one line.
TEST_F(InterfaceLanguageTest, AnUnusableTranslationFileLeavesTheInterfaceEnglish) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> put;
        const std::string& expected;
        const char* why; // nullptr: no line besides the message
    };
    const std::string built = std::string(VEKTRIN_BINARY_DIR) + "/vektrin_ru.qm";
    const Case cases[] = {
        {"none installed", [](const std::string&) {}, Russian, nullptr},
        {"the installed one", [&](const std::string& qm) { std::filesystem::copy_file(built, qm); },
         Russian, nullptr},
        {"not a translation", [](const std::string& qm) { test::writeFile(qm, "<TS/>\n"); },
         English, "not a translation file"},
        {"empty", [](const std::string& qm) { test::writeFile(qm, ""); }, English,
         "not a translation file"},
        {"a directory", [](const std::string& qm) { mkdir(qm.c_str(), 0755); }, English,
         "directory"},
        {"a broken link", [](const std::string& qm) { symlink("/nonexistent.qm", qm.c_str()); },
         English, "no such file"},
    };
    const std::string original = program;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.file("prefix"));
        program = original;
        installCopy(c.put);
        record("RUS");
        const std::vector<std::string> got = messageAtStart();
        ASSERT_EQ(got.size(), c.why ? 2u : 1u) << ::testing::PrintToString(got);
        EXPECT_EQ(got.back(), c.expected);
        if (c.why) {
            EXPECT_NE(got.front().find("vektrin: Cannot load the Russian translation " +
                                       dir.file("prefix/share/vektrin/translations/vektrin_ru.qm")),
                      std::string::npos)
                << got.front();
            EXPECT_NE(got.front().find(c.why), std::string::npos) << got.front();
            EXPECT_NE(got.front().find("the interface stays in English"), std::string::npos);
        }
    }
}

// A settings file that cannot be read is no choice: English, and the reason on standard error.
TEST_F(InterfaceLanguageTest, AnUnreadableSettingsFileLeavesTheInterfaceEnglish) {
    std::filesystem::create_directories(dir.file("config/vektrin/settings.ini"));
    const std::vector<std::string> got = messageAtStart();
    ASSERT_EQ(got.size(), 2u) << ::testing::PrintToString(got);
    EXPECT_NE(got.front().find(dir.file("config/vektrin/settings.ini")), std::string::npos);
    EXPECT_NE(got.front().find("the interface stays in English"), std::string::npos);
    EXPECT_EQ(got.back(), English);
}

} // namespace
} // namespace vektrin
