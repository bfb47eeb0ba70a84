// The runtime directory of the control socket is used only when nobody else can reach into it;
// both programs find the same socket for one table directory however it is written.

#include "platform/places.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

// Sets a variable for one test and puts back what was there.
class RuntimeVariable {
  public:
    explicit RuntimeVariable(const std::string& value) {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) old_ = old;
        setenv("XDG_RUNTIME_DIR", value.c_str(), 1);
    }
    ~RuntimeVariable() {
        if (old_)
            setenv("XDG_RUNTIME_DIR", old_->c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }

  private:
    std::optional<std::string> old_;
};

std::string refusal(const std::string& base) {
    RuntimeVariable v(base);
    try {
        places::runtimeDirectory(true);
    } catch (const places::PlaceError& e) {
        return e.what();
    }
    return {};
}

TEST(Places, TheRuntimeDirectoryIsRefusedUnlessItIsOursAlone) {
    test::TempDir dir;
    const std::string runtime = dir.path() + "/vektrin";
    {
        RuntimeVariable v(dir.path());
        EXPECT_EQ(places::runtimeDirectory(false), runtime); // missing: nothing made
        EXPECT_EQ(access(runtime.c_str(), F_OK), -1);
        EXPECT_EQ(places::runtimeDirectory(true), runtime);
        struct stat st {};
        ASSERT_EQ(stat(runtime.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);
    }
    chmod(runtime.c_str(), 0755);
    EXPECT_EQ(refusal(dir.path()), "Cannot use the directory " + runtime +
                                       " for the control socket: its mode is 0755, not 0700");
    rmdir(runtime.c_str());
    test::writeFile(runtime, "");
    EXPECT_NE(refusal(dir.path()).find("it is not a directory"), std::string::npos);
    unlink(runtime.c_str());
    if (geteuid() == 0) {
        if (const passwd* nobody = getpwnam("nobody")) {
            mkdir(runtime.c_str(), 0700);
            chown(runtime.c_str(), nobody->pw_uid, nobody->pw_gid);
            EXPECT_NE(
                refusal(dir.path()).find("it belongs to user " + std::to_string(nobody->pw_uid)),
                std::string::npos);
        }
    }
}

TEST(Places, OneKeyForOneTableDirectoryHoweverItIsWritten) {
    test::TempDir dir;
    mkdir(dir.file("tables").c_str(), 0755);
    symlink(dir.file("tables").c_str(), dir.file("link").c_str());
    const std::string key = places::schedulerKey(dir.file("tables"));
    EXPECT_EQ(key.size(), 12u);
    EXPECT_EQ(places::schedulerKey(dir.file("tables") + "/"), key);
    EXPECT_EQ(places::schedulerKey(dir.file("link")), key);
    EXPECT_EQ(places::schedulerKey(dir.path() + "/./tables"), key);
    EXPECT_NE(places::schedulerKey(dir.path()), key);
}

} // namespace
} // namespace vektrin
