#include "condition/condition_errors.h"
#include "condition/evaluator.h"
#include "condition_test_env.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace vektrin {
namespace {

using FpKind = FloatingPointError::Kind;

struct Fixture {
    test::RecordingEnvironment env;
    ConditionEvaluator evaluator{env};
    double eval(std::string_view text) { return evaluator.EvaluateCondition(text); }
};

struct ValueCase {
    const char* text;
    double value;
};
void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.text;
}

class Values : public ::testing::TestWithParam<ValueCase> {};

TEST_P(Values, Evaluate) {
    Fixture f;
    const double v = f.eval(GetParam().text);
    EXPECT_FALSE(f.evaluator.ConditionError()) << GetParam().text;
    EXPECT_DOUBLE_EQ(v, GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(PrecedenceAndAssociativity, Values,
                         ::testing::Values(ValueCase{"1+2*3", 7}, ValueCase{"(1+2)*3", 9},
                                           ValueCase{"2^3^2", 512}, ValueCase{"10-4-3", 3},
                                           ValueCase{"10/4/5", 0.5}, ValueCase{"2*3^2", 18},
                                           ValueCase{"1|1&0", 1}, ValueCase{"(1|1)&0", 0},
                                           ValueCase{" 7 ", 7},
                                           ValueCase{"((((((((((((((((1+1))))))))))))))))", 2}));

INSTANTIATE_TEST_SUITE_P(PrefixMinus, Values,
                         ::testing::Values(ValueCase{"-5", -5}, ValueCase{"-2^2", 4},
                                           ValueCase{"2^-2", 0.25}, ValueCase{"3*-2", -6},
                                           ValueCase{"2--3", 5}, ValueCase{"-(-2)", 2},
                                           ValueCase{"-ABS(-3)", -3}, ValueCase{"-2^3", -8}));

INSTANTIATE_TEST_SUITE_P(DivisionByZero, Values,
                         ::testing::Values(ValueCase{"1/0", INFINITY}, ValueCase{"-1/0", INFINITY},
                                           ValueCase{"0/0", 0}, ValueCase{"5/(1/0)", 0},
                                           ValueCase{"1/0+1", INFINITY}));

INSTANTIATE_TEST_SUITE_P(
    Powers, Values,
    ::testing::Values(ValueCase{"0^0", 1}, ValueCase{"(1/0)^0", 1}, ValueCase{"0^2.5", 0},
                      ValueCase{"(-2)^3", -8}, ValueCase{"2^0.5", std::sqrt(2.0)},
                      ValueCase{"10^-400", 0}, ValueCase{"2^1023*2^-1", 0x1p1022},
                      ValueCase{"10^308", 1e308}, ValueCase{"(0.5^-3)^-1", 0.125},
                      ValueCase{"0.5^2147483647", 0}, ValueCase{"1^2147483648", 1}));

INSTANTIATE_TEST_SUITE_P(Truth, Values,
                         ::testing::Values(ValueCase{"GT(1-2)|EQ(3-3)", 1},
                                           ValueCase{"GT(1)&GT(0)", 0},
                                           ValueCase{"GT(1)|GT(2)", 2}));

INSTANTIATE_TEST_SUITE_P(
    Builtins, Values,
    ::testing::Values(
        ValueCase{"ABS(-2.5)", 2.5}, ValueCase{"ACOS(-1)", M_PI}, ValueCase{"ASIN(1)", M_PI / 2},
        ValueCase{"ATAN(1)", M_PI / 4}, ValueCase{"COSH(1)", std::cosh(1.0)},
        ValueCase{"COS(0)", 1}, ValueCase{"COS(9223372036854775808)", 0}, ValueCase{"EXP(1)", M_E},
        ValueCase{"EXP(-1000)", 0}, ValueCase{"LOG10(1000)", 3}, ValueCase{"LOG(EXP(2))", 2},
        ValueCase{"POW10(2)", 100}, ValueCase{"POW10(-1)", 0.1}, ValueCase{"POW10(0)", 1},
        ValueCase{"POW10(-400)", 0}, ValueCase{"ROUND(2.5)", 2}, ValueCase{"ROUND(3.5)", 4},
        ValueCase{"ROUND(-2.5)", -2}, ValueCase{"ROUND(-2.6)", -3},
        ValueCase{"ROUND(0.49999999999999994)", 0},
        ValueCase{"ROUND(-9223372036854775808)", -9223372036854775808.0},
        ValueCase{"SINH(1)", std::sinh(1.0)}, ValueCase{"SIN(1E19)", 0},
        ValueCase{"SIN(1)", std::sin(1.0)}, ValueCase{"SQRT(16)", 4}, ValueCase{"SQR(-3)", 9},
        ValueCase{"TANH(1000)", 1}, ValueCase{"TANH(-1000)", -1},
        ValueCase{"TAN(1)", std::tan(1.0)}, ValueCase{"TAN(1E19)", 0}, ValueCase{"TRUNC(-2.7)", -2},
        ValueCase{"TRUNC(2.7)", 2}, ValueCase{"EQ(0.000009)", 1}, ValueCase{"EQ(-0.000009)", 1},
        ValueCase{"EQ(0.00001)", 0}, ValueCase{"GT(0)", 0}, ValueCase{"GT(1)", 1},
        ValueCase{"GE(0)", 1}, ValueCase{"GE(-1)", 0}, ValueCase{"LT(0)", 0},
        ValueCase{"LT(-1)", 1}, ValueCase{"LE(0)", 1}, ValueCase{"LE(1)", 0}));

class SyntaxErrors : public ::testing::TestWithParam<std::string> {};

TEST_P(SyntaxErrors, ReturnInfinityAndSetTheFlag) {
    Fixture f;
    EXPECT_EQ(f.eval(GetParam()), INFINITY) << GetParam();
    EXPECT_TRUE(f.evaluator.ConditionError()) << GetParam();
    EXPECT_EQ(f.env.tooComplexShown, 0);
}

INSTANTIATE_TEST_SUITE_P(Malformed, SyntaxErrors,
                         ::testing::Values("2 3", "()", "1+", "ABS 1", "1)", "1:2", "   ", "",
                                           "--2", "1..", "ABS()", "(1", "1^^2", "'abc",
                                           "GT(1)GT(2)", "1+'A'", "-'A'", "'A'", "('A')",
                                           "ABS('X')", "FE(1)", "DATIM(2)", "1 'A'", "\t1",
                                           std::string("1\0", 2)));

struct ErrorCase {
    const char* text;
    FpKind kind;
};
void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.text;
}

class FloatingPointErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(FloatingPointErrors, EndTheEvaluation) {
    Fixture f;
    try {
        f.eval(GetParam().text);
        ADD_FAILURE() << GetParam().text << " returned";
    } catch (const FloatingPointError& e) {
        EXPECT_EQ(e.kind(), GetParam().kind) << GetParam().text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Operators, FloatingPointErrors,
    ::testing::Values(
        ErrorCase{"1/0-1/0", FpKind::InvalidOperation},
        ErrorCase{"0*(1/0)", FpKind::InvalidOperation},
        ErrorCase{"(1/0)/(1/0)", FpKind::InvalidOperation}, ErrorCase{"1E308*10", FpKind::Overflow},
        ErrorCase{"1E308+1E308", FpKind::Overflow}, ErrorCase{"1E308/1E-308", FpKind::Overflow},
        ErrorCase{"1E400", FpKind::Overflow}, ErrorCase{"10^309", FpKind::Overflow},
        ErrorCase{"10^5000", FpKind::Overflow}, ErrorCase{"2^0.5E4", FpKind::Overflow},
        ErrorCase{"0^-1", FpKind::DivisionByZero}, ErrorCase{"0^-0.5", FpKind::DivisionByZero},
        ErrorCase{"0.1^-5000", FpKind::DivisionByZero}, ErrorCase{"10^-5000", FpKind::Overflow},
        ErrorCase{"(-8)^(1/3)", FpKind::InvalidOperation},
        ErrorCase{"2^(1/0)", FpKind::InvalidOperation},
        // the call is made once the token after ")" is read, before the error
        ErrorCase{"SQRT(-1))", FpKind::InvalidOperation}));

INSTANTIATE_TEST_SUITE_P(
    Builtins, FloatingPointErrors,
    ::testing::Values(
        ErrorCase{"SQRT(-1)", FpKind::InvalidOperation},
        ErrorCase{"ASIN(1.5)", FpKind::InvalidOperation},
        ErrorCase{"ACOS(-1.01)", FpKind::InvalidOperation},
        ErrorCase{"LOG(-1)", FpKind::InvalidOperation}, ErrorCase{"LOG(0)", FpKind::DivisionByZero},
        ErrorCase{"LOG10(-1)", FpKind::InvalidOperation},
        ErrorCase{"LOG10(0)", FpKind::DivisionByZero},
        ErrorCase{"ROUND(1E19)", FpKind::InvalidOperation},
        ErrorCase{"TRUNC(-1E19)", FpKind::InvalidOperation},
        ErrorCase{"ROUND(9223372036854775807)", FpKind::InvalidOperation},
        ErrorCase{"TRUNC(1/0)", FpKind::InvalidOperation}, ErrorCase{"EXP(710)", FpKind::Overflow},
        ErrorCase{"POW10(309)", FpKind::Overflow}, ErrorCase{"COSH(711)", FpKind::Overflow},
        ErrorCase{"SINH(-711)", FpKind::Overflow}, ErrorCase{"SQR(1E200)", FpKind::Overflow}));

TEST(Evaluator, StackLimits) {
    auto nested = [](const std::string& open, int depth, const std::string& inner) {
        std::string s;
        for (int i = 0; i < depth; ++i)
            s += open;
        s += inner;
        for (int i = 0; i < depth; ++i)
            s += ")";
        return s;
    };
    auto chain = [](int operands) {
        std::string s = "1";
        for (int i = 1; i < operands; ++i)
            s += "^1";
        return s;
    };
    struct Case {
        std::string text;
        bool fits;
    };
    const Case cases[] = {
        {nested("(", 17, "1"), true},
        {nested("(", 18, "1"), false},
        {nested("ABS(", 8, "1"), true},
        {nested("ABS(", 9, "1"), false},
        {chain(10), true},
        {chain(11), false},
        {nested("(", 10000, "1"), false},
    };
    for (const Case& c : cases) {
        Fixture f;
        const double v = f.eval(c.text);
        EXPECT_EQ(f.evaluator.ConditionError(), !c.fits) << c.text.substr(0, 60);
        EXPECT_EQ(f.env.tooComplexShown, c.fits ? 0 : 1) << c.text.substr(0, 60);
        EXPECT_EQ(v, c.fits ? 1.0 : INFINITY);
    }
}

TEST(Evaluator, TraceLineShowsThePreparedText) {
    Fixture f;
    f.env.expand = [](std::string_view t) {
        std::string s(t);
        if (auto p = s.find("%TDD%"); p != std::string::npos) s.replace(p, 5, "07");
        return s;
    };
    const std::string text = "gt(%TDD%-5) + fe('a.b'";
    f.eval(text);
    ASSERT_EQ(f.env.protocol.size(), 1u);
    const std::string& line = f.env.protocol[0];

    unsigned long long scanAddress = 0, callerAddress = 0;
    int prefix = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "Input = %llX, @s = %llX : %n", &scanAddress,
                          &callerAddress, &prefix),
              2)
        << line;
    EXPECT_EQ(callerAddress, reinterpret_cast<std::uintptr_t>(text.data()));
    EXPECT_NE(scanAddress, callerAddress);
    EXPECT_EQ(line.substr(static_cast<std::size_t>(prefix)), "GT(07-5) + FE('A.B'");
    EXPECT_TRUE(f.evaluator.ConditionError()); // malformed texts are traced too
}

