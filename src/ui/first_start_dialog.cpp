#include "ui/first_start_dialog.h"

#include "engine/first_start.h"
#include "language/translation.h"
#include "platform/aliases.h"
#include "platform/ini_file.h"
#include "platform/strings.h"

#include <QMessageBox>
#include <QPushButton>

namespace vektrin {
namespace {

// The translated format with each "%s" replaced by the next argument.
QString filled(std::string_view format, const QStringList& args) {
    QString text = qs(format);
    for (const QString& arg : args)
        if (const qsizetype at = text.indexOf(QStringLiteral("%s")); at >= 0)
            text.replace(at, 2, arg);
    return text;
}

} // namespace

bool offerFirstStart(QWidget* parent, bool* created) {
    const FirstStart places = proposedFirstStart();
    try {
        if (lookupAlias("Control", aliasesFilePath())) return true;
    } catch (const ConfigFileError&) {
        return true;
    }
    QMessageBox box(
        QMessageBox::Question, qs(str::FirstStartTitle),
        filled(str::FirstStartQuestion, {QString::fromStdString(places.aliasesFile),
                                         QString::fromStdString(places.tablesDirectory)}),
        QMessageBox::NoButton, parent);
    QPushButton* create = box.addButton(qs(str::FirstStartCreate), QMessageBox::AcceptRole);
    box.addButton(qs(str::FirstStartCancel), QMessageBox::RejectRole);
    box.setDefaultButton(create);
    box.exec();
    if (box.clickedButton() != create) return false;
    try {
        defineControl(places);
    } catch (const std::exception& e) {
        const auto* said = dynamic_cast<const OperatorError*>(&e);
        QMessageBox::critical(
            parent, qs(str::FirstStartTitle),
            filled(str::FirstStartFailed,
                   {said ? operatorText(said->text()) : QString::fromLocal8Bit(e.what())}));
        return false;
    }
    if (created) *created = true;
    return true;
}

} // namespace vektrin
