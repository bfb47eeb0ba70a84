#include "ctl/environment.h"

#include "engine/command_string.h"
#include "platform/strings.h"

#include <iostream>

namespace vektrin::ctl {

TerminalEnvironment::TerminalEnvironment(DateTime now, TerminalOptions options)
    : now_(now), options_(options), regional_(RegionalSettings::fromLocale()) {}

std::string TerminalEnvironment::unpackCommandString(std::string_view text) {
    const DateTime today = datePart(now_);
    return UnpackCommandString(text, today, today, now_);
}

void TerminalEnvironment::writeProtocol(std::string_view message) {
    if (options_.trace) std::cerr << message << '\n';
}

void TerminalEnvironment::showTooComplex() {
    tooComplex = true;
    if (options_.sayTooComplex) std::cerr << str::TooComplexExpression << '\n';
}

} // namespace vektrin::ctl
