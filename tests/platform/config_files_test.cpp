#include "platform/aliases.h"
#include "platform/ini_file.h"
#include "platform/settings_store.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
    EXPECT_EQ(ini.value("control", "path"), std::nullopt);
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

TEST(AliasesTest, FileChoiceFollowsTheEnvironment) {
    test::TempDir dir;
    const char* oldAliases = std::getenv("VEKTRIN_ALIASES");
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    setenv("VEKTRIN_ALIASES", dir.file("explicit.ini").c_str(), 1);
    EXPECT_EQ(aliasesFilePath(), dir.file("explicit.ini")); // even when it does not exist
    unsetenv("VEKTRIN_ALIASES");
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(aliasesFilePath(), "/etc/xdg/vektrin/aliases.ini");
    mkdir(dir.file("vektrin").c_str(), 0755);
    test::writeFile(dir.file("vektrin/aliases.ini"), "[Control]\npath=/x\n");
    EXPECT_EQ(aliasesFilePath(), dir.file("vektrin/aliases.ini"));
    if (oldAliases) setenv("VEKTRIN_ALIASES", oldAliases, 1);
    if (oldXdg)
        setenv("XDG_CONFIG_HOME", oldXdg, 1);
    else
        unsetenv("XDG_CONFIG_HOME");
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

} // namespace
} // namespace vektrin
