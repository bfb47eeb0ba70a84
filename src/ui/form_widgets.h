#pragma once
// Small helpers every window of the operator interface builds its widgets with.

#include "ui/translation.h"

#include <QPushButton>
#include <QString>
#include <string_view>

namespace vektrin {

// Widgets carry their system name, so tests find them with findChild.
template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// A strip button that, like the navigator's, leaves the focus where it is, so an edit's value is
// checked once, by the button's own work.
inline QPushButton* plainButton(std::string_view text, const char* name, QWidget* parent) {
    auto* b = named(new QPushButton(qs(text), parent), name);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace vektrin
