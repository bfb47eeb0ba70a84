// The modes of the files the scheduler creates and of those it finds, under an open umask.

#include "support/engine_fixture.h"

#include <sys/stat.h>

namespace vektrin {
namespace {

class FileModesTest : public test::EngineTest {
  protected:
    mode_t saved = ::umask(022);
    ~FileModesTest() override { ::umask(saved); }
};

int modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

TEST_F(FileModesTest, NewFilesAreTheOwnersAloneAndFoundOnesKeepTheirModes) {
    const struct {
        const char* file; // in the tables' directory, or the log
        int found;        // the mode it is made with before the start; 0: none there
        int want;
    } rows[] = {
        {"Vektrin.db", 0, 0600},         {"VKResrcs.db", 0, 0600},    {"SYSEXCPT.DB", 0, 0600},
        {"Vektrin.db-journal", 0, 0600}, {"Vektrin.log", 0, 0600},    {"Vektrin.log", 0644, 0644},
        {"VKResrcs.db", 0640, 0640},     {"Vektrin.log", 0604, 0604}, // after clearing
    };
    for (const auto& row : rows) {
        const std::string name = row.file;
        const std::string path = name == "Vektrin.log" ? log() : tables() + "/" + name;
        const bool clearing = row.found == 0604;
        ::unlink(log().c_str());
        for (const char* f : {"Vektrin.db", "VKResrcs.db", "SYSEXCPT.DB"})
            ::unlink((tables() + "/" + f).c_str());
        if (row.found) {
            test::writeFile(path, "");
            ::chmod(path.c_str(), static_cast<mode_t>(row.found));
        }
        start();
        int mode = modeOf(path);
        if (name.ends_with("-journal")) {
            // SQLite's journal exists while a change is being written.
            Transaction change(dm().database());
            addTask("journalled");
            mode = modeOf(path);
        }
        if (clearing) {
            ::umask(077);
            scheduler->ProtocolClearing(1, clock.now());
            ::umask(022);
            mode = modeOf(path);
        }
        EXPECT_EQ(mode, row.want) << name << " found " << std::oct << row.found;
        scheduler.reset();
    }
}

} // namespace
} // namespace vektrin
