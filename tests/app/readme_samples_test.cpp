// The README's checked samples as a reader runs them: each "$ " line by bash, with the real
// vektrinctl first on PATH, on a fresh account of its own; what they print is what the README says.

#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sstream>

namespace vektrin {
namespace {

const std::string Marker = "<!-- checked sample";
const std::string Home = "/home/you"; // the README's home directory

struct Sample {
    int line = 0;        // of the marker in the README
    std::string script;  // echoes each command line as the README shows it, then runs it
    std::string printed; // the block as it stands: command lines and what they print
};

std::string singleQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<Sample> checkedSamples() {
    std::istringstream readme(test::readFile(VEKTRIN_SOURCE_DIR "/README.md"));
    std::vector<Sample> samples;
    std::string line;
    for (int number = 1; std::getline(readme, line); ++number) {
        if (!line.starts_with(Marker)) continue;
        Sample s{number, "exec 2>&1\n", ""};
        std::getline(readme, line); // the opening fence
        for (++number; std::getline(readme, line) && line != "```"; ++number) {
            s.printed += line + "\n";
            if (line.starts_with("$ "))
                s.script += "printf '%s\\n' " + singleQuoted(line) + "\n" + line.substr(2) + "\n";
        }
        samples.push_back(std::move(s));
    }
    return samples;
}

TEST(ReadmeSamples, PrintWhatTheProgramPrints) {
    const std::vector<Sample> samples = checkedSamples();
    ASSERT_FALSE(samples.empty()) << "no \"" << Marker << "\" in README.md";
    for (const Sample& s : samples) {
        test::TempDir home;
        const test::ProgramOutcome o =
            test::runProgram("/bin/bash", {"-c", "cd && " + s.script},
                             {"HOME=" + home.path(), "PATH=" VEKTRIN_BINARY_DIR ":/usr/bin:/bin",
                              "LC_ALL=C.UTF-8", "TZ=UTC", "XDG_RUNTIME_DIR=" + home.path()});
        std::string printed = o.out;
        for (std::size_t at; (at = printed.find(home.path())) != std::string::npos;)
            printed.replace(at, home.path().size(), Home);
        EXPECT_EQ(printed, s.printed) << "the sample at README.md:" << s.line;
        EXPECT_EQ(o.exitCode, 0) << "the sample at README.md:" << s.line;
    }
}

} // namespace
} // namespace vektrin
