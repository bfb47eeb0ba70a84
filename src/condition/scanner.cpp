#include "condition/scanner.h"

#include "condition/condition_errors.h"
#include "condition/keyword_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace vektrin {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isQuote(char c) {
    return c == '\'' || c == '"';
}

// Number conversion must not follow the process locale: the operator interface may change it.
locale_t cNumericLocale() {
    static const locale_t loc = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

} // namespace

TokenKind Scanner::NextToken() {
    while (ScanPos < ScanText.size() && ScanText[ScanPos] == ' ')
        ++ScanPos;
    if (ScanPos >= ScanText.size()) return TokenKind::EndOfText;

    const char c = ScanText[ScanPos];
    if (isQuote(c)) return quotedText();
    if (isDigit(c) || c == decimalSeparator_) return number();
    if (c >= 'A' && c <= 'Z') return name();

    ++ScanPos;
    switch (c) {
    case '+':
    case '|':
        return TokenKind::AddOp;
    case '-':
        return TokenKind::SubOp;
    case '*':
    case '&':
        return TokenKind::MulOp;
    case '/':
        return TokenKind::DivOp;
    case '^':
        return TokenKind::PowOp;
    case '(':
        return TokenKind::LeftParen;
    case ')':
        return TokenKind::RightParen;
    default:
        return TokenKind::Invalid;
    }
}

TokenKind Scanner::quotedText() {
    const std::size_t begin = ScanPos + 1;
    std::size_t end = begin;
    while (end < ScanText.size() && !isQuote(ScanText[end]))
        ++end;
    if (end >= ScanText.size()) {
        // No closing quote: the token ends with the text and the parser reports the error.
        ScanPos = ScanText.size();
        return TokenKind::Invalid;
    }
    ScanPos = end + 1;
    const std::size_t length = std::min(end - begin, ValueCell::MaxTextLength);
    value.kind = ValueCell::Kind::Text;
    value.text.assign(ScanText.substr(begin, length));
    return TokenKind::Operand;
}

TokenKind Scanner::number() {
    const std::size_t begin = ScanPos;
    bool separatorSeen = false;
    std::string converted; // the number as the C locale writes it
    while (ScanPos < ScanText.size()) {
        const char c = ScanText[ScanPos];
        if (isDigit(c)) {
            converted += c;
        } else if (c == decimalSeparator_ && !separatorSeen) {
            separatorSeen = true;
            converted += '.';
        } else {
            break;
        }
        ++ScanPos;
    }
    if (ScanPos - begin == 1 && separatorSeen) return TokenKind::Invalid;

    if (ScanPos < ScanText.size() && ScanText[ScanPos] == 'E') {
        ++ScanPos;
        char sign = '+';
        if (ScanPos < ScanText.size() && (ScanText[ScanPos] == '+' || ScanText[ScanPos] == '-'))
            sign = ScanText[ScanPos++];
        std::size_t digits = 0;
        while (digits < 3 && ScanPos + digits < ScanText.size() &&
               isDigit(ScanText[ScanPos + digits]))
            ++digits;
        // "5E" means an exponent of 0.
        if (digits > 0) {
            converted += 'e';
            converted += sign;
            converted.append(ScanText.substr(ScanPos, digits));
            ScanPos += digits;
        }
    }

    double v = 0;
    const char* first = converted.data();
    const char* last = first + converted.size();
    if (std::from_chars(first, last, v).ec != std::errc{}) {
        // Out of range either way: too small becomes 0 or a subnormal quietly, too large has no
        // double to be stored in.
        v = strtod_l(converted.c_str(), nullptr, cNumericLocale());
        if (std::isinf(v)) throw FloatingPointError(FloatingPointError::Kind::Overflow);
    }
    value.kind = ValueCell::Kind::Number;
    value.number = v;
    return TokenKind::Operand;
}

TokenKind Scanner::name() {
    const std::string_view rest = ScanText.substr(ScanPos);
    for (std::size_t i = 0; i < KeywordTable.size(); ++i) {
        const std::string_view name = KeywordTable[i].name;
        if (rest.front() == name.front() && rest.starts_with(name)) {
            ScanPos += name.size();
            value.kind = ValueCell::Kind::Name;
            value.keyword = static_cast<int>(i);
            return TokenKind::FunctionName;
        }
    }
    return TokenKind::Invalid;
}

} // namespace vektrin
