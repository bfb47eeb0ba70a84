#pragma once
// What the scheduling passes have covered, so that a pass can tell what happened since the one
// before it: minutes that no pass covered (the scheduler was not running, the machine slept, the
// clock stepped over them), minutes the clock brings back that a pass has covered already, and a
// step of the wall clock. The moment of the last pass is kept in a file, so the gap across a
// restart or a power-off is known too.

#include "platform/date_time.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vektrin {

// [Schedule] CatchUpDays when the settings do not say: launches missed longer ago are not made up.
constexpr int DefaultCatchUpDays = 7;

class PassHistory {
  public:
    // file: where the last pass's minute is kept; empty keeps it in memory only.
    explicit PassHistory(std::string file = {});

    // A step of the wall clock between two passes, beyond what really passed.
    struct Step {
        DateTime from = 0; // what the clock would read without the step
        DateTime to = 0;   // what it reads
    };
    struct Pass {
        // Minutes strictly between these two (minute numbers, see minuteOf) had no pass.
        std::optional<std::pair<std::int64_t, std::int64_t>> gap;
        // The clock went back to a minute a pass has covered.
        bool repeatedMinute = false;
        // The clock went back into a gap whose launches catch-up tasks have made up already.
        bool madeUpMinute = false;
        // The runs of minutes of the gap that passes covered before the clock went back, or whose
        // launches catch-up tasks made up: nothing in them was missed.
        std::vector<std::pair<std::int64_t, std::int64_t>> coveredInGap;
        std::optional<Step> step;
    };

    // The pass of a minute begins; empty when this minute has had its pass (a timer that fired
    // early). now: local time; utcMs, elapsedMs: as the clock gives them.
    std::optional<Pass> begin(DateTime now, std::int64_t utcMs,
                              std::optional<std::int64_t> elapsedMs);
    // The minutes until the next pass are no gap: scheduling was paused on purpose (an editor, a
    // message box that held a pass).
    void excuse() { excused_ = true; }
    // The launches of catch-up tasks in the minutes first..last were made up: those minutes count
    // as covered for such tasks if the clock brings them back.
    void madeUp(std::int64_t first, std::int64_t last);
    // The gaps kept, oldest first: what the file holds after the minute.
    const std::vector<std::pair<std::int64_t, std::int64_t>>& gaps() const { return gaps_; }
    // The problem of the last write of the file, once: empty when there is none to say.
    std::string takeWriteProblem();

    // The file of the scheduler of a table directory in a state directory.
    static std::string fileFor(const std::string& stateDirectory,
                               const std::string& tableDirectory);
    // What a file holds: the last pass's minute and the latest gaps, oldest first; and the runs of
    // minutes the passes covered lately and those made up, so that a restart repeats none of them.
    struct Record {
        std::optional<std::int64_t> lastMinute;
        std::vector<std::pair<std::int64_t, std::int64_t>> gaps, covered, madeUp;
    };
    static Record read(const std::string& file);

    static std::int64_t minuteOf(DateTime value);
    static DateTime minuteStart(std::int64_t minute) { return static_cast<double>(minute) / 1440; }

  private:
    void cover(std::int64_t minute);
    void keep(std::int64_t minute);

    std::string file_;
    std::optional<std::int64_t> lastMinute_;
    std::vector<std::pair<std::int64_t, std::int64_t>> gaps_; // kept for vektrinctl due --missed
    // The minutes passes covered lately, as runs of minutes (first, last), oldest first.
    std::vector<std::pair<std::int64_t, std::int64_t>> covered_, madeUp_;
    std::optional<std::int64_t> lastUtcMs_, lastElapsedMs_;
    bool excused_ = false;
    std::string writeProblem_;
    bool problemSaid_ = false;
};

} // namespace vektrin
