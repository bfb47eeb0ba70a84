#include "condition/arithmetic.h"

#include "condition/condition_errors.h"

#include <cfloat>
#include <cmath>

namespace vektrin::arith {
namespace {

using Kind = FloatingPointError::Kind;

double checked(double result, double left, double right) {
    if (std::isnan(result)) throw FloatingPointError(Kind::InvalidOperation);
    if (std::isinf(result) && std::isfinite(left) && std::isfinite(right))
        throw FloatingPointError(Kind::Overflow);
    return result;
}

// Shift-and-square as the runtime did it: no squaring after the last bit, so nothing overflows
// on the way that the result does not also overflow.
long double integerPower(long double base, unsigned long n) {
    long double result = 1;
    while (true) {
        if (n & 1) result *= base;
        n >>= 1;
        if (n == 0) return result;
        base *= base;
    }
}

double rounded(long double value, bool fromFinite) {
    if (std::isnan(value)) throw FloatingPointError(Kind::InvalidOperation);
    if (std::fabs(value) > static_cast<long double>(DBL_MAX)) {
        if (std::isinf(value) && !fromFinite) return value > 0 ? INFINITY : -INFINITY;
        throw FloatingPointError(Kind::Overflow);
    }
    return static_cast<double>(value);
}

} // namespace

double sum(double left, double right) {
    return checked(left + right, left, right);
}

double difference(double left, double right) {
    return checked(left - right, left, right);
}

double product(double left, double right) {
    return checked(left * right, left, right);
}

double quotient(double left, double right) {
    if (right == 0) return left == 0 ? 0.0 : INFINITY;
    return checked(left / right, left, right);
}

double power(double base, double exponent) {
    if (exponent == 0) return 1;
    if (base == 0 && exponent > 0) return 0;
    // An infinite exponent has no fractional part to test.
    if (std::isinf(exponent) || std::isnan(exponent) || std::isnan(base))
        throw FloatingPointError(Kind::InvalidOperation);
    const bool finiteBase = std::isfinite(base);

    if (std::trunc(exponent) == exponent && std::fabs(exponent) <= 2147483647.0) {
        long double p = integerPower(base, static_cast<unsigned long>(std::fabs(exponent)));
        if (std::isinf(p) && finiteBase) throw FloatingPointError(Kind::Overflow);
        if (exponent < 0) {
            if (p == 0) throw FloatingPointError(Kind::DivisionByZero);
            p = 1 / p;
        }
        return rounded(p, finiteBase);
    }
    if (base < 0) throw FloatingPointError(Kind::InvalidOperation);
    if (base == 0) throw FloatingPointError(Kind::DivisionByZero);
    const long double x = exponent * std::log(static_cast<long double>(base));
    const long double p = std::exp(x);
    if (std::isinf(p) && std::isfinite(x)) throw FloatingPointError(Kind::Overflow);
    return rounded(p, std::isfinite(x));
}

} // namespace vektrin::arith
