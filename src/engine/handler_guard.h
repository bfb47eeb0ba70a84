#pragma once
// How a scheduler's operator interface starts it and runs its handlers from the event loop.

#include "engine/scheduler.h"
#include "store/database.h"

#include <cstdio>
#include <unistd.h>

namespace vektrin {

// Runs the start-up sequence: -1 when the scheduler runs, else the program's exit status (0 when
// the run only recorded a language choice).
inline int startScheduler(Scheduler& scheduler) {
    try {
        return scheduler.FormCreate() == Scheduler::StartResult::Finished ? 0 : -1;
    } catch (const FatalExit& e) {
        return e.status();
    }
}

// Runs a handler (a pass, an operator's command): an error it did not catch goes to the general
// error report and the program goes on; a fatal one ends the process at once with its status,
// its message already shown.
template <class F> void guardHandler(Scheduler& scheduler, F&& handler) {
    try {
        handler();
    } catch (const FatalExit& e) {
        std::fflush(nullptr);
        ::_exit(e.status());
    } catch (const AbortError&) {
    } catch (const OperatorError& e) {
        scheduler.reportError(e.text());
    } catch (const std::exception& e) {
        scheduler.reportError(e.what());
    }
}

} // namespace vektrin
