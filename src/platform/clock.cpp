#include "platform/clock.h"

#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>

namespace vektrin {

DateTime localDateTimeFromUnix(long long seconds, long nanoseconds) {
    time_t t = static_cast<time_t>(seconds);
    struct tm tmv {};
    localtime_r(&t, &tmv);
    auto date = tryEncodeDate(tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday);
    int sec = tmv.tm_sec > 59 ? 59 : tmv.tm_sec; // a leap second folds into :59
    auto time =
        tryEncodeTime(tmv.tm_hour, tmv.tm_min, sec, static_cast<int>(nanoseconds / 1000000));
    return date.value_or(0) + time.value_or(0);
}

DateTime SystemClock::now() const {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return localDateTimeFromUnix(ts.tv_sec, ts.tv_nsec);
}

std::int64_t SystemClock::utcMs() const {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return std::int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

std::optional<std::int64_t> SystemClock::elapsedMs() const {
    // The boot clock goes on while the machine sleeps, so a resume is not taken for a step.
    struct timespec ts {};
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return std::nullopt;
    return std::int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

void SystemClock::rereadZone() {
    // localtime_r keeps the zone it read first. tzset reads /etc/localtime again when the file
    // changed, but a zone named by TZ only when TZ itself changes: a changed file of that zone (new
    // rules) is taken up by a TZ changed for a moment.
    if (const char* tz = std::getenv("TZ"); tz && *tz) {
        const std::string name = tz[0] == ':' ? tz + 1 : tz;
        const char* dir = std::getenv("TZDIR");
        const std::string path = name.starts_with('/')
                                     ? name
                                     : std::string(dir ? dir : "/usr/share/zoneinfo") + "/" + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            const ZoneFile file{st.st_dev, st.st_ino, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
            if (zoneFile_ && !(*zoneFile_ == file)) {
                const std::string keep = tz;
                setenv("TZ", "UTC0", 1);
                tzset();
                setenv("TZ", keep.c_str(), 1);
            }
            zoneFile_ = file;
        }
    }
    tzset();
}

} // namespace vektrin
