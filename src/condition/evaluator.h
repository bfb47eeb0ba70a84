#pragma once
// EvaluateCondition: the one entry of the condition language. A table-driven LR parser reads the
// scanner's tokens and computes each value as soon as it recognises the sub-expression.

#include "condition/environment.h"
#include "condition/value_cell.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace vektrin {

// At most 20 entries; a shift that would need a 21st ends the evaluation as too complex.
class ParseStack {
  public:
    static constexpr std::size_t Capacity = 20;

    struct Entry {
        int state = 0;
        ValueCell value;
    };

    void clear() { size_ = 0; }
    // False, and nothing stored, when the stack is full.
    bool push(int state, ValueCell&& value);
    void pop(std::size_t count) { size_ -= count; }
    std::size_t size() const { return size_; }
    Entry& top() { return entries_[size_ - 1]; }
    // The entry `depth` places below the top (0 is the top).
    Entry& fromTop(std::size_t depth) { return entries_[size_ - 1 - depth]; }

  private:
    std::array<Entry, Capacity> entries_;
    std::size_t size_ = 0;
};

class ConditionEvaluator {
  public:
    explicit ConditionEvaluator(ConditionEnvironment& env) : env_(env) {}

    // The value of a condition; +infinity with ConditionError set for a text that is not a
    // well-formed condition (or too complex to parse). Throws FloatingPointError or
    // DateEncodeError and then leaves ConditionError as it was.
    double EvaluateCondition(std::string_view text);

    // Whether the last completed evaluation found the text malformed.
    bool ConditionError() const { return conditionError_; }

  private:
    ConditionEnvironment& env_;
    ParseStack stack_;
    bool conditionError_ = false;
};

// The trace line of an evaluation: "Input = <ScanText address>, @s = <caller's text address> : "
// followed by ScanText.
std::string conditionTraceLine(const void* scanText, const void* callerText, std::string_view text);

} // namespace vektrin
