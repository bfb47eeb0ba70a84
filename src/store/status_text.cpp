#include "store/status_text.h"

#include "platform/strings.h"

#include <cmath>

namespace vektrin {

std::string statusText(bool stopped, double endCode, std::int32_t exitCode) {
    if (stopped) return std::string(str::SostStopped);
    const std::optional<CompletionCode> code = completionCode(endCode);
    if (!code) {
        const long long raw = std::isfinite(endCode) ? std::llround(endCode) : 0;
        return std::string(str::SostUnknownCode) + std::to_string(raw);
    }
    if (*code == CompletionCode::Completed && exitCode != 0)
        return std::string(str::Sost1Code) + std::to_string(exitCode);
    // In code order: the text of code n is texts[n].
    static constexpr std::string_view texts[] = {
        str::Sost0,  str::Sost1Success, str::Sost2,  str::Sost3,  str::Sost4,
        str::Sost5,  str::Sost6,        str::Sost7,  str::Sost8,  str::Sost9,
        str::Sost10, str::Sost11,       str::Sost12, str::Sost13, str::Sost14};
    return std::string(texts[static_cast<int>(*code)]);
}

bool isStaleCode(std::optional<CompletionCode> code) {
    return code == CompletionCode::Runs || code == CompletionCode::Resumed ||
           code == CompletionCode::WaitingForResources || code == CompletionCode::LaunchError ||
           code == CompletionCode::WaitingForScheduling;
}

} // namespace vektrin
