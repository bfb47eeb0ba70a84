#pragma once
// What makes every window usable from the keyboard alone: underlined letters on buttons that
// never clash within a window, in whatever language the captions are.

#include <QList>
#include <QString>

class QAbstractButton;
class QWidget;

namespace vektrin {

// Underlines in each caption, in order, its first letter that no earlier button of the window
// (nor a letter in taken) has; a caption without a free letter gets none. The letter is chosen
// from the caption as translated, so both languages get shortcuts of their own.
void giveMnemonics(const QList<QAbstractButton*>& buttons, QString taken = {});

// Tab goes from each widget to the next, in this order.
void setTabChain(const QList<QWidget*>& widgets);

} // namespace vektrin
