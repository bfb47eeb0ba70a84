#include "platform/command_line.h"

namespace vektrin {

namespace {

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool escapableInDoubleQuotes(char c) {
    return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n';
}

} // namespace

SplitCommandLine splitCommandLine(std::string_view line) {
    SplitCommandLine result;
    std::string word;
    // A word can be empty ('' or ""), so "inside a word" is tracked apart from its text.
    bool inWord = false;
    enum class Quote { None, Single, Double } quote = Quote::None;

    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        switch (quote) {
        case Quote::Single:
            if (c == '\'')
                quote = Quote::None;
            else
                word += c;
            break;
        case Quote::Double:
            if (c == '"') {
                quote = Quote::None;
            } else if (c == '\\' && i + 1 < line.size() && escapableInDoubleQuotes(line[i + 1])) {
                ++i;
                if (line[i] != '\n') // backslash-newline joins lines, as in sh
                    word += line[i];
            } else {
                word += c;
            }
            break;
        case Quote::None:
            if (isSeparator(c)) {
                if (inWord) {
                    result.arguments.push_back(std::move(word));
                    word.clear();
                    inWord = false;
                }
            } else if (c == '\'') {
                quote = Quote::Single;
                inWord = true;
            } else if (c == '"') {
                quote = Quote::Double;
                inWord = true;
            } else if (c == '\\' && i + 1 < line.size()) {
                ++i;
                if (line[i] != '\n') {
                    word += line[i];
                    inWord = true;
                }
            } else {
                word += c; // includes a lone trailing backslash, which sh keeps too
                inWord = true;
            }
            break;
        }
    }
    if (quote != Quote::None) {
        result.arguments.clear();
        result.unclosedQuote = true;
        return result;
    }
    if (inWord) result.arguments.push_back(std::move(word));
    return result;
}

} // namespace vektrin
