#include "platform/wall_timer.h"

#include <cerrno>
#include <ctime>
#include <sys/timerfd.h>

namespace vektrin {

WallTimer::WallTimer() : fd_(timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC)) {}

bool WallTimer::arm(std::int64_t utcMs) {
    itimerspec moment{};
    moment.it_value.tv_sec = static_cast<time_t>(utcMs / 1000);
    moment.it_value.tv_nsec = static_cast<long>(utcMs % 1000) * 1000000;
    // An absolute time of the real-time clock: a step or a resume makes the descriptor readable
    // with ECANCELED, so the caller learns of it at once and arms again.
    return timerfd_settime(fd_.get(), TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &moment,
                           nullptr) == 0;
}

void WallTimer::disarm() {
    const itimerspec none{};
    timerfd_settime(fd_.get(), 0, &none, nullptr);
}

WallTimer::Event WallTimer::take() {
    std::uint64_t expirations = 0;
    const ssize_t n = ::read(fd_.get(), &expirations, sizeof expirations);
    if (n == sizeof expirations) return Event::Expired;
    return n < 0 && errno == ECANCELED ? Event::ClockChanged : Event::None;
}

std::int64_t wallClockMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return std::int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

} // namespace vektrin
