#include "ui/resource_form.h"

#include "engine/scheduler.h"
#include "platform/strings.h"
#include "reports/resource_report.h"
#include "ui/form_widgets.h"

#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

namespace vektrin {
TResourceForm::TResourceForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler), messages_(messages), dm_(scheduler.dataCtrl()) {
    setObjectName("TResourceForm");
    setWindowTitle(qs(str::ResourceFormCaption));
    binding_ = new DataBinding(dm_.Table2, messages_, scheduler_.regional(), this);

    navigator_ = named(new DBNavigator(*binding_, this), "DBNavigator");
    navigator_->reportError = [this](std::string_view text) { scheduler_.reportError(text); };
    ReportButton = plainButton(str::EditorReportButton, "ReportButton", this);
    ButtonExit = plainButton(str::EditorExitButton, "ButtonExit", this);
    EditResourceNo = named(new DBEdit(*binding_, dm_.Table2ResourceNo), "EditResourceNo");
    EditResourceNo->setMaximumWidth(60);
    EditResourceName = named(new DBEdit(*binding_, dm_.Table2ResourceName), "EditResourceName");
    EditMaxWait = named(new DBTimeEdit(*binding_, dm_.Table2MaxWait), "EditMaxWait");
    EditMaxWait->setMaximumWidth(90);
    DBGrid1 = named(new DBGrid(*binding_, {{&dm_.Table2ResourceNo, qs(str::ResourceNumberColumn),
                                            Qt::AlignRight | Qt::AlignVCenter},
                                           {&dm_.Table2ResourceName, qs(str::ResourceNameColumn)},
                                           {&dm_.Table2MaxWait, qs(str::ResourceWaitColumn)}}),
                    "DBGrid1");
    DBGrid1->horizontalHeader()->resizeSection(0, 70);
    DBGrid1->horizontalHeader()->resizeSection(1, 300);

    auto* strip = new QHBoxLayout;
    strip->addWidget(navigator_);
    strip->addSpacing(12);
    strip->addWidget(ReportButton);
    strip->addWidget(ButtonExit);
    strip->addStretch();
    auto* fields = new QGridLayout;
    labelledRow(*fields, 0, qs(str::ResourceNumberLabel), EditResourceNo);
    labelledRow(*fields, 1, qs(str::ResourceNameLabel), EditResourceName);
    labelledRow(*fields, 2, qs(str::ResourceMaxWaitLabel), EditMaxWait);
    fields->setColumnStretch(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(strip);
    layout->addLayout(fields);
    layout->addWidget(DBGrid1, 1);
    resize(560, 400);

    connect(EditResourceNo, &DBEdit::exited, this, [this] { EditResourceNoExit(); });
    connect(ButtonExit, &QPushButton::clicked, this, [this] { ButtonExitClick(); });
    connect(ReportButton, &QPushButton::clicked, this, [this] { ReportButtonClick(); });

    // Whatever posts the resource stores what its edits show.
    previousBeforePost_ = dm_.Table2.beforePost;
    dm_.Table2.beforePost = [this](Table&) {
        if (!binding_->updateRecord()) throw AbortError();
    };
    showReport = [this](ReportForm& report) { report.preview(this); };
}

TResourceForm::~TResourceForm() {
    FormClose();
}

void TResourceForm::FormClose() {
    if (closed_) return;
    dm_.Table2.beforePost = previousBeforePost_;
    closed_ = true;
}

void TResourceForm::done(int result) {
    FormClose();
    QDialog::done(result);
}

template <class Handler> bool TResourceForm::guarded(Handler&& handler) {
    return runHandler([this](std::string_view text) { scheduler_.reportError(text); },
                      std::forward<Handler>(handler));
}

void TResourceForm::EditResourceNoExit() {
    if (dm_.Table2ResourceNo.asInteger() > 31) messages_.showMessage(str::ResourceAboveMaximum);
}

void TResourceForm::ButtonExitClick() {
    const bool posted = guarded([&] {
        if (!binding_->updateRecord()) throw AbortError();
        if (dm_.Table2.modified()) dm_.Table2.post();
    });
    if (posted) close();
}

void TResourceForm::ReportButtonClick() {
    guarded([&] {
        if (!binding_->updateRecord()) return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        TResourceReportForm report(scheduler_);
        QApplication::restoreOverrideCursor();
        showReport(report);
    });
}

} // namespace vektrin
