#pragma once

#include <string_view>

namespace vektrin {

enum class MessageKind { Plain, Error, Information };

// Message boxes with one OK button, captioned with the application title.
class MessagePort {
  public:
    virtual ~MessagePort() = default;
    virtual void showMessage(std::string_view text, MessageKind kind = MessageKind::Plain) = 0;
};

} // namespace vektrin
