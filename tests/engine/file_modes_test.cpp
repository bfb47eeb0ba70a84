// The modes of the files the scheduler creates, and of those it finds, under an open umask.

#include "support/engine_fixture.h"

#include <sys/stat.h>

namespace vektrin {
namespace {

using FileModesTest = test::EngineTest;

TEST_F(FileModesTest, NewFilesAreTheOwnersAloneAndFoundOnesKeepTheirModes) {
    const mode_t umaskWas = ::umask(022);
    const struct {
        int found; // the mode of an empty log and resource file there before the start; 0: none
        std::vector<std::pair<std::string, int>> want; // in the tables' directory, or the log
    } rows[] = {{0,
                 {{"Vektrin.db", 0600},
                  {"SYSEXCPT.DB", 0600},
                  {"Vektrin.db-journal", 0600},
                  {"Vektrin.log", 0600}}},
                {0644, {{"VKResrcs.db", 0644}, {"Vektrin.log", 0644}, {"Vektrin.db", 0600}}}};
    for (const auto& row : rows) {
        const auto path = [&](const std::string& f) {
            return f == "Vektrin.log" ? log() : tables() + "/" + f;
        };
        for (const char* f : {"Vektrin.log", "Vektrin.db", "VKResrcs.db", "SYSEXCPT.DB"}) {
            ::unlink(path(f).c_str());
            if (row.found && f != std::string("Vektrin.db")) {
                test::writeFile(path(f), "");
                ::chmod(path(f).c_str(), static_cast<mode_t>(row.found));
            }
        }
        start();
        Transaction change(dm().database()); // SQLite's journal is there while a change is written
        addTask("journalled");
        ::umask(077); // the log cleared keeps its mode
        scheduler->ProtocolClearing(1, clock.now());
        for (const auto& [file, mode] : row.want) {
            struct stat st {};
            EXPECT_EQ(::stat(path(file).c_str(), &st) == 0 ? st.st_mode & 07777 : 0u,
                      unsigned(mode))
                << file << " found " << row.found;
        }
        ::umask(022);
    }
    ::umask(umaskWas);
}

} // namespace
} // namespace vektrin
