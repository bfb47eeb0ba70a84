#include "ui/editor_support.h"

#include "engine/scheduler.h"
#include "platform/strings.h"
#include "reports/report_form.h"
#include "ui/busy_cursor.h"
#include "ui/form_widgets.h"
#include "ui/keyboard.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

namespace vektrin {

void reportHandlerError(Scheduler& scheduler, const std::exception& error) {
    const auto* refused = dynamic_cast<const DatabaseError*>(&error);
    if (refused && refused->shown()) return scheduler.reportError(*refused->shown());
    scheduler.reportError(error.what());
}

EditorForm::EditorForm(Scheduler& scheduler, MessagePort& messages, Table& table, const char* name,
                       std::string_view caption, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler), messages_(messages), dm_(scheduler.dataCtrl()),
      table_(table) {
    setObjectName(name);
    setWindowTitle(qs(caption));
    binding_ = new DataBinding(table_, messages_, scheduler_.regional(), this);
    navigator_ = named(new DBNavigator(*binding_, this), "DBNavigator");
    navigator_->reportError = [this](const std::exception& e) {
        reportHandlerError(scheduler_, e);
    };
    ReportButton = plainButton(str::EditorReportButton, "ReportButton", this);
    ButtonExit = plainButton(str::EditorExitButton, "ButtonExit", this);
    giveMnemonics({ReportButton, ButtonExit});
    showReport = [this](ReportForm& report) { report.preview(this); };
    askSave = [this] {
        // Nobody can see the question: the changes go, as they did before it was asked.
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
            return SaveAnswer::No;
        const auto answer = QMessageBox::question(
            this, QCoreApplication::applicationName(), qs(str::SaveChangesQuestion),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
        return answer == QMessageBox::Yes  ? SaveAnswer::Yes
               : answer == QMessageBox::No ? SaveAnswer::No
                                           : SaveAnswer::Cancel;
    };
    // The window shows the table as it is now, whatever another program wrote meanwhile; not
    // while a pass held by its message box walks the table (its cursor must stay where it is).
    if (table_.state() == Table::State::Browse && !table_.controlsDisabled())
        guarded([this] { table_.refresh(); });
    // The navigator's keys reach it from every control of the window, before the control's own
    // use of them.
    QCoreApplication::instance()->installEventFilter(this);
}

bool EditorForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QDialog::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this) return false;
    const auto button = DBNavigator::buttonForKey(*static_cast<QKeyEvent*>(event));
    if (!button) return false;
    // Esc first takes back an edit's unsaved text; Page Up and Down keep scrolling a list.
    if (const auto* control = dynamic_cast<const DBControl*>(widget);
        *button == DBNavigator::nbCancel && control && control->pending())
        return false;
    if ((*button == DBNavigator::nbPrior || *button == DBNavigator::nbNext) &&
        qobject_cast<QAbstractItemView*>(widget) && !qobject_cast<DBGrid*>(widget))
        return false;
    if (navigator_->button(*button)->isEnabled()) navigator_->click(*button);
    return true;
}

EditorForm::~EditorForm() {
    FormClose();
}

QHBoxLayout* EditorForm::buttonStrip() {
    auto* strip = new QHBoxLayout;
    strip->addWidget(navigator_);
    strip->addSpacing(12);
    strip->addWidget(ReportButton);
    strip->addWidget(ButtonExit);
    strip->addStretch();
    return strip;
}

void EditorForm::reshowAfterBoxes(std::function<void()> activate) {
    binding_->afterMessage = activate;
    navigator_->confirmDelete = [this, activate](std::string_view question) {
        const bool yes = askOperator(this, question);
        activate();
        return yes;
    };
}

void EditorForm::installBeforePost(std::function<void(Table&)> handler) {
    if (!handler) {
        handler = [this](Table&) {
            if (!binding_->updateRecord()) throw AbortError();
        };
    }
    if (!beforePostInstalled_) {
        previousBeforePost_ = table_.beforePost;
        beforePostInstalled_ = true;
    }
    table_.beforePost = std::move(handler);
}

void EditorForm::FormClose() {
    if (!beforePostInstalled_) return;
    table_.beforePost = previousBeforePost_;
    beforePostInstalled_ = false;
}

void EditorForm::done(int result) {
    dropUnstored();
    FormClose();
    QDialog::done(result);
}

void EditorForm::dropUnstored() {
    table_.cancel();
}

bool EditorForm::storeRecord() {
    return guarded([&] {
        if (settleRecord) settleRecord();
        if (!binding_->updateRecord()) throw AbortError();
        if (table_.modified()) table_.post();
    });
}

void EditorForm::postAndClose() {
    if (storeRecord()) close();
}

void EditorForm::closeEvent(QCloseEvent* event) {
    const bool unposted =
        table_.state() != Table::State::Browse && (table_.modified() || binding_->pending());
    if (isVisible() && unposted) {
        const SaveAnswer answer = askSave();
        if (answer == SaveAnswer::Cancel || (answer == SaveAnswer::Yes && !storeRecord())) {
            event->ignore();
            return;
        }
    }
    QDialog::closeEvent(event);
}

void EditorForm::showTableReport(const std::function<std::unique_ptr<ReportForm>()>& create) {
    guarded([&] {
        if (settleRecord) settleRecord();
        if (!binding_->storeBeforeMove()) return;
        std::unique_ptr<ReportForm> report;
        {
            BusyCursor busy;
            report = create();
        }
        showReport(*report);
    });
}

} // namespace vektrin
