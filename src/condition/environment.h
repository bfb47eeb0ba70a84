#pragma once
// What an evaluation needs from the scheduler around it; the condition language never sees the
// engine itself.

#include "platform/regional.h"

#include <string>
#include <string_view>

namespace vektrin {

class ConditionEnvironment {
  public:
    virtual ~ConditionEnvironment() = default;

    // Placeholder expansion exactly as for command strings (UnpackCommandString).
    virtual std::string unpackCommandString(std::string_view text) = 0;
    // One protocol line (WriteProtocol): the trace line of every evaluation.
    virtual void writeProtocol(std::string_view message) = 0;
    // The information box for a parse stack that would overflow ("Очень сложное выражение.").
    virtual void showTooComplex() = 0;
    virtual const RegionalSettings& regional() const = 0;
};

} // namespace vektrin
