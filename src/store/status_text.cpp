#include "store/status_text.h"

#include "platform/strings.h"

#include <cmath>

namespace vektrin {

std::string statusText(bool stopped, double endCode, std::int32_t exitCode) {
    if (stopped) return std::string(str::SostStopped);
    long long code = std::isfinite(endCode) ? std::llround(endCode) : 0;
    switch (code) {
    case 0:
        return std::string(str::Sost0);
    case 1:
        return exitCode == 0 ? std::string(str::Sost1Success)
                             : std::string(str::Sost1Code) + std::to_string(exitCode);
    case 2:
        return std::string(str::Sost2);
    case 3:
        return std::string(str::Sost3);
    case 4:
        return std::string(str::Sost4);
    case 5:
        return std::string(str::Sost5);
    case 6:
        return std::string(str::Sost6);
    case 7:
        return std::string(str::Sost7);
    case 8:
        return std::string(str::Sost8);
    case 9:
        return std::string(str::Sost9);
    case 10:
        return std::string(str::Sost10);
    case 11:
        return std::string(str::Sost11);
    case 12:
        return std::string(str::Sost12);
    case 13:
        return std::string(str::Sost13);
    case 14:
        return std::string(str::Sost14);
    default:
        return std::string(str::SostUnknownCode) + std::to_string(code);
    }
}

bool isStaleCode(int code) {
    return code == 2 || code == 6 || code == 7 || code == 12 || code == 13;
}

} // namespace vektrin
