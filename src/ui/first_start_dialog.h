#pragma once
// The desktop program's question on an account without the alias Control: create it, with empty
// tables, as `vektrinctl init` does, or go on to the start-up's own refusal.

class QWidget;

namespace vektrin {

// Asks once when no alias Control is defined; "Create" defines it (a failure is shown in a box of
// its own). True when the alias is defined afterwards, or the aliases file cannot be read (the
// start-up names that problem itself).
// created says whether it was made now, so that the new user is shown where Vektrin lives.
bool offerFirstStart(QWidget* parent = nullptr, bool* created = nullptr);

} // namespace vektrin
