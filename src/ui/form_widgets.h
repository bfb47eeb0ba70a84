#pragma once
// Small helpers every window of the operator interface builds its widgets with.

#include "language/translation.h"

#include <QColor>
#include <QEvent>
#include <QPushButton>
#include <QString>
#include <string_view>

namespace vektrin {

// "About to start again" and "well formed but false" are yellow in meaning; drawn as a dark
// amber, which reads on the light window and button backgrounds (contrast above 5:1).
inline QColor amber() {
    return QColor(0x8A, 0x5A, 0x00);
}

// Widgets carry their system name, so tests find them with findChild.
template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// A strip button: a click or its underlined letter leaves the focus where it is, like the
// navigator's buttons, so an edit's value is checked once, by the button's own work. Tab still
// reaches it, and Space presses it then.
class StripButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::Shortcut) return QPushButton::event(event);
        if (isEnabled()) click();
        return true;
    }
};

inline QPushButton* plainButton(std::string_view text, const char* name, QWidget* parent) {
    auto* b = named(new StripButton(qs(text), parent), name);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

} // namespace vektrin
