#pragma once

#include "store/message_port.h"

#include <string>
#include <vector>

namespace vektrin::test {

class RecordingMessages : public MessagePort {
  public:
    void showMessage(std::string_view text, MessageKind kind) override {
        messages.emplace_back(text);
        kinds.push_back(kind);
    }
    std::vector<std::string> messages;
    std::vector<MessageKind> kinds;
};

} // namespace vektrin::test
