#include "platform/command_line.h"

#include <algorithm>

namespace vektrin {

namespace {

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool escapableInDoubleQuotes(char c) {
    return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n';
}

bool nameCharacter(char c, bool first) {
    return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (!first && c >= '0' && c <= '9');
}

// The expansion a shell would make of line[i] = '$' or '`' ("" for a plain '$'): in double quotes
// too.
std::string expansionAt(std::string_view line, std::size_t i) {
    if (line[i] == '`') return "`";
    if (i + 1 >= line.size()) return {};
    const char next = line[i + 1];
    if (next == '{' || next == '(') return std::string("$") + next;
    std::size_t end = i + 1;
    while (end < line.size() && nameCharacter(line[end], end == i + 1))
        ++end;
    return end > i + 1 ? std::string(line.substr(i, end - i)) : std::string();
}

// The syntax of the unquoted character line[i] (and what follows it), "" for none.
std::string syntaxAt(std::string_view line, std::size_t i, bool wordStart) {
    const char c = line[i];
    const bool doubled = i + 1 < line.size() && line[i + 1] == c;
    switch (c) {
    case '>':
    case '<':
    case ';':
    case '*':
        return std::string(1, c);
    case '|':
    case '&':
        if (i > 0 && line[i - 1] == c) return {}; // the second of && or ||
        return std::string(doubled ? 2 : 1, c);
    case '~':
        return wordStart ? "~" : "";
    case '$':
    case '`':
        return expansionAt(line, i);
    default:
        return {};
    }
}

void noteSyntax(std::vector<std::string>& found, std::string syntax) {
    if (!syntax.empty() && std::find(found.begin(), found.end(), syntax) == found.end())
        found.push_back(std::move(syntax));
}

} // namespace

SplitCommandLine splitCommandLine(std::string_view line) {
    SplitCommandLine result;
    std::string word;
    // A word can be empty ('' or ""), so "inside a word" is tracked apart from its text.
    bool inWord = false;
    enum class Quote { None, Single, Double } quote = Quote::None;
    std::size_t opened = 0; // where the open quote is

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
            } else if (c == '$' || c == '`') {
                noteSyntax(result.shellSyntax, expansionAt(line, i));
                word += c;
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
            } else if (c == '\'' || c == '"') {
                quote = c == '"' ? Quote::Double : Quote::Single;
                opened = i;
                inWord = true;
            } else if (c == '\\' && i + 1 < line.size()) {
                ++i;
                if (line[i] != '\n') {
                    word += line[i];
                    inWord = true;
                }
            } else {
                noteSyntax(result.shellSyntax, syntaxAt(line, i, !inWord));
                word += c; // includes a lone trailing backslash, which sh keeps too
                inWord = true;
            }
            break;
        }
    }
    if (quote != Quote::None) {
        result.arguments.clear();
        result.unclosedQuote = true;
        result.quote = line[opened];
        // Characters, not bytes: what an operator counts in the text typed.
        result.quoteAt =
            1 + static_cast<std::size_t>(std::count_if(
                    line.begin(), line.begin() + static_cast<std::ptrdiff_t>(opened),
                    [](char b) { return (static_cast<unsigned char>(b) & 0xC0) != 0x80; }));
        return result;
    }
    if (inWord) result.arguments.push_back(std::move(word));
    return result;
}

} // namespace vektrin
