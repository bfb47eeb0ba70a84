#pragma once
// "Run now" to the child's first instruction: the task is the first_instruction program, which
// writes the monotonic clock (ns) to a stamp file as the first thing it does.

#include "engine/scheduler.h"
#include "support/temp_dir.h"

#include <string>
#include <time.h>
#include <unistd.h>

namespace vektrin::bench {

// Microseconds from RunNowClick on the current task to the moment its process wrote stamp.
inline double microsToFirstInstruction(Scheduler& scheduler, const std::string& stamp) {
    ::unlink(stamp.c_str());
    timespec t0{};
    clock_gettime(CLOCK_MONOTONIC, &t0);
    scheduler.RunNowClick();
    std::string text;
    while ((text = test::readFile(stamp)).empty() || text.back() != '\n')
        usleep(50);
    return (std::stod(text) - (t0.tv_sec * 1e9 + t0.tv_nsec)) / 1000.0;
}

} // namespace vektrin::bench
