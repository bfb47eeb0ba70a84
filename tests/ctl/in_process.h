#pragma once
// vektrinctl run in the test's own process: the same command line as the program's, its standard
// output and error caught, with environment variables set for the call alone.

#include "ctl/command.h"
#include "support/run_program.h"
#include "support/scoped_env.h"

#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace vektrin::test {

// environment: NAME=VALUE each (TZ takes effect for the call).
inline ProgramOutcome runVektrinctl(const std::vector<std::string>& args,
                                    const std::vector<std::string>& environment = {"LC_ALL=C",
                                                                                   "TZ=UTC"}) {
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
        outcome.err = err.str();
    }
    tzset();
    return outcome;
}

} // namespace vektrin::test
