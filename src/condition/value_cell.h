#pragma once
// The value that travels with a token and with every parse-stack entry.

#include <cstddef>
#include <string>

namespace vektrin {

struct ValueCell {
    // The tag lets the evaluator refuse a text where a number belongs and the other way round.
    enum class Kind : unsigned char { Number, Text, Name };

    static constexpr std::size_t MaxTextLength = 200;

    Kind kind = Kind::Number;
    double number = 0;
    std::string text; // a quoted text, at most MaxTextLength characters; only for Kind::Text
    int keyword = -1; // a function name, as its index in KeywordTable

    static ValueCell ofNumber(double v) {
        ValueCell c;
        c.number = v;
        return c;
    }
};

} // namespace vektrin
