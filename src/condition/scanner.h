#pragma once
// Cuts a prepared condition text (placeholders expanded, letters upper-cased) into tokens, one
// per call, never looking past the token it reads.

#include "condition/value_cell.h"

#include <cstddef>
#include <string_view>

namespace vektrin {

enum class TokenKind : unsigned char {
    AddOp,        // + |
    SubOp,        // -
    MulOp,        // * &
    DivOp,        // /
    PowOp,        // ^
    LeftParen,    // (
    RightParen,   // )
    Operand,      // a number or a quoted text
    FunctionName, // a name of KeywordTable
    EndOfText,
    Invalid,
};
inline constexpr std::size_t TokenKindCount = 11;

class Scanner {
  public:
    // `decimalSeparator` is the regional one; the text must outlive the scanner.
    Scanner(std::string_view scanText, char decimalSeparator)
        : ScanText(scanText), decimalSeparator_(decimalSeparator) {}

    // Sets `value` for Operand and FunctionName. Throws FloatingPointError (overflow) for a
    // number beyond the range of a double.
    TokenKind NextToken();

    std::string_view ScanText;
    std::size_t ScanPos = 0;
    ValueCell value;

  private:
    TokenKind quotedText();
    TokenKind number();
    TokenKind name();

    char decimalSeparator_;
};

} // namespace vektrin
