// The headless scheduler, however it is asked for: it never maps the widgets' libraries, and it
// is what it was with them: commanded through its socket, launching tasks, ending on SIGTERM.

#include "app/control_world.h"

#include <gtest/gtest.h>

namespace vektrin {
namespace {

using test::ControlWorld;

TEST(Headless, NoWidgetsHoweverItIsAskedFor) {
    const struct {
        const char* why;
        std::vector<std::string> args, env;
    } cases[] = {
        {"no display", {}, {"QT_QPA_PLATFORM="}},
        {"--headless on a display", {"--headless"}, {"QT_QPA_PLATFORM=", "DISPLAY=:99"}},
        {"-platform offscreen", {"-platform", "offscreen"}, {"QT_QPA_PLATFORM=", "DISPLAY=:99"}},
        {"QT_QPA_PLATFORM=offscreen", {}, {"WAYLAND_DISPLAY=wayland-99"}},
        // As a service manager may start it: Qt's own complaints must not reach the journal.
        {"no runtime directory", {}, {"XDG_RUNTIME_DIR=", "QT_QPA_PLATFORM="}},
    };
    for (const auto& c : cases) {
        ControlWorld world;
        ASSERT_EQ(world.ctl({"add", "t", "--command", "true", "--yearly", "--from", "2001-01-01"})
                      .exitCode,
                  0);
        world.start(0, c.args, c.env);
        const std::string maps =
            test::readFile("/proc/" + std::to_string(world.vektrinPid()) + "/maps");
        EXPECT_NE(maps.find("libQt6Core"), std::string::npos) << c.why;
        EXPECT_EQ(maps.find("libQt6Gui"), std::string::npos) << c.why;
        EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos) << c.why;
        EXPECT_EQ(world.ctl({"run", "t"}, {}, c.env).exitCode, 0) << c.why;
        EXPECT_TRUE(world.waitForLog("Task <t> is completed.")) << c.why << world.log();
        EXPECT_EQ(world.stop(), 0) << c.why;
        EXPECT_NE(world.log().find("The Vektrin program completed ..."), std::string::npos);
        EXPECT_EQ(test::readFile(world.dir.file("vektrin.err")), "") << c.why;
    }
}

} // namespace
} // namespace vektrin
