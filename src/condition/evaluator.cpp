#include "condition/evaluator.h"

#include "condition/arithmetic.h"
#include "condition/keyword_table.h"
#include "condition/scanner.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

namespace vektrin {
namespace {

// ---- Parser tables ------------------------------------------------------------------------

enum class Act : std::uint8_t { Error, Shift, Reduce, Accept };

struct Action {
    Act act;
    std::uint8_t target; // state to shift to, or rule to reduce by
};

constexpr Action E{Act::Error, 0};
constexpr Action A{Act::Accept, 0};
constexpr Action S(int state) {
    return {Act::Shift, static_cast<std::uint8_t>(state)};
}
constexpr Action R(int rule) {
    return {Act::Reduce, static_cast<std::uint8_t>(rule)};
}

constexpr int StateCount = 26;

using Row = std::array<Action, TokenKindCount>;

constexpr Row reduceAll(int rule) {
    Row row{};
    row.fill(R(rule));
    return row;
}

// Columns in TokenKind order. A state that reduces on every column reduces whatever comes; a
// wrong token is then found in a later state that has no action for it.
constexpr Row OperandExpected{E, S(5), E, E, E, S(8), E, S(9), S(10), E, E};

// States, by what precedes them on the stack:
//  0 start; 1 Expr; 2 Term; 3 Factor; 4 Signed; 5 -; 6 Primary; 7 - Primary; 8 (; 9 Operand;
//  10 Name; 11 Expr +; 12 Expr -; 13 Term *; 14 Term /; 15 Signed ^; 16 ( Expr; 17 Name (;
//  18 Expr + Term; 19 Expr - Term; 20 Term * Factor; 21 Term / Factor; 22 Signed ^ Factor;
//  23 ( Expr ); 24 Name ( Expr; 25 Name ( Expr ).
// clang-format off
constexpr std::array<Row, StateCount> ActionTable{{
    //           +|     -      *&     /      ^      (      )      Opnd   Name   End    Invalid
    /*  0 */ OperandExpected,
    /*  1 */ Row{S(11), S(12), E,     E,     E,     E,     E,     E,     E,     A,     E},
    /*  2 */ Row{R(3),  R(3),  S(13), S(14), R(3),  R(3),  R(3),  R(3),  R(3),  R(3),  R(3)},
    /*  3 */ reduceAll(6),
    /*  4 */ Row{R(8),  R(8),  R(8),  R(8),  S(15), R(8),  R(8),  R(8),  R(8),  R(8),  R(8)},
    /*  5 */ Row{E,     E,     E,     E,     E,     S(8),  E,     S(9),  S(10), E,     E},
    /*  6 */ reduceAll(10),
    /*  7 */ reduceAll(9),
    /*  8 */ OperandExpected,
    /*  9 */ reduceAll(12),
    /* 10 */ Row{E,     E,     E,     E,     E,     S(17), E,     E,     E,     E,     E},
    /* 11 */ OperandExpected,
    /* 12 */ OperandExpected,
    /* 13 */ OperandExpected,
    /* 14 */ OperandExpected,
    /* 15 */ OperandExpected,
    /* 16 */ Row{S(11), S(12), E,     E,     E,     E,     S(23), E,     E,     E,     E},
    /* 17 */ OperandExpected,
    /* 18 */ Row{R(1),  R(1),  S(13), S(14), R(1),  R(1),  R(1),  R(1),  R(1),  R(1),  R(1)},
    /* 19 */ Row{R(2),  R(2),  S(13), S(14), R(2),  R(2),  R(2),  R(2),  R(2),  R(2),  R(2)},
    /* 20 */ reduceAll(4),
    /* 21 */ reduceAll(5),
    /* 22 */ reduceAll(7),
    /* 23 */ reduceAll(11),
    /* 24 */ Row{S(11), S(12), E,     E,     E,     E,     S(25), E,     E,     E,     E},
    /* 25 */ reduceAll(13),
}};

enum Symbol { Expr, Term, Factor, Signed, Primary, SymbolCount };

constexpr int X = -1; // no transition
// GotoTable[state][symbol]: the state pushed after a reduction that leaves `state` on top.
constexpr int GotoTable[StateCount][SymbolCount] = {
    //       Expr Term Factor Signed Primary
    /*  0 */ {1,  2,   3,     4,     6},
    /*  1 */ {X,  X,   X,     X,     X},
    /*  2 */ {X,  X,   X,     X,     X},
    /*  3 */ {X,  X,   X,     X,     X},
    /*  4 */ {X,  X,   X,     X,     X},
    /*  5 */ {X,  X,   X,     X,     7},
    /*  6 */ {X,  X,   X,     X,     X},
    /*  7 */ {X,  X,   X,     X,     X},
    /*  8 */ {16, 2,   3,     4,     6},
    /*  9 */ {X,  X,   X,     X,     X},
    /* 10 */ {X,  X,   X,     X,     X},
    /* 11 */ {X,  18,  3,     4,     6},
    /* 12 */ {X,  19,  3,     4,     6},
    /* 13 */ {X,  X,   20,    4,     6},
    /* 14 */ {X,  X,   21,    4,     6},
    /* 15 */ {X,  X,   22,    4,     6},
    /* 16 */ {X,  X,   X,     X,     X},
    /* 17 */ {24, 2,   3,     4,     6},
    /* 18 */ {X,  X,   X,     X,     X},
    /* 19 */ {X,  X,   X,     X,     X},
    /* 20 */ {X,  X,   X,     X,     X},
    /* 21 */ {X,  X,   X,     X,     X},
    /* 22 */ {X,  X,   X,     X,     X},
    /* 23 */ {X,  X,   X,     X,     X},
    /* 24 */ {X,  X,   X,     X,     X},
    /* 25 */ {X,  X,   X,     X,     X},
};
// clang-format on

struct Rule {
    Symbol produces;
    std::uint8_t length; // symbols on the right side
};

// Index = rule number; rule 0 is unused.
constexpr Rule Rules[] = {
    {Expr, 0},    {Expr, 3}, //  1 Expr AddOp Term
    {Expr, 3},               //  2 Expr SubOp Term
    {Expr, 1},               //  3 Term
    {Term, 3},               //  4 Term MulOp Factor
    {Term, 3},               //  5 Term DivOp Factor
    {Term, 1},               //  6 Factor
    {Factor, 3},             //  7 Signed PowOp Factor
    {Factor, 1},             //  8 Signed
    {Signed, 2},             //  9 SubOp Primary
    {Signed, 1},             // 10 Primary
    {Primary, 3},            // 11 LeftParen Expr RightParen
    {Primary, 1},            // 12 Operand
    {Primary, 4},            // 13 FunctionName LeftParen Expr RightParen
};

// ---- Reductions ---------------------------------------------------------------------------

// A text where a number belongs (or a number where a text belongs) has no value: the condition
// is treated as malformed.
struct TypeMismatch {};

double numberOf(const ValueCell& v) {
    if (v.kind != ValueCell::Kind::Number) throw TypeMismatch{};
    return v.number;
}

ValueCell callBuiltin(const ValueCell& name, const ValueCell& argument, ConditionEnvironment& env) {
    if (name.kind != ValueCell::Kind::Name || name.keyword < 0 ||
        name.keyword >= static_cast<int>(KeywordTable.size()))
        throw TypeMismatch{};
    const Keyword& k = KeywordTable[static_cast<std::size_t>(name.keyword)];
    const auto wanted =
        k.argument == ArgumentKind::Number ? ValueCell::Kind::Number : ValueCell::Kind::Text;
    if (argument.kind != wanted) throw TypeMismatch{};
    return ValueCell::ofNumber(k.function(argument, env));
}

// The value of rule `rule` from its right side, v[0] the leftmost symbol.
ValueCell reduce(int rule, ParseStack::Entry* v, ConditionEnvironment& env) {
    switch (rule) {
    case 1:
        return ValueCell::ofNumber(arith::sum(numberOf(v[0].value), numberOf(v[2].value)));
    case 2:
        return ValueCell::ofNumber(arith::difference(numberOf(v[0].value), numberOf(v[2].value)));
    case 4:
        return ValueCell::ofNumber(arith::product(numberOf(v[0].value), numberOf(v[2].value)));
    case 5:
        return ValueCell::ofNumber(arith::quotient(numberOf(v[0].value), numberOf(v[2].value)));
    case 7:
        return ValueCell::ofNumber(arith::power(numberOf(v[0].value), numberOf(v[2].value)));
    case 9:
        return ValueCell::ofNumber(-numberOf(v[1].value));
    case 11:
        return std::move(v[1].value);
    case 13:
        return callBuiltin(v[0].value, v[2].value, env);
    default:
        return std::move(v[0].value); // the single-symbol rules pass their value on
    }
}

void upperCase(std::string& s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

} // namespace

bool ParseStack::push(int state, ValueCell&& value) {
    if (size_ == Capacity) return false;
    Entry& e = entries_[size_];
    e.state = state;
    e.value.kind = value.kind;
    e.value.number = value.number;
    e.value.keyword = value.keyword;
    if (value.kind == ValueCell::Kind::Text) e.value.text = std::move(value.text);
    ++size_;
    return true;
}

namespace {

// Upper-case hexadecimal, at least 8 digits.
void appendAddress(std::string& out, const void* address) {
    auto v = reinterpret_cast<std::uintptr_t>(address);
    char buf[2 * sizeof v];
    std::size_t n = 0;
    do {
        buf[n++] = "0123456789ABCDEF"[v & 15];
        v >>= 4;
    } while (v != 0);
    while (n < 8)
        buf[n++] = '0';
    while (n > 0)
        out += buf[--n];
}

} // namespace

std::string conditionTraceLine(const void* scanText, const void* callerText,
                               std::string_view text) {
    std::string line;
    line.reserve(48 + text.size());
    line += "Input = ";
    appendAddress(line, scanText);
    line += ", @s = ";
    appendAddress(line, callerText);
    line += " : ";
    line.append(text);
    return line;
}

double ConditionEvaluator::EvaluateCondition(std::string_view text) {
    bool error = false;
    std::string scanText = env_.unpackCommandString(text);
    upperCase(scanText);
    env_.writeProtocol(conditionTraceLine(scanText.data(), text.data(), scanText));

    Scanner scanner(scanText, env_.regional().decimalSeparator);
    stack_.clear();
    stack_.push(0, ValueCell::ofNumber(0));
    TokenKind token = scanner.NextToken();

    try {
        while (true) {
            const Action action = ActionTable[stack_.top().state][static_cast<std::size_t>(token)];
            if (action.act == Act::Accept) {
                error = stack_.top().value.kind != ValueCell::Kind::Number;
                break;
            }
            if (action.act == Act::Error) {
                error = true;
                break;
            }
            if (action.act == Act::Shift) {
                const bool carriesValue =
                    token == TokenKind::Operand || token == TokenKind::FunctionName;
                if (!stack_.push(action.target,
                                 carriesValue ? std::move(scanner.value) : ValueCell{})) {
                    // What follows a refused entry cannot be parsed meaningfully.
                    env_.showTooComplex();
                    error = true;
                    break;
                }
                token = scanner.NextToken();
                continue;
            }
            const Rule& rule = Rules[action.target];
            if (stack_.size() <= rule.length) { // unreachable with these tables
                error = true;
                break;
            }
            ParseStack::Entry* right = &stack_.fromTop(rule.length - 1u);
            ValueCell value = reduce(action.target, right, env_);
            stack_.pop(rule.length);
            const int next = GotoTable[stack_.top().state][rule.produces];
            if (next == X) { // unreachable with these tables
                error = true;
                break;
            }
            stack_.push(next, std::move(value));
        }
    } catch (const TypeMismatch&) {
        error = true;
    }

    conditionError_ = error;
    if (error) return INFINITY;
    return stack_.top().value.number;
}

} // namespace vektrin
