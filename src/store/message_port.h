#pragma once

#include "platform/operator_text.h"

#include <string_view>

namespace vektrin {

enum class MessageKind { Plain, Error, Information };

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
