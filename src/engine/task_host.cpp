#include "engine/task_host.h"

#include "platform/date_time.h"
#include "platform/strings.h"
#include "platform/text.h"

#include <algorithm>

namespace vektrin::task_host {

bool isHostName(std::string_view name) {
    return !name.empty() && name.size() <= MaxHostName &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.';
           });
}

HostRule hostRule(std::string_view host) {
    if (host.empty()) return HostRule::Any;
    return host == Every ? HostRule::Every : HostRule::Pinned;
}

Placement placement(std::string_view taskHost, std::string_view thisHost) {
    Placement p;
    p.rule = hostRule(taskHost);
    switch (p.rule) {
    case HostRule::Any:
        p.runsHere = true;
        p.claim = Claim::Once;
        p.claimBeforeLaunch = true;
        break;
    case HostRule::Every:
        p.runsHere = true;
        p.claim = Claim::OncePerHost;
        p.claimBeforeLaunch = true;
        p.claimHost = text::lower(thisHost);
        break;
    case HostRule::Pinned:
        p.runsHere = text::lower(taskHost) == text::lower(thisHost);
        p.claim = p.runsHere ? Claim::Once : Claim::None;
        break;
    }
    return p;
}

HostValue hostFromWord(std::string_view word) {
    const std::string_view w = text::trimmed(word);
    if (w.empty() || text::lower(w) == AnyWord) return {};
    if (w == Every || isHostName(w)) return {std::string(w), {}};
    return {{}, notAHost(word)};
}

std::string notAHost(std::string_view given) {
    return str::fill(str::HostNameExpected, {std::string(given)});
}

std::string claimMoment(double due) {
    const TimeParts t = decodeTime(due);
    return isoDate(datePart(due)) + ' ' + text::twoDigits(t.hour) + ':' + text::twoDigits(t.minute);
}

std::string hostWord(std::string_view host) {
    return host.empty() ? std::string(AnyWord) : std::string(host);
}

} // namespace vektrin::task_host
