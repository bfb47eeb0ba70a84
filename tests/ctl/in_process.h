#pragma once
// vektrinctl run in the test's own process: the same command line as the program's, its standard
// output and error caught, with environment variables and standard input set for the call alone.

#include "ctl/command.h"
#include "store/data_ctrl.h"
#include "store/database.h"
#include "support/fake_messages.h"
#include "support/run_program.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace vektrin::test {

// environment: NAME=VALUE each, NAME alone unsets it (TZ takes effect for the call). Standard
// error comes without the prefix of its lines unless `raw`. input: what standard input gives,
// through descriptor 0 as the program reads it; none leaves the test's own.
inline ProgramOutcome
runVektrinctl(const std::vector<std::string>& args,
              const std::vector<std::string>& environment = {"LC_ALL=C", "TZ=UTC"},
              bool raw = false, const std::optional<std::string>& input = std::nullopt) {
    ProgramOutcome outcome;
    {
        ScopedEnv env;
        for (const std::string& variable : environment) {
            const auto eq = variable.find('=');
            if (eq == std::string::npos)
                env.set(variable, nullptr);
            else
                env.set(variable.substr(0, eq), variable.substr(eq + 1));
        }
        tzset();
        int savedIn = -1;
        if (input) {
            int p[2];
            EXPECT_EQ(pipe(p), 0);
            EXPECT_EQ(write(p[1], input->data(), input->size()),
                      static_cast<ssize_t>(input->size()));
            close(p[1]);
            savedIn = dup(STDIN_FILENO);
            dup2(p[0], STDIN_FILENO);
            close(p[0]);
        }
        std::ostringstream out, err;
        std::streambuf* oldOut = std::cout.rdbuf(out.rdbuf());
        std::streambuf* oldErr = std::cerr.rdbuf(err.rdbuf());
        try {
            outcome.exitCode = ctl::vektrinctl(args);
        } catch (...) {
            outcome.exitCode = -1;
        }
        std::cout.rdbuf(oldOut);
        std::cerr.rdbuf(oldErr);
        if (input) {
            dup2(savedIn, STDIN_FILENO);
            close(savedIn);
            clearerr(stdin);
            std::cin.clear();
        }
        outcome.out = out.str();
        outcome.err = raw ? err.str() : withoutPrefix(err.str());
    }
    tzset();
    return outcome;
}

// vektrinctl with its standard output on the descriptor fd as the program's main gives it (-1:
// descriptor 1 closed); standard error caught as it is.
inline ProgramOutcome runVektrinctlOnto(int fd, const std::vector<std::string>& args) {
    ProgramOutcome outcome;
    ScopedEnv env;
    env.set("LC_ALL", "C");
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    if (fd >= 0)
        dup2(fd, STDOUT_FILENO);
    else
        close(STDOUT_FILENO);
    std::ostringstream err;
    std::streambuf* oldErr = std::cerr.rdbuf(err.rdbuf());
    {
        ctl::DescriptorOutput out(STDOUT_FILENO);
        std::streambuf* oldOut = std::cout.rdbuf(&out);
        outcome.exitCode = ctl::vektrinctl(args);
        std::cout.rdbuf(oldOut);
    }
    std::cerr.rdbuf(oldErr);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    outcome.err = err.str();
    return outcome;
}

// The words of a call, for the messages of a failed expectation.
inline std::string joined(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& a : args)
        text += (text.empty() ? "" : " ") + a;
    return text;
}

// What one call must give: its exit status, and its standard output and error, each whole or,
// where marked, a part of it.
struct CtlCase {
    std::vector<std::string> args;
    int exitCode = 0;
    std::string out{};
    std::string err{};
    bool outPart = false;
    bool errPart = false;
};

inline void expectOutcome(const CtlCase& c, const ProgramOutcome& o) {
    const std::string label = joined(c.args);
    EXPECT_EQ(o.exitCode, c.exitCode) << label << "\n" << o.err;
    if (c.outPart)
        EXPECT_NE(o.out.find(c.out), std::string::npos) << label << "\n" << o.out;
    else
        EXPECT_EQ(o.out, c.out) << label;
    if (c.errPart)
        EXPECT_NE(o.err.find(c.err), std::string::npos) << label << "\n" << o.err;
    else
        EXPECT_EQ(o.err, c.err) << label;
}

inline constexpr const char* TableFiles[] = {"Vektrin.db", "VKResrcs.db", "SYSEXCPT.DB"};

// A table directory reached through its own aliases file beside the tables, with configuration,
// state and runtime places of its own, so that nothing of the user running the tests is read.
class AliasDir {
  public:
    AliasDir() { writeFile(aliases(), "[Control]\npath=" + dir.path() + "\n"); }

    TempDir dir;
    std::string path() const { return dir.path(); }
    std::string aliases() const { return dir.file("aliases.ini"); }
    std::string file(const std::string& name) const { return dir.file(name); }
    std::string state() const { return dir.file("state"); }

    // vektrinctl --aliases <ours> ARGS; `environment` comes on top of the places of this
    // directory, LC_ALL=C and TZ=UTC.
    ProgramOutcome ctl(std::vector<std::string> args,
                       const std::vector<std::string>& environment = {},
                       const std::optional<std::string>& input = std::nullopt) const {
        args.insert(args.begin(), {"--aliases", aliases()});
        std::vector<std::string> env = {"LC_ALL=C",
                                        "TZ=UTC",
                                        "XDG_CONFIG_HOME=" + dir.file("config"),
                                        "XDG_STATE_HOME=" + state(),
                                        "XDG_RUNTIME_DIR=" + dir.file("run"),
                                        "VISUAL"};
        env.insert(env.end(), environment.begin(), environment.end());
        return runVektrinctl(args, env, false, input);
    }

    // Records written through the data module as the editors write them, in one commit.
    void write(const std::function<void(TDataCtrl&)>& records) const {
        RecordingMessages messages;
        TDataCtrl dm(path(), messages);
        Transaction written(dm.database());
        records(dm);
        written.commit();
    }

    // A change to the task file that no command makes, as another program would make it.
    void sql(const std::string& statement) const {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file("Vektrin.db").c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

    // The table files there are, byte for byte.
    std::map<std::string, std::string> contents() const {
        std::map<std::string, std::string> files;
        for (const char* name : TableFiles)
            if (access(file(name).c_str(), F_OK) == 0) files[name] = readFile(file(name));
        return files;
    }
};

} // namespace vektrin::test