TEST(Evaluator, TraceLineAddressesAreUpperCaseAndPadded) {
    EXPECT_EQ(conditionTraceLine(reinterpret_cast<const void*>(0xabcdef), nullptr, "1"),
              "Input = 00ABCDEF, @s = 00000000 : 1");
}

TEST(Evaluator, FloatingPointErrorKeepsThePreviousFlag) {
    Fixture f;
    f.eval("1+");
    ASSERT_TRUE(f.evaluator.ConditionError());
    EXPECT_THROW(f.eval("LOG(0)"), FloatingPointError);
    EXPECT_TRUE(f.evaluator.ConditionError());
    f.eval("1");
    EXPECT_THROW(f.eval("1E999"), FloatingPointError);
    EXPECT_FALSE(f.evaluator.ConditionError());
    EXPECT_EQ(f.env.protocol.size(), 4u); // the trace line comes before the failure
}

TEST(Evaluator, DecimalSeparatorComesFromTheSettings) {
    Fixture f;
    f.env.settings.decimalSeparator = ',';
    EXPECT_DOUBLE_EQ(f.eval("1,5*2"), 3);
    f.eval("1.5");
    EXPECT_TRUE(f.evaluator.ConditionError());
}

TEST(Evaluator, AnyBytesEndInAValueAFlagOrANamedError) {
    std::string allBytes;
    for (int c = 0; c < 256; ++c)
        allBytes += static_cast<char>(c);
    const std::string inputs[] = {
        allBytes,
        std::string(100000, '('),
        std::string(50000, '1') + "E" + std::string(5000, '9'),
        "'" + std::string(5000, 'x'),
        "-" + std::string(20000, '-'),
        std::string("FE('\0')", 7),
    };
    for (const std::string& input : inputs) {
        Fixture f;
        try {
            f.eval(input);
        } catch (const EvaluationFailure&) {
        }
        EXPECT_EQ(f.env.protocol.size(), 1u);
    }
}

} // namespace
} // namespace vektrin
