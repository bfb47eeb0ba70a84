#pragma once
// Runs one of our programs to its end with a given environment and collects what it printed.

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace vektrin::test {

struct ProgramOutcome {
    int exitCode = -1; // 128+N when a signal ended it
    std::string out;
    std::string err;
};

// Standard error without the "vektrinctl: " that begins each of its lines.
inline std::string withoutPrefix(const std::string& err) {
    std::string plain;
    for (std::size_t start = 0; start < err.size();) {
        std::size_t end = err.find('\n', start);
        end = end == std::string::npos ? err.size() : end + 1;
        std::string_view line(err.data() + start, end - start);
        if (line.starts_with("vektrinctl: ")) line.remove_prefix(12);
        plain += line;
        start = end;
    }
    return plain;
}

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

// Waits for a started program to end: its exit status, 128+N when a signal ended it, -1 for none.
int waitProgram(pid_t pid);

// Waits up to ten seconds for something another process does; false only means it never happened.
bool eventually(const std::function<bool()>& condition);

} // namespace vektrin::test
