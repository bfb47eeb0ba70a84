#include "platform/clock.h"
#include "platform/wall_timer.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>

namespace vektrin {
namespace {

// The zone file is replaced under a running process (a new /etc/localtime, updated rules): the
// next reading after rereadZone is in the new zone.
TEST(SystemClock, TakesUpAReplacedZoneFile) {
    test::TempDir dir;
    const std::string zone = dir.file("localtime");
    const auto install = [&](const char* name) {
        std::filesystem::copy_file(std::string("/usr/share/zoneinfo/") + name, zone + ".new");
        std::filesystem::rename(zone + ".new", zone);
    };
    install("Europe/Berlin");
    constexpr long long NoonUtc = 1767182400; // 2025-12-31 12:00 UTC
    SystemClock clock;
    {
        test::ScopedEnv tz("TZ", (":" + zone).c_str());
        clock.rereadZone();
        EXPECT_EQ(decodeTime(localDateTimeFromUnix(NoonUtc)).hour, 13);
        install("Asia/Tokyo");
        clock.rereadZone();
        EXPECT_EQ(decodeTime(localDateTimeFromUnix(NoonUtc)).hour, 21);
    }
    clock.rereadZone();
}

TEST(WallTimer, FiresAtAMomentOfTheRealTimeClock) {
    WallTimer timer;
    ASSERT_TRUE(timer.usable());
    ASSERT_TRUE(timer.arm(wallClockMs() + 20));
    pollfd p{timer.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    EXPECT_EQ(timer.take(), WallTimer::Event::Expired);
    EXPECT_EQ(timer.take(), WallTimer::Event::None);
}

} // namespace
} // namespace vektrin
