#include "ui/resource_form.h"

#include "engine/scheduler.h"
#include "engine/task_fields.h"
#include "platform/strings.h"
#include "reports/resource_report.h"
#include "ui/form_widgets.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

namespace vektrin {
TResourceForm::TResourceForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent)
    : EditorForm(scheduler, messages, scheduler.dataCtrl().Table2, "TResourceForm",
                 str::ResourceFormCaption, parent) {
    EditResourceNo = named(new DBEdit(*binding_, dm_.Table2ResourceNo), "EditResourceNo");
    EditResourceNo->setMaximumWidth(60);
    EditResourceName = named(new DBEdit(*binding_, dm_.Table2ResourceName), "EditResourceName");
    EditMaxWait = named(new DBTimeEdit(*binding_, dm_.Table2MaxWait, nullptr, true), "EditMaxWait");
    EditMaxWait->setMaximumWidth(90);
    DBGrid1 = named(new DBGrid(*binding_, {{&dm_.Table2ResourceNo, qs(str::ResourceNumberColumn),
                                            Qt::AlignRight | Qt::AlignVCenter},
                                           {&dm_.Table2ResourceName, qs(str::ResourceNameColumn)},
                                           {&dm_.Table2MaxWait, qs(str::ResourceWaitColumn),
                                            Qt::AlignLeft | Qt::AlignVCenter, true}}),
                    "DBGrid1");
    DBGrid1->horizontalHeader()->resizeSection(0, 70);
    DBGrid1->horizontalHeader()->resizeSection(1, 300);

    QHBoxLayout* strip = buttonStrip();
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
    EditResourceNo->setFocus(); // the window opens on the first field, not on the strip

    connect(EditResourceNo, &DBEdit::exited, this, [this] { EditResourceNoExit(); });
    connect(ButtonExit, &QPushButton::clicked, this, [this] { ButtonExitClick(); });
    connect(ReportButton, &QPushButton::clicked, this, [this] { ReportButtonClick(); });

    installBeforePost();
}

void TResourceForm::EditResourceNoExit() {
    if (fields::aboveResourceMaximum(dm_.Table2ResourceNo.asInteger()))
        messages_.showMessage(str::ResourceAboveMaximum);
}

void TResourceForm::ButtonExitClick() {
    postAndClose();
}

void TResourceForm::ReportButtonClick() {
    showTableReport([this] { return std::make_unique<TResourceReportForm>(scheduler_); });
}

} // namespace vektrin
