#include "ui/except_form.h"

#include "engine/scheduler.h"
#include "platform/strings.h"
#include "reports/except_report.h"
#include "ui/form_widgets.h"
#include "ui/schedule_pages.h"

#include <QLabel>
#include <QVBoxLayout>
#include <stdexcept>
#include <string>

namespace vektrin {
TExceptForm::TExceptForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent)
    : EditorForm(scheduler, messages, scheduler.dataCtrl().Table3, "TExceptForm",
                 str::ExceptFormCaption, parent) {
    reshowAfterBoxes([this] { FormActivate(); });
    ComboBoxInterval = SchedulePages::intervalComboBox(*binding_, dm_.Table3Interval);
    // A text that is no number becomes the lowest value, which is stored; what cannot be
    // encoded goes to the general error report.
    SchedulePages::Checks checks{
        .digitKeysOnly = false,
        .minute = fields::SilenceMinute,
        .day = fields::SilenceDay,
        .refuse = [](std::string_view text) { throw std::runtime_error(std::string(text)); },
    };
    PanelForPages =
        new SchedulePages(scheduler_, *binding_, dm_.Table3, ScheduleColumns::ofSilence(dm_),
                          {{{{str::ExceptPage0},
                             {str::ExceptPage1, str::ExceptHourStart, str::ExceptHourEnd},
                             {str::ExceptPage2, str::ExceptDayStart, str::ExceptDayEnd},
                             {str::ExceptPage3, str::ExceptDayStart, str::ExceptDayEnd},
                             {str::ExceptPage4, str::ExceptMonthStart, str::ExceptMonthEnd},
                             {str::ExceptPage5, str::ExceptYearStart, str::ExceptYearEnd}}},
                           {}},
                          std::move(checks));

    auto* kind = new QHBoxLayout;
    kind->addWidget(new QLabel(qs(str::ExceptInterval)));
    kind->addWidget(ComboBoxInterval);
    kind->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttonStrip());
    layout->addLayout(kind);
    layout->addWidget(PanelForPages);
    layout->addStretch();
    resize(560, 300);
    ComboBoxInterval->setFocus(); // the window opens on the first field, not on the strip

    connect(navigator_, &DBNavigator::clicked, this,
            [this](DBNavigator::Button b) { DBNavigatorClick(b); });
    connect(ComboBoxInterval, &DBComboBox::chosen, this,
            [this](int index) { ComboBoxIntervalChange(index); });
    connect(ButtonExit, &QPushButton::clicked, this, [this] { ButtonExitClick(); });
    connect(ReportButton, &QPushButton::clicked, this, [this] { ReportButtonClick(); });
}

void TExceptForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TExceptForm::FormActivate() {
    guarded([&] {
        ComboBoxInterval->showField();
        PanelForPages->PagesInit(ComboBoxInterval->currentIndex());
    });
    installBeforePost();
}

void TExceptForm::DBNavigatorClick(DBNavigator::Button button) {
    guarded([&] {
        ComboBoxInterval->showField();
        PanelForPages->PagesInit(ComboBoxInterval->currentIndex());
        // A new period always goes to the end; the untouched record of the Insert button is
        // dropped by the append.
        if (button == DBNavigator::nbInsert) dm_.Table3.append();
    });
}

void TExceptForm::ComboBoxIntervalChange(int index) {
    guarded([&] {
        // The editors store a week day 1..7 for this kind: the day its page shows; a window the
        // period never had opens whole, as vektrinctl opens it.
        Schedule::storeShownWeekDay(ScheduleColumns::ofSilence(dm_));
        Schedule::openWindow(ScheduleColumns::ofSilence(dm_), scheduler_.clock().now());
        PanelForPages->PagesInit(index);
    });
}

void TExceptForm::ButtonExitClick() {
    postAndClose();
}

void TExceptForm::ReportButtonClick() {
    showTableReport([this] { return std::make_unique<TExceptReportForm>(scheduler_); });
    FormActivate();
}

} // namespace vektrin
