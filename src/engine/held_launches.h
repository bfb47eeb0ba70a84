#pragma once
// The due launches that the scheduler held back for a reason of its own (not the operator's
// settings): the resources, no free slot, a pause of scheduling, a launch condition it cannot
// read. Kept beside the record of the passes so that `vektrinctl due --missed` lists each moment
// with its reason after the scheduler has gone.

#include "platform/date_time.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

struct HeldLaunch {
    std::int32_t appId = 0;
    std::int64_t minute = 0; // PassHistory::minuteOf the due moment
    std::string reason;      // one word: resources, no-slot, pause, unreadable-condition

    friend bool operator==(const HeldLaunch&, const HeldLaunch&) = default;
};

namespace held {
constexpr std::string_view Resources = "resources";
constexpr std::string_view NoSlot = "no-slot";
constexpr std::string_view Pause = "pause";
constexpr std::string_view UnreadableCondition = "unreadable-condition";
// The shared task list's server could not be asked whose the moment is.
constexpr std::string_view ServerAway = "server-away";
} // namespace held

class HeldLaunches {
  public:
    // file: where they are kept; empty keeps them in memory only.
    explicit HeldLaunches(std::string file = {});

    void add(std::int32_t appId, DateTime due, std::string_view reason);
    // Writes what was added since the last save, forgetting what is older than a month or beyond
    // the newest 10,000. What cannot be written is kept for the next save; its problem is the
    // answer (empty when written or nothing to write).
    std::string save();
    const std::vector<HeldLaunch>& all() const { return held_; }

    static std::string fileFor(const std::string& stateDirectory,
                               const std::string& tableDirectory);
    // What a file holds, oldest first; lines it cannot read are passed over.
    static std::vector<HeldLaunch> read(const std::string& file);

  private:
    std::string file_;
    std::vector<HeldLaunch> held_;
    bool changed_ = false;
};

} // namespace vektrin
