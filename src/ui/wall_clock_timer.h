#pragma once
// The scheduling timer on the wall clock: fires when the real time reaches its moment, so the pass
// of a minute runs at its second 1 after a resume too, not after the awake time a relative timer
// still owed. A change of the clock that passes the moment (a step forward, a resume) fires it at
// once; one before it arms it again, for second 1 of the next minute at the latest. QtCore alone.

#include "platform/wall_timer.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace vektrin {

class WallClockTimer final : public QObject {
  public:
    explicit WallClockTimer(std::function<void()> fire);
    ~WallClockTimer() override;

    // Fires once at utcMs; where the kernel has no such timer, after fallbackDelayMs.
    void start(std::int64_t utcMs, int fallbackDelayMs);
    void stop();
    bool isActive() const;

  private:
    void ready();

    std::function<void()> fire_;
    WallTimer timer_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer fallback_;
    std::int64_t target_ = 0;
    bool armed_ = false;
};

} // namespace vektrin
