#pragma once
// Runs one of our programs to its end with a given environment and collects what it printed.

#include <string>
#include <sys/types.h>
#include <vector>

namespace vektrin::test {

struct ProgramOutcome {
    int exitCode = -1; // 128+N when a signal ended it
    std::string out;
    std::string err;
};

// Where a started program's standard streams go (files, created or emptied) and where it starts;
// an empty name leaves the stream, or the directory, the caller's.
struct ProgramPlaces {
    std::string in, out, err, directory;
};

// Starts the program without waiting for it: its PID, or -1 when it could not be started.
pid_t startProgram(const std::string& binary, const std::vector<std::string>& args,
                   std::vector<std::string> environment, const ProgramPlaces& places);

ProgramOutcome runProgram(const std::string& binary, const std::vector<std::string>& args,
                          std::vector<std::string> environment);

} // namespace vektrin::test
