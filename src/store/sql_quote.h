#pragma once
// SQL's quoting, the same for both databases: the quote character doubled inside.

#include <string>
#include <string_view>

namespace vektrin {

inline std::string sqlQuoted(std::string_view s, char quote) {
    std::string out(1, quote);
    for (char c : s) {
        if (c == quote) out += quote;
        out += c;
    }
    return out + quote;
}

// A table or column name, whatever its letter case.
inline std::string quoteIdentifier(std::string_view s) {
    return sqlQuoted(s, '"');
}

} // namespace vektrin
