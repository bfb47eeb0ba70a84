#include "ui/editor_support.h"

#include "engine/scheduler.h"
#include "platform/strings.h"
#include "reports/report_form.h"
#include "ui/busy_cursor.h"
#include "ui/form_widgets.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace vektrin {

void reportHandlerError(Scheduler& scheduler, std::string_view text) {
    scheduler.reportError(text);
}

EditorForm::EditorForm(Scheduler& scheduler, MessagePort& messages, Table& table, const char* name,
                       std::string_view caption, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler), messages_(messages), dm_(scheduler.dataCtrl()),
      table_(table) {
    setObjectName(name);
    setWindowTitle(qs(caption));
    binding_ = new DataBinding(table_, messages_, scheduler_.regional(), this);
    navigator_ = named(new DBNavigator(*binding_, this), "DBNavigator");
    navigator_->reportError = [this](std::string_view text) { scheduler_.reportError(text); };
    ReportButton = plainButton(str::EditorReportButton, "ReportButton", this);
    ButtonExit = plainButton(str::EditorExitButton, "ButtonExit", this);
    showReport = [this](ReportForm& report) { report.preview(this); };
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

void EditorForm::postAndClose(const std::function<void()>& settle) {
    const bool posted = guarded([&] {
        if (settle) settle();
        if (!binding_->updateRecord()) throw AbortError();
        if (table_.modified()) table_.post();
    });
    if (posted) close();
}

void EditorForm::showTableReport(const std::function<std::unique_ptr<ReportForm>()>& create) {
    guarded([&] {
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
