#pragma once
// A message with its identity, so that each interface can say it in its own language.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

// A format of the string table, whose "%s" the values fill in order. The core writes it in
// English (protocol, vektrinctl, what()); an interface shows it in its own language from the
// format and the values, never from the finished English sentence.
struct OperatorText {
    std::string_view format;
    std::vector<std::string> args;
    // Closed with a full stop, as the general error report closes its texts.
    bool fullStop = false;
    // A text of the table said first ("You have a problem: "): one that ends in a blank runs on
    // into the format, any other stands on a line of its own.
    std::string_view lead = {};

    std::string english() const {
        std::string text(lead);
        if (!lead.empty() && lead.back() != ' ') text += "\r\n";
        std::size_t next = 0;
        for (std::size_t i = 0; i < format.size(); ++i) {
            if (format.compare(i, 2, "%s") == 0 && next < args.size()) {
                text += args[next++];
                ++i;
            } else {
                text += format[i];
            }
        }
        if (fullStop && !text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
        return text;
    }
};

// An error raised with its identity; what() is its English.
class OperatorError : public std::runtime_error {
  public:
    explicit OperatorError(OperatorText text)
        : std::runtime_error(text.english()), text_(std::move(text)) {}
    const OperatorText& text() const { return text_; }

  private:
    OperatorText text_;
};

} // namespace vektrin
