#include "ui/wall_clock_timer.h"

#include <QSocketNotifier>
#include <algorithm>

namespace vektrin {

WallClockTimer::WallClockTimer(std::function<void()> fire) : fire_(std::move(fire)) {
    fallback_.setSingleShot(true);
    fallback_.setTimerType(Qt::PreciseTimer);
    connect(&fallback_, &QTimer::timeout, this, [this] { fire_(); });
    if (!timer_.usable()) return;
    notifier_ = new QSocketNotifier(timer_.fd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { ready(); });
}

WallClockTimer::~WallClockTimer() = default;

void WallClockTimer::start(std::int64_t utcMs, int fallbackDelayMs) {
    if (!notifier_ || !timer_.arm(utcMs)) {
        fallback_.start(std::max(1, fallbackDelayMs));
        return;
    }
    target_ = utcMs;
    armed_ = true;
}

void WallClockTimer::stop() {
    fallback_.stop();
    if (armed_) timer_.disarm();
    armed_ = false;
}

bool WallClockTimer::isActive() const {
    return armed_ || fallback_.isActive();
}

void WallClockTimer::ready() {
    const WallTimer::Event event = timer_.take();
    if (!armed_ || event == WallTimer::Event::None) return;
    const std::int64_t now = wallClockMs();
    if (event == WallTimer::Event::ClockChanged && now < target_) {
        // Set back: second 1 of the next minute of the new time, not the moment of the old.
        const std::int64_t inMinute = now % 60000;
        target_ = std::min(target_, now - inMinute + (inMinute < 1000 ? 1000 : 61000));
        timer_.arm(target_);
        return;
    }
    armed_ = false;
    fire_();
}

} // namespace vektrin
