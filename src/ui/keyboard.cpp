#include "ui/keyboard.h"

#include <QAbstractButton>
#include <QWidget>

namespace vektrin {

void giveMnemonics(const QList<QAbstractButton*>& buttons, QString taken) {
    taken = taken.toLower();
    for (QAbstractButton* button : buttons) {
        QString text = button->text();
        text.remove(QLatin1Char('&'));
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar letter = text[i].toLower();
            if (!letter.isLetter() || taken.contains(letter)) continue;
            taken += letter;
            text.insert(i, QLatin1Char('&'));
            break;
        }
        button->setText(text);
    }
}

void setTabChain(const QList<QWidget*>& widgets) {
    for (qsizetype i = 1; i < widgets.size(); ++i)
        QWidget::setTabOrder(widgets[i - 1], widgets[i]);
}

} // namespace vektrin
