#include "platform/aliases.h"
#include "platform/config_paths.h"
#include "platform/ini_file.h"
#include "platform/settings_store.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vektrin {
namespace {

TEST(IniFileTest, SectionsNamesAndComments) {
    const auto ini =
        IniFile::parse("; comment\n[Control]\r\n path = /srv/tables \n# other\nbroken line\n"
                       "[Empty]\n[Control]\npath=/second\n[Other]\npath=\n");
    EXPECT_EQ(ini.value("Control", "path"), "/srv/tables"); // the first one wins
    EXPECT_TRUE(ini.hasSection("Empty"));
    EXPECT_EQ(ini.value("Empty", "path"), std::nullopt);
    EXPECT_EQ(ini.value("Other", "path"), "");
    EXPECT_EQ(ini.value("control", "PATH"), "/srv/tables"); // letter case does not matter
}

TEST(AliasesTest, LookupRules) {
    test::TempDir dir;
    mkdir(dir.file("sub").c_str(), 0755);
    test::writeFile(
        dir.file("sub/aliases.ini"),
        "[Control]\npath=tables/\n[Abs]\npath=/var/tables\n[NoPath]\nx=1\n[Blank]\npath=\n");
    const std::string file = dir.file("sub/aliases.ini");
    EXPECT_EQ(lookupAlias("Control", file), dir.file("sub/tables"));
    EXPECT_EQ(lookupAlias("Abs", file), "/var/tables");
    EXPECT_EQ(lookupAlias("NoPath", file), std::nullopt);
    EXPECT_EQ(lookupAlias("Blank", file), std::nullopt);
    EXPECT_EQ(lookupAlias("Missing", file), std::nullopt);
    EXPECT_EQ(lookupAlias("Control", dir.file("none.ini")), std::nullopt);
}

struct PlacesCase {
    const char* name;
    const char* configHome; // nullptr: unset; "{dir}" stands for a fresh directory
    const char* configDirs;
    std::vector<std::string> expected;
};

class ConfigPlaces : public ::testing::TestWithParam<PlacesCase> {};

TEST_P(ConfigPlaces, FollowTheBaseDirectoryRules) {
    test::TempDir dir;
    auto expand = [&](std::string text) {
        for (auto at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}"))
            text.replace(at, 5, dir.path());
        return text;
    };
    const PlacesCase& c = GetParam();
    test::ScopedEnv env;
    env.set("HOME", dir.file("home").c_str());
    env.set("XDG_CONFIG_HOME", c.configHome ? expand(c.configHome).c_str() : nullptr);
    env.set("XDG_CONFIG_DIRS", c.configDirs ? expand(c.configDirs).c_str() : nullptr);
    std::vector<std::string> expected;
    for (const auto& e : c.expected)
        expected.push_back(expand(e));
    EXPECT_EQ(configFileCandidates("aliases.ini"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, ConfigPlaces,
    ::testing::Values(
        PlacesCase{"Defaults",
                   nullptr,
                   nullptr,
                   {"{dir}/home/.config/vektrin/aliases.ini", "/etc/xdg/vektrin/aliases.ini"}},
        PlacesCase{"ConfigHome",
                   "{dir}/c/",
                   "",
                   {"{dir}/c/vektrin/aliases.ini", "/etc/xdg/vektrin/aliases.ini"}},
        PlacesCase{"RelativeConfigHomeIgnored",
                   "c",
                   nullptr,
                   {"{dir}/home/.config/vektrin/aliases.ini", "/etc/xdg/vektrin/aliases.ini"}},
        PlacesCase{"ConfigDirsInOrder",
                   nullptr,
                   "{dir}/a:relative::{dir}/b/:{dir}/a",
                   {"{dir}/home/.config/vektrin/aliases.ini", "{dir}/a/vektrin/aliases.ini",
                    "{dir}/b/vektrin/aliases.ini"}},
        PlacesCase{"RootAsConfigDir", "/", "/", {"/vektrin/aliases.ini"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AliasesTest, FileChoiceFollowsTheEnvironment) {
    test::TempDir dir;
    test::ScopedEnv env;
    env.set("VEKTRIN_ALIASES", dir.file("explicit.ini").c_str());
    env.set("XDG_CONFIG_HOME", dir.file("user").c_str());
    env.set("XDG_CONFIG_DIRS", (dir.file("a") + ":" + dir.file("b")).c_str());
    EXPECT_EQ(aliasesFilePath(), dir.file("explicit.ini")); // even when it does not exist
    env.set("VEKTRIN_ALIASES", nullptr);
    // None there: the user's own place, where one would write it.
    EXPECT_EQ(aliasesFilePath(), dir.file("user/vektrin/aliases.ini"));
    std::filesystem::create_directories(dir.file("b/vektrin"));
    test::writeFile(dir.file("b/vektrin/aliases.ini"), "[Control]\npath=/system\n");
    EXPECT_EQ(aliasesFilePath(), dir.file("b/vektrin/aliases.ini"));
    EXPECT_EQ(lookupAlias("Control"), "/system");
    // A directory in the user's place is what the operator meant: reading it says so.
    std::filesystem::create_directories(dir.file("user/vektrin/aliases.ini"));
    EXPECT_EQ(aliasesFilePath(), dir.file("user/vektrin/aliases.ini"));
    EXPECT_THROW(lookupAlias("Control"), ConfigFileError);
}

TEST(SettingsStoreTest, ReadsEveryPlaceAndWritesTheUsersOwn) {
    test::TempDir dir;
    test::ScopedEnv env;
    env.set("XDG_CONFIG_HOME", dir.file("user").c_str());
    env.set("XDG_CONFIG_DIRS", dir.file("system").c_str());
    std::filesystem::create_directories(dir.file("system/vektrin"));
    test::writeFile(dir.file("system/vektrin/settings.ini"),
                    "[Software\\Borland\\Locales]\n/usr/bin/vektrin=RUS\n/opt/v=RUS\n");
    SettingsStore store;
    EXPECT_EQ(store.path(), dir.file("user/vektrin/settings.ini"));
    EXPECT_EQ(store.read(LocalesKey, "/opt/v"), "RUS");
    ASSERT_TRUE(store.write(LocalesKey, "/usr/bin/vektrin", "")) << store.lastError().english();
    EXPECT_EQ(store.read(LocalesKey, "/usr/bin/vektrin"), ""); // the user's value first
    EXPECT_EQ(store.read(LocalesKey, "/opt/v"), "RUS");
    EXPECT_NE(test::readFile(dir.file("system/vektrin/settings.ini")).find("vektrin=RUS"),
              std::string::npos);
}

TEST(SettingsStoreTest, WritesKeepOtherValuesAndCreateTheDirectory) {
    test::TempDir dir;
    SettingsStore store(dir.file("deep/er/settings.ini"));
    ASSERT_TRUE(store.write(LocalesKey, "/usr/bin/vektrin", "RUS"));
    ASSERT_TRUE(store.write("Other\\Key", "name", "value"));
    ASSERT_TRUE(store.write(LocalesKey, "/usr/bin/vektrin", ""));
    ASSERT_TRUE(store.write(LocalesKey, "/opt/vektrin", "RUS"));
    EXPECT_EQ(store.read(LocalesKey, "/usr/bin/vektrin"), "");
    EXPECT_EQ(store.read(LocalesKey, "/opt/vektrin"), "RUS");
    EXPECT_EQ(store.read("Other\\Key", "name"), "value");
    EXPECT_EQ(store.read("Missing", "name"), std::nullopt);
    SettingsStore blocked(dir.file("file/settings.ini"));
    test::writeFile(dir.file("file"), "a file where a directory should be");
    EXPECT_FALSE(blocked.write(LocalesKey, "x", "RUS"));
}

// Shapes of configuration files as people write them, read through the real files.

struct AliasShape {
    const char* name;
    std::string content; // written to aliases.ini; "<dir>" makes a directory in its place
    std::optional<std::string> control; // the Control directory expected, relative to the file
    bool error = false;                 // the file is there but cannot be read
    std::string says{};                 // a part of the refusal beside the path
};

const std::string Bom = "\xEF\xBB\xBF";

class AliasShapes : public ::testing::TestWithParam<AliasShape> {};

TEST_P(AliasShapes, AreReadOrReportedWithThePath) {
    const AliasShape& c = GetParam();
    test::TempDir dir;
    const std::string file = dir.file("aliases.ini");
    if (c.content == "<dir>")
        mkdir(file.c_str(), 0755);
    else if (c.content == "<dangling>")
        ASSERT_EQ(symlink(dir.file("gone.ini").c_str(), file.c_str()), 0);
    else if (c.content != "<none>")
        test::writeFile(file, c.content);
    if (!c.error) {
        const auto expected = c.control ? std::optional(dir.file(*c.control)) : std::nullopt;
        EXPECT_EQ(lookupAlias("Control", file), expected);
        return;
    }
    try {
        lookupAlias("Control", file);
        ADD_FAILURE() << "no error for " << c.name;
    } catch (const std::exception& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find(file), std::string::npos) << what.substr(0, 300);
        EXPECT_NE(what.find(c.says), std::string::npos) << what.substr(0, 300);
        EXPECT_LT(what.size(), file.size() + 200) << c.name; // the file's content is not repeated
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, AliasShapes,
    ::testing::Values(
        AliasShape{"Plain", "[Control]\npath=tables\n", "tables"},
        AliasShape{"ByteOrderMark", Bom + "[Control]\npath=tables\n", "tables"},
        AliasShape{"ByteOrderMarkAndCrLf", Bom + "[Control]\r\npath=tables\r\n", "tables"},
        AliasShape{"SectionInSmallLetters", "[control]\npath=tables\n", "tables"},
        AliasShape{"MixedCaseSectionAndKey", "[CONTROL]\n  Path = tables \n", "tables"},
        AliasShape{"FirstOfTwoSpellingsWins", "[control]\npath=a\n[Control]\nPATH=b\n", "a"},
        AliasShape{"ByteOrderMarkOnlyOnce", Bom + Bom + "[Control]\npath=tables\n", std::nullopt},
        AliasShape{"OtherAliasOnly", "[Orlimb]\npath=/srv\n", std::nullopt},
        AliasShape{"EmptyFile", "", std::nullopt}, AliasShape{"NoFile", "<none>", std::nullopt},
        AliasShape{"DirectoryInItsPlace", "<dir>", std::nullopt, true},
        AliasShape{"DanglingLink", "<dangling>", std::nullopt, true},
        AliasShape{"LineOver64KiB", "[Control]\n\npath=/" + std::string(65536, 'x') + "\n",
                   std::nullopt, true, ": line 3 is longer than 64 KiB"}),
    [](const auto& info) { return std::string(info.param.name); });

// A file without read permission: the aliases file is reported with its path, and a settings
// file is never replaced by one that holds only the new value. Root reads every file, so as root
// the checks run in a child that has become an ordinary user.
TEST(AliasesTest, UnreadableFilesAreReportedAndNeverReplaced) {
    test::TempDir dir;
    const std::string aliases = dir.file("aliases.ini");
    const std::string settings = dir.file("settings.ini");
    test::writeFile(aliases, "[Control]\npath=/x\n");
    test::writeFile(settings, "[Other]\nkeep=me\n");
    chmod(aliases.c_str(), 0);
    chmod(settings.c_str(), 0);
    chmod(dir.path().c_str(), 0777);
    // 1: no error; 2: the message lacks the path or the reason; 4: the settings were written.
    auto check = [&] {
        int failures = 0;
        try {
            lookupAlias("Control", aliases);
            failures |= 1;
        } catch (const ConfigFileError& e) {
            const std::string what = e.what();
            if (what.find(aliases) == std::string::npos ||
                what.find("Permission denied") == std::string::npos)
                failures |= 2;
        }
        SettingsStore store(settings);
        if (store.write(LocalesKey, "/usr/bin/vektrin", "RUS") ||
            store.lastError().english().find(settings) == std::string::npos)
            failures |= 4;
        return failures;
    };
    if (geteuid() != 0) {
        EXPECT_EQ(check(), 0);
    } else {
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) _exit(setgid(65534) != 0 || setuid(65534) != 0 ? 10 : check());
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not become an ordinary user";
    }
    chmod(settings.c_str(), 0600);
    EXPECT_EQ(test::readFile(settings), "[Other]\nkeep=me\n");
}

// The language choice is written into the file people keep: nothing else of it changes.
struct SettingsShape {
    const char* name;
    std::optional<std::string> before; // nullopt: no file
    std::string after;
};

class SettingsShapes : public ::testing::TestWithParam<SettingsShape> {};

TEST_P(SettingsShapes, KeepEverythingButTheValue) {
    const SettingsShape& c = GetParam();
    test::TempDir dir;
    const std::string file = dir.file("settings.ini");
    if (c.before) test::writeFile(file, *c.before);
    SettingsStore store(file);
    ASSERT_TRUE(store.write(LocalesKey, "/usr/bin/vektrin", "RUS"));
    EXPECT_EQ(test::readFile(file), c.after);
    EXPECT_EQ(store.read(LocalesKey, "/usr/bin/vektrin"), "RUS");
    ASSERT_TRUE(store.write(LocalesKey, "/usr/bin/vektrin", "RUS")); // the same again
    EXPECT_EQ(test::readFile(file), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsShapes,
    ::testing::Values(
        SettingsShape{"NoFile", std::nullopt,
                      "[Software\\Borland\\Locales]\n/usr/bin/vektrin=RUS\n"},
        SettingsShape{"ValueReplacedInPlace",
                      Bom + "; mine\r\n[Other]\r\nkeep=me\r\n\r\n[software\\borland\\locales]\r\n"
                            "/USR/BIN/VEKTRIN = \r\n/opt/x=RUS\r\n",
                      Bom + "; mine\r\n[Other]\r\nkeep=me\r\n\r\n[software\\borland\\locales]\r\n"
                            "/USR/BIN/VEKTRIN = RUS\r\n/opt/x=RUS\r\n"},
        SettingsShape{"NameAddedAfterTheSectionsLastValue",
                      "[Software\\Borland\\Locales]\n/opt/x=\n\n; next\n[Other]\nkeep=me\n",
                      "[Software\\Borland\\Locales]\n/opt/x=\n/usr/bin/vektrin=RUS\n\n; next\n"
                      "[Other]\nkeep=me\n"},
        SettingsShape{"SectionAddedAtTheEnd", Bom + "[Other]\r\nkeep=me",
                      Bom + "[Other]\r\nkeep=me\r\n\r\n[Software\\Borland\\Locales]\r\n"
                            "/usr/bin/vektrin=RUS\r\n"},
        SettingsShape{"ValuesBeforeAnySectionKept", "top=1\n[Other]\nkeep=me\n",
                      "top=1\n[Other]\nkeep=me\n\n[Software\\Borland\\Locales]\n"
                      "/usr/bin/vektrin=RUS\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// What stands at the settings path stays what it was: a link stays a link to the file it names, a
// file keeps its permissions, and what cannot be read is never replaced by a file of one value.
TEST(SettingsStoreTest, WritingKeepsWhatStandsAtThePath) {
    struct Shape {
        const char* name;
        std::function<void(const test::TempDir&)> make;
        bool written;
        std::function<void(const test::TempDir&)> check;
    } shapes[] = {
        {"directory", [](auto& d) { mkdir(d.file("settings.ini").c_str(), 0755); }, false,
         [](auto& d) { EXPECT_TRUE(std::filesystem::is_directory(d.file("settings.ini"))); }},
        {"dangling link",
         [](auto& d) {
             symlink(d.file("dotfiles/settings.ini").c_str(), d.file("settings.ini").c_str());
         },
         false, [](auto& d) { EXPECT_TRUE(std::filesystem::is_symlink(d.file("settings.ini"))); }},
        {"link to a file",
         [](auto& d) {
             test::writeFile(d.file("real.ini"), "[Other]\nkeep=me\n");
             symlink("real.ini", d.file("settings.ini").c_str());
         },
         true,
         [](auto& d) {
             EXPECT_TRUE(std::filesystem::is_symlink(d.file("settings.ini")));
             EXPECT_NE(test::readFile(d.file("real.ini")).find("keep=me"), std::string::npos);
             EXPECT_NE(test::readFile(d.file("real.ini")).find("vektrin=RUS"), std::string::npos);
         }},
        {"private file",
         [](auto& d) {
             test::writeFile(d.file("settings.ini"), "");
             chmod(d.file("settings.ini").c_str(), 0600);
         },
         true,
         [](auto& d) {
             struct stat st {};
             stat(d.file("settings.ini").c_str(), &st);
             EXPECT_EQ(st.st_mode & 0777, 0600u);
         }},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        test::TempDir dir;
        shape.make(dir);
        SettingsStore store(dir.file("settings.ini"));
        EXPECT_EQ(store.write(LocalesKey, "/usr/bin/vektrin", "RUS"), shape.written);
        shape.check(dir);
    }
}

// A name or value the file could not give back as it was given changes nothing.
TEST(IniFileTest, SetRefusesWhatTheFileCouldNotKeep) {
    const std::string text = "[S]\nname=old\n";
    const struct {
        const char* section;
        const char* name;
        const char* value;
    } refused[] = {
        {"S", "a=b", "x"},     {"S", "", "x"},       {"S", ";name", "x"},
        {"S", "#name", "x"},   {"S", "[name", "x"},  {"S", " name", "x"},
        {"S", "name", "x\ny"}, {"S", "name", "x "},  {"S\n[T]", "name", "x"},
        {" S", "name", "x"},   {"S", "na\rme", "x"}, {"", "\xEF\xBB\xBFname", "x"},
    };
    for (const auto& r : refused) {
        IniFile ini = IniFile::parse(text);
        EXPECT_FALSE(ini.set(r.section, r.name, r.value)) << r.section << "/" << r.name;
        EXPECT_EQ(ini.serialise(), text);
    }
    // Nor does writing the value that is already there, however it is spaced.
    for (const char* same : {"[S]\nname= \t\n", "[S]\r\nNAME = old \r\n"}) {
        IniFile ini = IniFile::parse(same);
        EXPECT_TRUE(ini.set("s", "name", ini.value("S", "name").value_or("?")));
        EXPECT_EQ(ini.serialise(), same);
    }
    test::TempDir dir;
    SettingsStore store(dir.file("settings.ini"));
    EXPECT_FALSE(store.write(LocalesKey, "/opt/a=b/vektrin", "RUS"));
    EXPECT_NE(store.lastError().english().find(dir.file("settings.ini")), std::string::npos);
}

// Tens of thousands of sections are read in one sweep; the figures are in docs/performance.md.
TEST(IniFileTest, ManySectionsAreAllFound) {
    constexpr int Sections = 200000;
    std::string text;
    for (int i = 0; i < Sections; ++i)
        text += "[S" + std::to_string(i) + "]\npath=/p" + std::to_string(i) + "\n";
    IniFile ini = IniFile::parse(text);
    for (int i : {0, Sections / 2, Sections - 1})
        EXPECT_EQ(ini.value("s" + std::to_string(i), "PATH"), "/p" + std::to_string(i));
    ini.set("S" + std::to_string(Sections - 1), "extra", "1");
    ini.set("New", "k", "v");
    const IniFile again = IniFile::parse(ini.serialise());
    EXPECT_EQ(again.value("s" + std::to_string(Sections - 1), "extra"), "1");
    EXPECT_EQ(again.value("new", "K"), "v");
    EXPECT_EQ(again.value("S7", "path"), "/p7");
}

} // namespace
} // namespace vektrin
