#pragma once
// The errors that end an evaluation without a result. They reach the caller unchanged; the
// caller shows their text as the general error report does.

#include "platform/strings.h"

#include <stdexcept>
#include <string>

namespace vektrin {

// Common base, so a caller can catch whatever ends an evaluation in one place.
class EvaluationFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class FloatingPointError : public EvaluationFailure {
  public:
    enum class Kind { InvalidOperation, DivisionByZero, Overflow };

    explicit FloatingPointError(Kind kind) : EvaluationFailure(textOf(kind)), kind_(kind) {}
    Kind kind() const { return kind_; }

  private:
    static std::string textOf(Kind kind) {
        switch (kind) {
        case Kind::InvalidOperation:
            return std::string(str::InvalidFloatOperation);
        case Kind::DivisionByZero:
            return std::string(str::FloatDivisionByZero);
        case Kind::Overflow:
            break;
        }
        return std::string(str::FloatOverflow);
    }
    Kind kind_;
};

// A file time that has no place in the two-second calendar of 1980..2107, or no file at all.
class DateEncodeError : public EvaluationFailure {
  public:
    DateEncodeError() : EvaluationFailure(std::string(str::InvalidDateEncode)) {}
};

} // namespace vektrin
