#include "engine/protocol_file.h"
#include "engine/scheduler.h"
#include "platform/strings.h"

#include <cstring>

namespace vektrin {

void Scheduler::ProtocolClearing(int days, DateTime referenceDate) {
    port_.setBusyCursor(true);
    struct CursorBack {
        OperatorPort& port;
        ~CursorBack() { port.setBusyCursor(false); }
    } cursorBack{port_};
    port_.protocolChanged();

    // Only the holder of the log may rewrite it: a log another scheduler holds is left alone.
    if (!ProtocolFile.isOpen() && !ProtocolFile.open()) {
        reportError(
            OperatorText{.format = str::ProtocolNotReopened,
                         .args = {ProtocolFile.fullPath(), std::strerror(ProtocolFile.openError())},
                         .lead = str::ProtocolNotCleared});
        return;
    }

    // Lines written under another locale are read in their own format; a line whose date no
    // format reads is kept, since nothing says it is old.
    const ProtocolLineDates dates(regional_.shortDateFormat, decodeDate(clock_.now()).year);
    // The log stays open, and locked, while its lines are copied: until the rename succeeds it is
    // the protocol, and a failure anywhere before leaves it in place to append to.
    RewriteResult result = rewriteProtocolFile(ProtocolFile.path(), [&](std::string_view line) {
        const auto date = dates.read(line);
        return !date || days + *date > referenceDate;
    });
    // The rewritten file was locked before it took the log's name; appending goes on through
    // that same descriptor, so no other scheduler can take the log in between.
    if (result.replaced) ProtocolFile.adopt(std::move(result.log));
    // Lines held back while the file took none are newer than all it holds: they follow now, when
    // the rewrite may have made room for them.
    flushProtocol();

    if (!result.error.format.empty()) {
        if (!result.replaced) result.error.lead = str::ProtocolNotCleared;
        reportError(result.error);
    }
}

} // namespace vektrin
