#include "ui/except_form.h"

#include "engine/scheduler.h"
#include "platform/strings.h"
#include "reports/except_report.h"
#include "ui/form_widgets.h"
#include "ui/schedule_encoding.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstdint>

namespace vektrin {
TExceptForm::TExceptForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler), dm_(scheduler.dataCtrl()) {
    setObjectName("TExceptForm");
    setWindowTitle(qs(str::ExceptFormCaption));
    binding_ = new DataBinding(dm_.Table3, messages, scheduler_.regional(), this);
    binding_->afterMessage = [this] { FormActivate(); };

    navigator_ = named(new DBNavigator(*binding_, this), "DBNavigator");
    navigator_->confirmDelete = [this](std::string_view question) {
        const bool yes = askOperator(this, question);
        FormActivate();
        return yes;
    };
    navigator_->reportError = [this](std::string_view text) { reportError(text); };
    ReportButton = plainButton(str::EditorReportButton, "ReportButton", this);
    ButtonExit = plainButton(str::EditorExitButton, "ButtonExit", this);
    ComboBoxInterval =
        named(new DBComboBox(*binding_, dm_.Table3Interval,
                             {qs(str::IntervalEveryMinute), qs(str::IntervalEveryHour),
                              qs(str::IntervalEveryday), qs(str::IntervalWeekly),
                              qs(str::IntervalEveryMonth), qs(str::IntervalEveryYear)}),
              "ComboBoxInterval");
    buildPages();

    auto* strip = new QHBoxLayout;
    strip->addWidget(navigator_);
    strip->addSpacing(12);
    strip->addWidget(ReportButton);
    strip->addWidget(ButtonExit);
    strip->addStretch();
    auto* kind = new QHBoxLayout;
    kind->addWidget(new QLabel(qs(str::ExceptInterval)));
    kind->addWidget(ComboBoxInterval);
    kind->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(strip);
    layout->addLayout(kind);
    layout->addWidget(PanelForPages);
    layout->addStretch();
    resize(560, 300);

    connect(navigator_, &DBNavigator::clicked, this,
            [this](DBNavigator::Button b) { DBNavigatorClick(b); });
    connect(ComboBoxInterval, &DBComboBox::chosen, this,
            [this](int index) { ComboBoxIntervalChange(index); });
    connect(EditHourStartTime, &QLineEdit::textChanged, this,
            [this] { EditHourStartTimeChange(); });
    connect(EditHourEndTime, &QLineEdit::textChanged, this, [this] { EditHourEndTimeChange(); });
    connect(EditMonthStartDate, &QLineEdit::textChanged, this,
            [this] { EditMonthStartDateChange(); });
    connect(EditMonthEndDate, &QLineEdit::textChanged, this, [this] { EditMonthEndDateChange(); });
    connect(weekDays_, &QButtonGroup::idClicked, this,
            [this](int item) { RadioGroupWeekDaysClick(item); });
    connect(ButtonExit, &QPushButton::clicked, this, [this] { ButtonExitClick(); });
    connect(ReportButton, &QPushButton::clicked, this, [this] { ReportButtonClick(); });

    showReport = [this](ReportForm& report) { report.preview(this); };
}

TExceptForm::~TExceptForm() {
    FormClose();
}

