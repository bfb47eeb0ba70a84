#include "condition/condition_errors.h"
#include "condition/keyword_table.h"
#include "condition/scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vektrin {
namespace {

using K = TokenKind;

// A token as a short text: "n:1.5", "t:ABC", "f:COSH", or the operator's name.
std::string describe(K kind, const ValueCell& v) {
    switch (kind) {
    case K::AddOp:
        return "+";
    case K::SubOp:
        return "-";
    case K::MulOp:
        return "*";
    case K::DivOp:
        return "/";
    case K::PowOp:
        return "^";
    case K::LeftParen:
        return "(";
    case K::RightParen:
        return ")";
    case K::EndOfText:
        return "end";
    case K::Invalid:
        return "invalid";
    case K::FunctionName:
        return "f:" + std::string(KeywordTable[v.keyword].name);
    case K::Operand:
        break;
    }
    if (v.kind == ValueCell::Kind::Text) return "t:" + v.text;
    char buf[64];
    std::snprintf(buf, sizeof buf, "n:%.15g", v.number);
    return buf;
}

// Scans until the end or until an Invalid token that does not advance (the parser would stop).
std::vector<std::string> scanAll(std::string_view text, char separator) {
    Scanner s(text, separator);
    std::vector<std::string> out;
    for (int guard = 0; guard < 100; ++guard) {
        const std::size_t before = s.ScanPos;
        const K k = s.NextToken();
        out.push_back(describe(k, s.value));
        if (k == K::EndOfText || (k == K::Invalid && s.ScanPos == before)) break;
    }
    return out;
}

struct ScanCase {
    std::string text;
    char separator;
    std::vector<std::string> tokens;
};
void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.text);
}

class ScannerCases : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScannerCases, Tokens) {
    const ScanCase& c = GetParam();
    EXPECT_EQ(scanAll(c.text, c.separator), c.tokens) << c.text;
}

const std::string Text250(250, 'A');

INSTANTIATE_TEST_SUITE_P(
    Scanner, ScannerCases,
    ::testing::Values(
        ScanCase{"", '.', {"end"}}, ScanCase{"    ", '.', {"end"}},
        ScanCase{"  (  1  )  ", '.', {"(", "n:1", ")", "end"}},
        ScanCase{"+|-*&/^", '.', {"+", "+", "-", "*", "*", "/", "^", "end"}},
        // numbers and the two separators
        ScanCase{"1.2.3", '.', {"n:1.2", "n:0.3", "end"}},
        ScanCase{"1,5", '.', {"n:1", "invalid", "n:5", "end"}},
        ScanCase{"1,5", ',', {"n:1.5", "end"}},
        ScanCase{"1.5", ',', {"n:1", "invalid", "n:5", "end"}},
        ScanCase{".5 5.", '.', {"n:0.5", "n:5", "end"}},
        ScanCase{". 1", '.', {"invalid", "n:1", "end"}}, ScanCase{"-5", '.', {"-", "n:5", "end"}},
        // exponents: at most three digits, a bare E is E0
        ScanCase{"1E1234", '.', {"n:1e+123", "n:4", "end"}}, ScanCase{"5E", '.', {"n:5", "end"}},
        ScanCase{"5E+", '.', {"n:5", "end"}}, ScanCase{"2E-3", '.', {"n:0.002", "end"}},
        ScanCase{"1.5E+2", '.', {"n:150", "end"}}, ScanCase{"1E-400", '.', {"n:0", "end"}},
        // names are prefixes tried in table order
        ScanCase{"COSH(0)", '.', {"f:COSH", "(", "n:0", ")", "end"}},
        ScanCase{"COS SQRT SQR LOG10 LOG1(",
                 '.',
                 {"f:COS", "f:SQRT", "f:SQR", "f:LOG10", "f:LOG", "n:1", "(", "end"}},
        ScanCase{"ABSX", '.', {"f:ABS", "invalid"}},
        ScanCase{"DATETIME", '.', {"f:DATE", "f:TIME", "end"}}, ScanCase{"X", '.', {"invalid"}},
        ScanCase{"NDEFE", '.', {"f:NDE", "f:FE", "end"}},
        // quoted texts
        ScanCase{"'D:\\DATA\\*.TXT'", '.', {"t:D:\\DATA\\*.TXT", "end"}},
        ScanCase{"'ABC\"+1", '.', {"t:ABC", "+", "n:1", "end"}},
        ScanCase{"\"\"", '.', {"t:", "end"}},
        ScanCase{"'" + Text250 + "'1", '.', {"t:" + Text250.substr(0, 200), "n:1", "end"}},
        ScanCase{"'unterminated", '.', {"invalid", "end"}},
        // characters that are no token
        ScanCase{":", '.', {"invalid", "end"}}, ScanCase{"\t1", '.', {"invalid", "n:1", "end"}},
        ScanCase{"\x80", '.', {"invalid", "end"}},
        ScanCase{std::string("1\0"
                             "2",
                             3),
                 '.',
                 {"n:1", "invalid", "n:2", "end"}}));

TEST(Scanner, EndOfTextRepeatsWithoutMoving) {
    Scanner s("1 ", '.');
    s.NextToken();
    EXPECT_EQ(s.NextToken(), K::EndOfText);
    const std::size_t pos = s.ScanPos;
    EXPECT_EQ(s.NextToken(), K::EndOfText);
    EXPECT_EQ(s.ScanPos, pos);
}

TEST(Scanner, NumberBeyondDoubleOverflows) {
    for (const char* text : {"1E400", "99999999999999999999E300"}) {
        Scanner s(text, '.');
        EXPECT_THROW(s.NextToken(), FloatingPointError) << text;
    }
}

TEST(Scanner, KeywordTableTriesLongerNamesFirst) {
    for (std::size_t i = 0; i < KeywordTable.size(); ++i)
        for (std::size_t j = i + 1; j < KeywordTable.size(); ++j)
            EXPECT_FALSE(KeywordTable[j].name.size() > KeywordTable[i].name.size() &&
                         KeywordTable[j].name.starts_with(KeywordTable[i].name))
                << KeywordTable[i].name << " hides " << KeywordTable[j].name;
}

} // namespace
} // namespace vektrin
