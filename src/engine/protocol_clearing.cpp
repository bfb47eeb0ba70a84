#include "engine/scheduler.h"

namespace vektrin {

void Scheduler::ProtocolClearing(int days, DateTime referenceDate) {
    // Shortening the protocol comes with the protocol viewer; until then the whole log is kept.
    (void)days;
    (void)referenceDate;
}

} // namespace vektrin
