#include "engine/protocol_file.h"
#include "engine/scheduler.h"
#include "platform/strings.h"

namespace vektrin {

void Scheduler::ProtocolClearing(int days, DateTime referenceDate) {
    port_.setBusyCursor(true);
    struct CursorBack {
        OperatorPort& port;
        ~CursorBack() { port.setBusyCursor(false); }
    } cursorBack{port_};
    port_.protocolChanged();

    // Lines written under another locale are read in their own format; a line whose date no
    // format reads is kept, since nothing says it is old.
    const ProtocolLineDates dates(regional_.shortDateFormat, decodeDate(clock_.now()).year);
    // The log stays open, and locked, while its lines are copied: until the rename succeeds it is
    // the protocol, and a failure anywhere before leaves it in place to append to.
    const RewriteResult result =
        rewriteProtocolFile(ProtocolFile.path(), [&](std::string_view line) {
            const auto date = dates.read(line);
            return !date || days + *date > referenceDate;
        });

    std::string error;
    if (!result.error.empty())
        error =
            result.replaced ? result.error : std::string(str::ProtocolNotCleared) + result.error;
    if (result.replaced || !ProtocolFile.isOpen()) {
        // The descriptor still names the replaced file; appending there would lose the lines.
        ProtocolFile.close();
        if (!ProtocolFile.open()) {
            if (!error.empty()) error += "\n";
            error += std::string(str::ProtocolNotReopened) + ProtocolFile.path();
        }
    }
    if (!error.empty()) reportError(error);
}

} // namespace vektrin
