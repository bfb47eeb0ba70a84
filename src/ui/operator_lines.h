#pragma once
// What the operator interface says where no window can be seen (the headless scheduler, the
// offscreen platform): each message box and each notification is one line on standard error, so
// that a service manager's journal keeps it as one entry. QtCore alone: the headless scheduler
// has no widgets.

#include "engine/operator_port.h"

#include <QString>
#include <string>
#include <string_view>

namespace vektrin {

// A message box, captioned with the application's name and answered OK at once.
void writeMessageLine(std::string_view text);
void writeMessageLine(const OperatorText& text);

// "vektrin: " and the line.
void writeNoticeLine(std::string line);

// A task's notice: "vektrin: <task>: <what happened>".
void writeTaskNoticeLine(const TaskNotice& notice);

// What a protocol notice says, in the interface's language.
QString protocolNoticeText(const ProtocolNotice& notice);

} // namespace vektrin
