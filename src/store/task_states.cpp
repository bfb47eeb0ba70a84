#include "store/task_states.h"

#include "store/table.h"

namespace vektrin {

std::optional<CompletionCode> completionCode(double endCode) {
    if (!std::isfinite(endCode)) return std::nullopt;
    const long long code = std::llround(endCode);
    if (code < static_cast<int>(CompletionCode::NotExecutedYet) ||
        code > static_cast<int>(CompletionCode::SchedulingStarted))
        return std::nullopt;
    return static_cast<CompletionCode>(code);
}

std::optional<CompletionCode> completionCode(const Field& endCode) {
    return completionCode(endCode.asFloat());
}

void setCompletionCode(Field& endCode, CompletionCode code) {
    endCode.setFloat(static_cast<int>(code));
}

} // namespace vektrin
