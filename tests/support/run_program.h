#pragma once
// Runs one of our programs to its end with a given environment and collects what it printed.

#include <string>
#include <vector>

namespace vektrin::test {

struct ProgramOutcome {
    int exitCode = -1; // 128+N when a signal ended it
    std::string out;
    std::string err;
};

ProgramOutcome runProgram(const std::string& binary, const std::vector<std::string>& args,
                          std::vector<std::string> environment);

} // namespace vektrin::test