void TExceptForm::buildPages() {
    PanelForPages = named(new QWidget, "PanelForPages");
    auto* stack = new QGridLayout(PanelForPages);
    stack->setContentsMargins(0, 0, 0, 0);
    auto page = [&](int kind, std::string_view caption) {
        auto* box = new QGroupBox(qs(caption), PanelForPages);
        box->setObjectName(QStringLiteral("GroupBox%1").arg(kind + 1));
        stack->addWidget(box, 0, 0);
        pages_[kind] = box;
        auto* grid = new QGridLayout(box);
        grid->setColumnStretch(3, 1);
        return grid;
    };
    auto plainEdit = [](const char* name) {
        auto* e = named(new QLineEdit, name);
        e->setMaximumWidth(60);
        return e;
    };
    auto timeEdit = [&](Field& f, const char* name) {
        auto* e = named(new DBTimeEdit(*binding_, f), name);
        e->setMaximumWidth(90);
        return e;
    };
    auto dateEdit = [&](Field& f, const char* name) {
        auto* e = named(new DBDateEdit(*binding_, f), name);
        e->setMaximumWidth(100);
        return e;
    };

    QGridLayout* g = page(0, str::ExceptPage0);
    auto* note = new QLabel(qs(str::NoAdditionalParameters));
    QFont italic = note->font();
    italic.setItalic(true);
    note->setFont(italic);
    QPalette green = note->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    note->setPalette(green);
    g->addWidget(note, 0, 0);

    g = page(1, str::ExceptPage1);
    EditHourStartTime = plainEdit("EditHourStartTime");
    EditHourEndTime = plainEdit("EditHourEndTime");
    labelledRow(*g, 0, qs(str::ExceptHourStart), EditHourStartTime);
    labelledRow(*g, 1, qs(str::ExceptHourEnd), EditHourEndTime);

    g = page(2, str::ExceptPage2);
    labelledRow(*g, 0, qs(str::ExceptDayStart),
                timeEdit(dm_.Table3StartTime, "DBEditDayStartTime"));
    labelledRow(*g, 1, qs(str::ExceptDayEnd), timeEdit(dm_.Table3EndTime, "DBEditDayEndTime"));

    g = page(3, str::ExceptPage3);
    RadioGroupWeekDays = named(new QGroupBox(qs(str::DayOfWeek)), "RadioGroupWeekDays");
    weekDays_ = new QButtonGroup(this);
    auto* days = new QGridLayout(RadioGroupWeekDays);
    const std::string_view names[] = {str::Monday, str::Tuesday,  str::Wednesday, str::Thursday,
                                      str::Friday, str::Saturday, str::Sunday};
    for (int i = 0; i < 7; ++i) {
        auto* radio = new QRadioButton(qs(names[i]));
        radio->setObjectName(QStringLiteral("RadioGroupWeekDays%1").arg(i));
        weekDays_->addButton(radio, i);
        days->addWidget(radio, i % 4, i / 4);
    }
    g->addWidget(RadioGroupWeekDays, 0, 0, 2, 1);
    auto* times = new QGridLayout;
    labelledRow(*times, 0, qs(str::ExceptDayStart),
                timeEdit(dm_.Table3StartTime, "DBEditWeekStartTime"));
    labelledRow(*times, 1, qs(str::ExceptDayEnd), timeEdit(dm_.Table3EndTime, "DBEditWeekEndTime"));
    g->addLayout(times, 0, 1, 2, 2);

    g = page(4, str::ExceptPage4);
    EditMonthStartDate = plainEdit("EditMonthStartDate");
    EditMonthEndDate = plainEdit("EditMonthEndDate");
    labelledRow(*g, 0, qs(str::ExceptMonthStart), EditMonthStartDate,
                timeEdit(dm_.Table3StartTime, "DBEditMonthStartTime"));
    labelledRow(*g, 1, qs(str::ExceptMonthEnd), EditMonthEndDate,
                timeEdit(dm_.Table3EndTime, "DBEditMonthEndTime"));

    g = page(5, str::ExceptPage5);
    labelledRow(*g, 0, qs(str::ExceptYearStart),
                dateEdit(dm_.Table3StartDate, "DBEditYearStartDate"),
                timeEdit(dm_.Table3StartTime, "DBEditYearStartTime"));
    labelledRow(*g, 1, qs(str::ExceptYearEnd), dateEdit(dm_.Table3EndDate, "DBEditYaerEndDate"),
                timeEdit(dm_.Table3EndTime, "DBEditYearEndTime"));

    int height = 0;
    for (QGroupBox* p : pages_)
        height = std::max(height, p->sizeHint().height());
    PanelForPages->setMinimumHeight(height);
}

template <class Handler> bool TExceptForm::guarded(Handler&& handler) {
    return runHandler([this](std::string_view text) { reportError(text); },
                      std::forward<Handler>(handler));
}

void TExceptForm::reportError(std::string_view text) {
    scheduler_.reportError(text);
}

void TExceptForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TExceptForm::FormActivate() {
    guarded([&] {
        ComboBoxInterval->showField();
        PagesInit(ComboBoxInterval->currentIndex());
    });
    // Whatever posts the period stores what its edits show.
    if (!beforePostInstalled_) {
        previousBeforePost_ = dm_.Table3.beforePost;
        beforePostInstalled_ = true;
    }
    dm_.Table3.beforePost = [this](Table&) {
        if (!binding_->updateRecord()) throw AbortError();
    };
}

