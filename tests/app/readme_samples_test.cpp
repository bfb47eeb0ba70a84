// The README's checked samples as a reader runs them: each "$ " line by bash, with the real
// vektrinctl first on PATH, on a fresh account of its own (home /home/you); what they print,
// command lines included, is what the README shows.

#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sstream>

namespace vektrin {
namespace {

TEST(ReadmeSamples, PrintWhatTheProgramPrints) {
    std::istringstream readme(test::readFile(VEKTRIN_SOURCE_DIR "/README.md"));
    int samples = 0;
    for (std::string line; std::getline(readme, line);) {
        if (!line.starts_with("<!-- checked sample")) continue;
        std::string script = "cd && exec 2>&1\n", shown;
        std::getline(readme, line); // the opening fence
        while (std::getline(readme, line) && line != "```") {
            shown += line + "\n";
            if (line.starts_with("$ "))
                script += "cat <<'EOF'\n" + line + "\nEOF\n" + line.substr(2) + "\n";
        }
        test::TempDir home;
        ++samples;
        std::string printed =
            test::runProgram("/bin/bash", {"-c", script},
                             {"HOME=" + home.path(), "PATH=" VEKTRIN_BINARY_DIR ":/usr/bin:/bin",
                              "LC_ALL=C.UTF-8", "TZ=UTC"})
                .out;
        for (std::size_t at; (at = printed.find(home.path())) != std::string::npos;)
            printed.replace(at, home.path().size(), "/home/you");
        EXPECT_EQ(printed, shown) << "checked sample " << samples << " of README.md";
    }
    EXPECT_GT(samples, 0);
}

} // namespace
} // namespace vektrin
