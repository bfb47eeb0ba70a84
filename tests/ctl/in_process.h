#pragma once
// vektrinctl run in the test's own process: the same command line as the program's, its standard
// output and error caught, with environment variables set for the call alone.

#include "ctl/command.h"
#include "support/run_program.h"
#include "support/scoped_env.h"

#include <cstdio>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace vektrin::test {

// environment: NAME=VALUE each (TZ takes effect for the call). Standard error comes without the
// prefix of its lines unless `raw`.
inline ProgramOutcome runVektrinctl(const std::vector<std::string>& args,
                                    const std::vector<std::string>& environment = {"LC_ALL=C",
                                                                                   "TZ=UTC"},
                                    bool raw = false) {
    ProgramOutcome outcome;
    {
        ScopedEnv env;
        for (const std::string& variable : environment) {
            const auto eq = variable.find('=');
            env.set(variable.substr(0, eq), variable.substr(eq + 1));
        }
        tzset();
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

} // namespace vektrin::test