void TExceptForm::FormClose() {
    if (!beforePostInstalled_) return;
    dm_.Table3.beforePost = previousBeforePost_;
    beforePostInstalled_ = false;
}

void TExceptForm::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TExceptForm::DBNavigatorClick(DBNavigator::Button button) {
    guarded([&] {
        ComboBoxInterval->showField();
        PagesInit(ComboBoxInterval->currentIndex());
        // A new period always goes to the end; the untouched record of the Insert button is
        // dropped by the append.
        if (button == DBNavigator::nbInsert) dm_.Table3.append();
    });
}

void TExceptForm::ComboBoxIntervalChange(int index) {
    guarded([&] { PagesInit(index); });
}

void TExceptForm::PagesInit(int kind) {
    filling_ = true;
    for (int j = 0; j < static_cast<int>(pages_.size()); ++j) {
        QGroupBox* page = pages_[j];
        if (j != kind) {
            page->setVisible(false);
            page->setEnabled(false);
            continue;
        }
        page->raise();
        page->setVisible(true);
        page->setEnabled(true);
        switch (kind) {
        case 1:
            EditHourStartTime->setText(
                QString::number(encoding::minuteOf(dm_.Table3StartTime.asDateTime())));
            EditHourEndTime->setText(
                QString::number(encoding::minuteOf(dm_.Table3EndTime.asDateTime())));
            break;
        case 3:
            weekDays_->button(encoding::weekDayItem(dm_.Table3StartDate.asDateTime()))
                ->setChecked(true);
            break;
        case 4:
            EditMonthStartDate->setText(
                QString::number(encoding::dayOf(dm_.Table3StartDate.asDateTime())));
            EditMonthEndDate->setText(
                QString::number(encoding::dayOf(dm_.Table3EndDate.asDateTime())));
            break;
        default:
            break;
        }
    }
    filling_ = false;
}

// A text that is no number becomes "0", which runs the handler again and stores minute 0.
void TExceptForm::minuteChanged(QLineEdit* edit, Field& field) {
    if (filling_) return;
    guarded([&] {
        int minute = 0;
        if (const auto value = encoding::toInteger(edit->text().toStdString()))
            minute = static_cast<std::uint16_t>(*value);
        else
            edit->setText(QString::number(minute));
        dm_.Table3.edit();
        const auto time = encoding::minuteTime(minute);
        if (!time) throw std::runtime_error(std::string(str::InvalidTimeEncode));
        field.setDateTime(*time);
    });
}

// A text that is no number becomes "1", which runs the handler again and stores day 1.
void TExceptForm::dayChanged(QLineEdit* edit, Field& field) {
    if (filling_) return;
    guarded([&] {
        int day = 1;
        if (const auto value = encoding::toInteger(edit->text().toStdString()))
            day = static_cast<std::uint16_t>(*value);
        else
            edit->setText(QString::number(day));
        dm_.Table3.edit();
        const auto date = encoding::dayDate(day);
        if (!date) throw std::runtime_error(std::string(str::InvalidDateEncode));
        field.setDateTime(*date);
    });
}

void TExceptForm::EditHourStartTimeChange() {
    minuteChanged(EditHourStartTime, dm_.Table3StartTime);
}

void TExceptForm::EditHourEndTimeChange() {
    minuteChanged(EditHourEndTime, dm_.Table3EndTime);
}

void TExceptForm::EditMonthStartDateChange() {
    dayChanged(EditMonthStartDate, dm_.Table3StartDate);
}

void TExceptForm::EditMonthEndDateChange() {
    dayChanged(EditMonthEndDate, dm_.Table3EndDate);
}

void TExceptForm::RadioGroupWeekDaysClick(int item) {
    guarded([&] {
        dm_.Table3.edit();
        dm_.Table3StartDate.setDateTime(encoding::weekDayDate(item));
    });
}

void TExceptForm::ButtonExitClick() {
    const bool posted = guarded([&] {
        if (!binding_->updateRecord()) throw AbortError();
        if (dm_.Table3.modified()) dm_.Table3.post();
    });
    if (posted) close();
}

void TExceptForm::ReportButtonClick() {
    guarded([&] {
        if (!binding_->updateRecord()) return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        TExceptReportForm report(scheduler_);
        QApplication::restoreOverrideCursor();
        showReport(report);
    });
    FormActivate();
}

} // namespace vektrin
