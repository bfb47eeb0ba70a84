// The 39 built-in functions, one table in the order in which the scanner tries their names.

#include "condition/arithmetic.h"
#include "condition/condition_errors.h"
#include "condition/keyword_table.h"
#include "platform/files.h"

#include <cmath>
#include <cstdint>

namespace vektrin {
namespace {

using Kind = FloatingPointError::Kind;
using Arg = const ValueCell&;
using Env = ConditionEnvironment&;

constexpr double Two63 = 9223372036854775808.0;
constexpr double BytesPerMegabyte = 1048576.0;
constexpr double BytesPerKilobyte = 1024.0;

[[noreturn]] void fail(Kind kind) {
    throw FloatingPointError(kind);
}

// A finite argument that gives infinity has overflowed.
double noOverflow(double result, double argument) {
    if (std::isinf(result) && std::isfinite(argument)) fail(Kind::Overflow);
    return result;
}

double logarithmArgument(double x) {
    if (x < 0) fail(Kind::InvalidOperation);
    if (x == 0) fail(Kind::DivisionByZero);
    return x;
}

// Whole numbers leave through a 64-bit integer, as the runtime's Round and Trunc return one.
double viaInt64(double whole) {
    if (!(whole >= -Two63 && whole < Two63)) fail(Kind::InvalidOperation);
    return static_cast<double>(static_cast<std::int64_t>(whole));
}

double roundHalfEven(double x) {
    const double low = std::floor(x);
    const double diff = x - low;
    if (diff > 0.5) return low + 1;
    if (diff < 0.5) return low;
    return std::fmod(low, 2.0) == 0 ? low : low + 1;
}

// The trigonometric instructions leave such arguments alone; the result is taken as 0.
bool outOfTrigRange(double x) {
    return !(std::fabs(x) < Two63);
}

double truth(bool b) {
    return b ? 1.0 : 0.0;
}

double datim(Arg a, Env env) {
    return env.regional().parseDateTime(a.text).value_or(0.0);
}

double fage(Arg a, Env env) {
    const FileListing entries = env.searchFiles(a.text);
    if (entries->empty() || entries->front().directory) throw DateEncodeError();
    const auto stamp = dosLocalDateTime(entries->front().mtimeSeconds);
    if (!stamp) throw DateEncodeError();
    return *stamp;
}

struct FileTotals {
    double count = 0;
    double bytes = 0;
    double kilobytes = 0;
    double megabytes = 0;
};

// Each size is divided before it is added, as the units are summed entry by entry.
FileTotals fileTotals(const std::string& pattern, Env env) {
    FileTotals t;
    const FileListing entries = env.searchFiles(pattern);
    for (const FoundEntry& e : *entries) {
        if (e.directory) continue;
        const double size = static_cast<double>(e.size);
        t.count += 1;
        t.bytes += size;
        t.kilobytes += size / BytesPerKilobyte;
        t.megabytes += size / BytesPerMegabyte;
    }
    return t;
}

double fileExists(Arg a, Env env) {
    return truth(fileTotals(a.text, env).count > 0);
}
double fileMissing(Arg a, Env env) {
    return truth(fileTotals(a.text, env).count == 0);
}

constexpr auto N = ArgumentKind::Number;
constexpr auto T = ArgumentKind::Text;

} // namespace

const std::array<Keyword, KeywordCount> KeywordTable = {{
    {"ABS", N, [](Arg a, Env) { return std::fabs(a.number); }},
    {"ACOS", N,
     [](Arg a, Env) {
         if (!(std::fabs(a.number) <= 1)) fail(Kind::InvalidOperation);
         return std::acos(a.number);
     }},
    {"ASIN", N,
     [](Arg a, Env) {
         if (!(std::fabs(a.number) <= 1)) fail(Kind::InvalidOperation);
         return std::asin(a.number);
     }},
    {"ATAN", N, [](Arg a, Env) { return std::atan(a.number); }},
    {"COSH", N, [](Arg a, Env) { return noOverflow(std::cosh(a.number), a.number); }},
    {"COS", N, [](Arg a, Env) { return outOfTrigRange(a.number) ? 0.0 : std::cos(a.number); }},
    {"EXP", N, [](Arg a, Env) { return noOverflow(std::exp(a.number), a.number); }},
    {"LOG10", N, [](Arg a, Env) { return std::log10(logarithmArgument(a.number)); }},
    {"LOG", N, [](Arg a, Env) { return std::log(logarithmArgument(a.number)); }},
    {"POW10", N, [](Arg a, Env) { return arith::power(10.0, a.number); }},
    {"ROUND", N,
     [](Arg a, Env) {
         if (!std::isfinite(a.number)) fail(Kind::InvalidOperation);
         return viaInt64(roundHalfEven(a.number));
     }},
    {"SINH", N, [](Arg a, Env) { return noOverflow(std::sinh(a.number), a.number); }},
    {"SIN", N, [](Arg a, Env) { return outOfTrigRange(a.number) ? 0.0 : std::sin(a.number); }},
    {"SQRT", N,
     [](Arg a, Env) {
         if (a.number < 0) fail(Kind::InvalidOperation);
         return std::sqrt(a.number);
     }},
    {"SQR", N, [](Arg a, Env) { return noOverflow(a.number * a.number, a.number); }},
    {"TANH", N, [](Arg a, Env) { return std::tanh(a.number); }},
    {"TAN", N, [](Arg a, Env) { return outOfTrigRange(a.number) ? 0.0 : std::tan(a.number); }},
    {"TRUNC", N,
     [](Arg a, Env) {
         if (!std::isfinite(a.number)) fail(Kind::InvalidOperation);
         return viaInt64(std::trunc(a.number));
     }},
    {"EQ", N, [](Arg a, Env) { return truth(std::fabs(a.number) < 0.00001); }},
    {"GT", N, [](Arg a, Env) { return truth(a.number > 0); }},
    {"GE", N, [](Arg a, Env) { return truth(a.number >= 0); }},
    {"LT", N, [](Arg a, Env) { return truth(!(a.number >= 0)); }},
    {"LE", N, [](Arg a, Env) { return truth(!(a.number > 0)); }},
    {"DATIM", T, datim},
    {"DATE", T, datim},
    {"TIME", T, datim},
    {"FAGE", T, fage},
    {"FDATE", T, [](Arg a, Env env) { return datePart(fage(a, env)); }},
    {"FTIME", T,
     [](Arg a, Env env) {
         const double v = fage(a, env);
         return v - datePart(v);
     }},
    {"FE", T, fileExists},
    {"NFE", T, fileMissing},
    {"DE", T, fileExists},
    {"NDE", T, fileMissing},
    {"FC", T, [](Arg a, Env env) { return fileTotals(a.text, env).count; }},
    {"DFREE", T,
     [](Arg a, Env) {
         return static_cast<double>(diskSpace(a.text).freeBytes) / BytesPerMegabyte;
     }},
    {"DSIZE", T,
     [](Arg a, Env) {
         return static_cast<double>(diskSpace(a.text).totalBytes) / BytesPerMegabyte;
     }},
    {"FSIZE", T, [](Arg a, Env env) { return fileTotals(a.text, env).megabytes; }},
    {"FSK", T, [](Arg a, Env env) { return fileTotals(a.text, env).kilobytes; }},
    {"FSB", T, [](Arg a, Env env) { return fileTotals(a.text, env).bytes; }},
}};

} // namespace vektrin
