#pragma once
// The operators of the condition language with the error rules of the original floating-point
// unit: the hardware here does not trap, so each result is checked instead. Infinity is a value
// (a quotient by zero gives it); an operation that turns finite operands into infinity overflows,
// and one without a defined result is invalid.

namespace vektrin::arith {

double sum(double left, double right);
double difference(double left, double right);
double product(double left, double right);
// Never fails on a zero divisor: x/0 is +infinity for any x other than 0, and 0/0 is 0.
double quotient(double left, double right);
// Computed in extended precision and rounded once, so 10^-400 quietly becomes 0.
double power(double base, double exponent);

} // namespace vektrin::arith
