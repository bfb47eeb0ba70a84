#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

enum class MessageKind { Plain, Error, Information };

// A message with its identity: a format of the string table, whose "%s" the values fill in
// order. The core writes it in English (protocol, vektrinctl, what()); an interface shows it in
// its own language from the format and the values, never from the finished English sentence.
struct OperatorText {
    std::string_view format;
    std::vector<std::string> args;
    // Closed with a full stop, as the general error report closes its texts.
    bool fullStop = false;

    std::string english() const {
        std::string text;
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

// Message boxes with one OK button, captioned with the application title.
class MessagePort {
  public:
    virtual ~MessagePort() = default;
    virtual void showMessage(std::string_view text, MessageKind kind = MessageKind::Plain) = 0;
    // A message with its identity; where nobody translates, its English.
    virtual void showText(const OperatorText& text, MessageKind kind = MessageKind::Plain) {
        showMessage(text.english(), kind);
    }
};

} // namespace vektrin
