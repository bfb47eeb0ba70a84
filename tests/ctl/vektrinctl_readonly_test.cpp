// The commands that only read (tasks, next, due, export, protocol) on table directories and files
// without write permission: they work, create no table file, and change no byte; import is
// refused by name. Root passes every permission check, so when the tests run as root vektrinctl
// also runs as the user nobody (the real program, through setpriv), where the permissions hold.

#include "ctl/in_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <sys/stat.h>

namespace vektrin {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

const char* const Setpriv = "/usr/bin/setpriv";

// Who runs vektrinctl: the user running the tests, or nobody in their stead when that is root.
enum class Runner { Self, Nobody };
void PrintTo(Runner r, std::ostream* os) {
    *os << (r == Runner::Self ? "as the test's user" : "as nobody");
}

test::ProgramOutcome runAs(Runner runner, const std::vector<std::string>& args) {
    // The environment of the program started as nobody, in the process too.
    if (runner == Runner::Self)
        return test::runVektrinctl(args, {"LC_ALL=C", "TZ=UTC", "HOME", "XDG_CONFIG_HOME",
                                          "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "VEKTRIN_ALIASES"});
    std::vector<std::string> all = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                    std::string(VEKTRIN_BINARY_DIR) + "/vektrinctl"};
    all.insert(all.end(), args.begin(), args.end());
    test::ProgramOutcome o = test::runProgram(Setpriv, all, {"LC_ALL=C", "TZ=UTC"});
    o.err = test::withoutPrefix(o.err);
    return o;
}

struct Shape {
    std::string label;
    std::vector<std::string> files; // the table files present, all with their records
    mode_t directoryMode;
    mode_t fileMode;
};
void PrintTo(const Shape& s, std::ostream* os) {
    *os << s.label;
}

class ReadOnlyTables : public ::testing::TestWithParam<std::tuple<Shape, Runner>> {
  protected:
    void SetUp() override {
        const auto& [shape, runner] = GetParam();
        if (runner == Runner::Nobody) {
            if (geteuid() != 0) GTEST_SKIP() << "runs as nobody only when the tests run as root";
            if (access(Setpriv, X_OK) != 0) GTEST_SKIP() << "no " << Setpriv << " to become nobody";
        }
        // The test directory (mode 0700 from mkdtemp) is opened for the other user to read.
        chmod(root_.path().c_str(), 0755);
        tables_ = root_.file("tables");
        fs::create_directory(tables_);
        writeFile(aliases(), "[Control]\npath=" + tables_ + "\n");
        {
            test::RecordingMessages messages;
            TDataCtrl dm(tables_, messages);
            dm.Table1.append();
            dm.Table1AppName.setString("nightly");
            dm.Table1Interval.setInteger(2);
            dm.Table1StartTime.setDateTime(*tryEncodeTime(22, 0, 0));
            dm.Table1EndTime.setDateTime(*tryEncodeTime(22, 0, 0));
            dm.Table1.post();
            dm.Table2.append();
            dm.Table2ResourceNo.setInteger(3);
            dm.Table2.post();
        }
        for (const char* name : test::TableFiles)
            if (std::find(shape.files.begin(), shape.files.end(), name) == shape.files.end())
                fs::remove(tables_ + "/" + name);
        writeFile(log(), "03/07/24 10:00:00 Executes <nightly>.\r\n");
        for (const auto& entry : fs::directory_iterator(tables_))
            chmod(entry.path().c_str(), shape.fileMode);
        chmod(tables_.c_str(), shape.directoryMode);
        if (runner == Runner::Nobody &&
            test::runProgram(
                Setpriv,
                {"--reuid=65534", "--regid=65534", "--clear-groups", "/bin/cat", aliases()}, {})
                    .exitCode != 0)
            GTEST_SKIP() << "nobody cannot reach " << root_.path();
        before_ = contents();
    }
    void TearDown() override { chmod(tables_.c_str(), 0755); }

    std::string aliases() const { return root_.file("aliases.ini"); }
    std::string log() const { return tables_ + "/Vektrin.log"; }
    test::ProgramOutcome ctl(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--aliases", aliases(), "--at", "2024-03-07 09:05:04"});
        return runAs(std::get<1>(GetParam()), args);
    }
    // The table files there are and their bytes.
    std::map<std::string, std::string> contents() const {
        std::map<std::string, std::string> files;
        for (const char* name : test::TableFiles)
            if (fs::exists(tables_ + "/" + name)) files[name] = readFile(tables_ + "/" + name);
        return files;
    }
    bool hasTasks() const {
        const auto& files = std::get<0>(GetParam()).files;
        return std::find(files.begin(), files.end(), "Vektrin.db") != files.end();
    }

    TempDir root_;
    std::string tables_;
    std::map<std::string, std::string> before_;
};

TEST_P(ReadOnlyTables, TheReadingCommandsWorkAndWriteNothing) {
    const std::string task =
        "AppID\tAppName\tSchedule\tRunType\tStopped\tStatus\tLastChange\tNext\n" +
        std::string(hasTasks() ? "1\tnightly\t" : "");
    struct Command {
        std::vector<std::string> args;
        std::string outStart;
    } commands[] = {
        {{"tasks"}, task},
        {{"tasks", "--json"}, "["},
        {{"due"}, hasTasks() ? "1\tnightly\toutside-window\n" : ""},
        {{"export"}, "{\n  \"Format\": \"vektrin-tables\""},
        {{"protocol", "--log", log()}, "03/07/24 10:00:00 Executes <nightly>.\n"},
    };
    for (const Command& c : commands) {
        const auto o = ctl(c.args);
        EXPECT_EQ(o.exitCode, 0) << c.args[0] << ": " << o.err;
        EXPECT_EQ(o.err, "") << c.args[0];
        EXPECT_TRUE(o.out.starts_with(c.outStart)) << c.args[0] << ": " << o.out;
    }
    if (hasTasks()) {
        const auto o = ctl({"next", "nightly", "-n", "1"});
        EXPECT_EQ(o.exitCode, 0) << o.err;
        EXPECT_EQ(o.out, "2024-03-07 22:00\n");
    }
    const auto exported = nlohmann::json::parse(ctl({"export"}).out, nullptr, false);
    EXPECT_EQ(exported.value("Tasks", nlohmann::json()).size(), hasTasks() ? 1u : 0u);
    EXPECT_EQ(contents(), before_); // no byte changed, no table file made
}

TEST_P(ReadOnlyTables, ImportIsRefusedByName) {
    const auto& [shape, runner] = GetParam();
    // A read-only table file is refused even to root; a directory is not.
    if (runner == Runner::Self && geteuid() == 0 && shape.files.empty())
        GTEST_SKIP() << "root writes into a read-only directory";
    writeFile(root_.file("doc.json"),
              R"({"Format": "vektrin-tables", "Tasks": [{"AppName": "more"}]})");
    const auto o = ctl({"import", root_.file("doc.json")});
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.find(tables_), std::string::npos) << o.err;
    EXPECT_TRUE(o.err.ends_with("\nNothing was imported.\n")) << o.err;
    EXPECT_EQ(contents(), before_);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ReadOnlyTables,
    ::testing::Combine(
        ::testing::Values(
            Shape{"read-only directory and files",
                  {"Vektrin.db", "VKResrcs.db", "SYSEXCPT.DB"},
                  0555,
                  0444},
            Shape{"read-only directory with the task table only", {"Vektrin.db"}, 0555, 0444},
            Shape{"read-only directory without tables", {}, 0555, 0444},
            Shape{"read-only files in a writable directory",
                  {"Vektrin.db", "VKResrcs.db", "SYSEXCPT.DB"},
                  0777,
                  0444}),
        ::testing::Values(Runner::Self, Runner::Nobody)),
    [](const auto& info) {
        std::string name = std::get<0>(info.param).label;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name + (std::get<1>(info.param) == Runner::Self ? "_self" : "_nobody");
    });

} // namespace
} // namespace vektrin
