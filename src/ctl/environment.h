#pragma once
// What a condition or command string evaluated by vektrinctl sees of its surroundings, at one
// moment, as the scheduler would evaluate it then: both period dates are today (vektrinctl has no
// companion product), each file search is read once for all the conditions of that moment (as in
// a scheduling pass), and the protocol lines the scheduler would write go to standard error only
// when asked for.

#include "condition/environment.h"
#include "condition/file_search_cache.h"
#include "platform/date_time.h"
#include "platform/regional.h"

#include <string>
#include <string_view>

namespace vektrin::ctl {

struct TerminalOptions {
    bool trace = false;         // the trace lines on standard error
    bool sayTooComplex = false; // the "too complex" message on standard error
};

class TerminalEnvironment final : public ConditionEnvironment {
  public:
    explicit TerminalEnvironment(DateTime now, TerminalOptions options = {});

    std::string unpackCommandString(std::string_view text) override;
    void writeProtocol(std::string_view message) override;
    void showTooComplex() override;
    const RegionalSettings& regional() const override { return regional_; }
    FileListing searchFiles(std::string_view pattern) override { return searches_.find(pattern); }

    // Whether an evaluation was ended as too complex.
    bool tooComplex = false;

  private:
    DateTime now_;
    TerminalOptions options_;
    RegionalSettings regional_;
    FileSearchCache searches_;
    FileSearchCache::Scope moment_{searches_};
};

} // namespace vektrin::ctl
