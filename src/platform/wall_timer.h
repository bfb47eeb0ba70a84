#pragma once
// A one-shot timer on the wall clock itself: it fires when the system's real time reaches a
// moment, after a resume from sleep as well, and reports a change of that clock (a step, a
// resume). Its descriptor goes into an event loop.

#include "platform/unique_fd.h"

#include <cstdint>

namespace vektrin {

class WallTimer {
  public:
    WallTimer();
    // Without a descriptor (an old kernel) the caller times by itself.
    bool usable() const { return static_cast<bool>(fd_); }
    int fd() const { return fd_.get(); }

    // Fires once the wall clock reads utcMs (milliseconds since the epoch, UTC).
    bool arm(std::int64_t utcMs);
    void disarm();

    enum class Event { None, Expired, ClockChanged };
    // What made the descriptor readable; reading clears it.
    Event take();

  private:
    UniqueFd fd_;
};

// The real time now, in milliseconds since the epoch.
std::int64_t wallClockMs();

} // namespace vektrin
