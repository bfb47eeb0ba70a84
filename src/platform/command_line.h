#pragma once
// A task's command line split into the program and its arguments, the way a POSIX shell splits
// one simple command: quoting is honoured, nothing is expanded.

#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

struct SplitCommandLine {
    std::vector<std::string> arguments; // arguments[0] names the program; empty for a blank line
    bool unclosedQuote = false;         // a quote was still open at the end: the line is unusable
    char quote = 0;                     // that quote, ' or "
    std::size_t quoteAt = 0;            // its place in the line, in characters from 1
    // What a shell would have taken as its own and the program gets as written: redirections,
    // pipes, lists, a leading ~, $NAME, ${, $(, `, and *; each once, in the order met.
    std::vector<std::string> shellSyntax;
};

// Blanks, tabs and line breaks separate words. '…' keeps everything literally; "…" keeps
// everything but lets a backslash escape $ ` " \ and a line break; a backslash outside quotes
// escapes the next character. $, globs and ~ stay as written. See docs/launching.md.
SplitCommandLine splitCommandLine(std::string_view line);

} // namespace vektrin
