#pragma once
// What an evaluation needs from the scheduler around it; the condition language never sees the
// engine itself.

#include "platform/files.h"
#include "platform/regional.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

// What one file search found, shared by every function call that asks the same search.
using FileListing = std::shared_ptr<const std::vector<FoundEntry>>;

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
    // The entries a file function's search finds (findFiles). Read from the disk at every call
    // unless the surroundings keep listings for a while, as the scheduling pass does.
    virtual FileListing searchFiles(std::string_view pattern) {
        return std::make_shared<const std::vector<FoundEntry>>(findFiles(pattern));
    }
};

} // namespace vektrin
