#include "ui/param_form.h"

#include "engine/scheduler.h"
#include "platform/strings.h"
#include "reports/param_report.h"
#include "store/running_tasks.h"
#include "ui/form_widgets.h"
#include "ui/schedule_encoding.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdint>

namespace vektrin {
namespace {

// The operator's condition text without the blanks and control characters around it.
std::string trimmedCondition(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin].unicode() <= ' ')
        ++begin;
    while (end > begin && text[end - 1].unicode() <= ' ')
        --end;
    return text.mid(begin, end - begin).toStdString();
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

} // namespace

TParamForm::TParamForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent)
    : QDialog(parent), scheduler_(scheduler), messages_(messages), dm_(scheduler.dataCtrl()) {
    setObjectName("TParamForm");
    setWindowTitle(qs(str::ParamFormCaption));
    binding_ = new DataBinding(dm_.Table1, messages_, scheduler_.regional(), this);
    binding_->afterMessage = [this] { FormActivate(); };
    resources_ = new DataBinding(dm_.Table2, messages_, scheduler_.regional(), this);

    navigator_ = named(new DBNavigator(*binding_, this), "DBNavigator");
    navigator_->confirmDelete = [this](std::string_view question) {
        const bool yes = askOperator(this, question);
        FormActivate();
        return yes;
    };
    navigator_->reportError = [this](std::string_view text) { reportError(text); };
    ReportButton = plainButton(str::EditorReportButton, "ReportButton", this);
    ButtonExit = plainButton(str::EditorExitButton, "ButtonExit", this);

    EditAppName = named(new DBEdit(*binding_, dm_.Table1AppName), "EditAppName");
    EditApplication = named(new DBEdit(*binding_, dm_.Table1Application), "EditApplication");
    EditAppDirectory = named(new DBEdit(*binding_, dm_.Table1AppDirectory), "EditAppDirectory");
    ComboBoxInterval =
        named(new DBComboBox(*binding_, dm_.Table1Interval,
                             {qs(str::IntervalEveryMinute), qs(str::IntervalEveryHour),
                              qs(str::IntervalEveryday), qs(str::IntervalWeekly),
                              qs(str::IntervalEveryMonth), qs(str::IntervalEveryYear)}),
              "ComboBoxInterval");
    ComboBoxRunType = named(new DBComboBox(*binding_, dm_.Table1RunType,
                                           {qs(str::RunTypeNormal), qs(str::RunTypeHided),
                                            qs(str::RunTypeMinimized), qs(str::RunTypeMaximized)}),
                            "ComboBoxRunType");
    ComboBoxPriority = named(new DBComboBox(*binding_, dm_.Table1Priority,
                                            {qs(str::PriorityNormal), qs(str::PriorityLow),
                                             qs(str::PriorityHigh), qs(str::PriorityRealTime)}),
                             "ComboBoxPriority");
    CheckBoxStopped = named(new DBCheckBox(*binding_, dm_.Table1Stopped, qs(str::ParamStopped)),
                            "CheckBoxStopped");
    DBCheckBoxInterupt =
        named(new DBCheckBox(*binding_, dm_.Table1Interupt, qs(str::ParamInterruptPending)),
              "DBCheckBoxInterupt");
    DBCheckBox1 = named(new DBCheckBox(*binding_, dm_.Table1WaitRes, qs(str::ParamWaitIfBusy)),
                        "DBCheckBox1");
    Label9 = named(new QLabel(qs(str::ParamLaunchCondition)), "Label9");
    Label10 = named(new QLabel(qs(str::ParamTerminateCondition)), "Label10");
    EditStartCondition =
        named(new DBEdit(*binding_, dm_.Table1StartCondition), "EditStartCondition");
    EditEndCondition = named(new DBEdit(*binding_, dm_.Table1EndCondition), "EditEndCondition");
    ListBoxConflicts = named(new QListWidget, "ListBoxConflicts");
    ListBoxConflicts->setSelectionMode(QAbstractItemView::MultiSelection);
    buildPages();

    // Layout: the strip with the navigator and buttons, the task's controls, and at the right
    // the conflicting resources.
    auto* strip = new QHBoxLayout;
    strip->addWidget(navigator_);
    strip->addSpacing(12);
    strip->addWidget(ReportButton);
    strip->addWidget(ButtonExit);
    strip->addStretch();

    auto* fields = new QGridLayout;
    int row = 0;
    labelledRow(*fields, row++, qs(str::ParamTaskName), EditAppName);
    labelledRow(*fields, row++, qs(str::ParamCommandString), EditApplication);
    labelledRow(*fields, row++, qs(str::ParamStartupDirectory), EditAppDirectory);
    auto* combos = new QGridLayout;
    combos->addWidget(new QLabel(qs(str::ParamLaunchInterval)), 0, 0);
    combos->addWidget(new QLabel(qs(str::ParamRunType)), 0, 1);
    combos->addWidget(new QLabel(qs(str::ParamRunPriority)), 0, 2);
    combos->addWidget(ComboBoxInterval, 1, 0);
    combos->addWidget(ComboBoxRunType, 1, 1);
    combos->addWidget(ComboBoxPriority, 1, 2);
    fields->addLayout(combos, row++, 0, 1, 3);
    fields->addWidget(PanelForPages, row++, 0, 1, 3);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(CheckBoxStopped);
    boxes->addWidget(DBCheckBoxInterupt);
    boxes->addWidget(DBCheckBox1);
    boxes->addStretch();
    fields->addLayout(boxes, row++, 0, 1, 3);
    fields->addWidget(Label9, row, 0);
    fields->addWidget(EditStartCondition, row++, 1, 1, 2);
    fields->addWidget(Label10, row, 0);
    fields->addWidget(EditEndCondition, row++, 1, 1, 2);
    fields->setColumnStretch(1, 1);

    auto* conflicts = new QGroupBox(qs(str::ParamConflictingResources));
    auto* conflictsLayout = new QVBoxLayout(conflicts);
    conflictsLayout->addWidget(ListBoxConflicts);
    conflicts->setMinimumWidth(190);

    auto* body = new QHBoxLayout;
    body->addLayout(fields, 1);
    body->addWidget(conflicts);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(strip);
    layout->addLayout(body);
    resize(760, 470);

    // Handlers.
    connect(navigator_, &DBNavigator::aboutToAct, this, [this](DBNavigator::Button b) {
        // Cancel and Delete drop the record's changes, a fresh tick of "Stopped" with them.
        if (b != DBNavigator::nbCancel && b != DBNavigator::nbDelete)
            guarded([&] { settleStopped(); });
    });
    connect(navigator_, &DBNavigator::clicked, this,
            [this](DBNavigator::Button b) { DBNavigatorClick(b); });
    connect(ComboBoxInterval, &DBComboBox::chosen, this,
            [this](int index) { ComboBoxIntervalChange(index); });
    connect(EditHourStartTime, &QLineEdit::textChanged, this,
            [this] { EditHourTimeChange(EditHourStartTime); });
    connect(EditHourEndTime, &QLineEdit::textChanged, this,
            [this] { EditHourTimeChange(EditHourEndTime); });
    connect(EditMonthStartDate, &QLineEdit::textChanged, this,
            [this] { EditMonthDateChange(EditMonthStartDate); });
    connect(EditMonthEndDate, &QLineEdit::textChanged, this,
            [this] { EditMonthDateChange(EditMonthEndDate); });
    connect(weekDays_, &QButtonGroup::idClicked, this,
            [this](int item) { RadioGroupWeekDaysClick(item); });
    connect(ListBoxConflicts, &QListWidget::itemSelectionChanged, this, [this] {
        if (!filling_) guarded([&] { ConflictsListUpdate(); });
    });
    connect(EditStartCondition, &QLineEdit::textChanged, this,
            [this] { EditStartConditionChange(); });
    connect(EditEndCondition, &QLineEdit::textChanged, this, [this] { EditEndConditionChange(); });
    connect(CheckBoxStopped, &DBCheckBox::exited, this, [this] { CheckBoxStoppedExit(); });
    connect(ButtonExit, &QPushButton::clicked, this, [this] { ButtonExitClick(); });
    connect(ReportButton, &QPushButton::clicked, this, [this] { ReportButtonClick(); });
    connect(binding_, &DataBinding::changed, this, [this] { noteStoppedBaseline(); });
    connect(resources_, &DataBinding::changed, this, [this] { resourcesChanged(); });
    for (QLineEdit* e : {EditHourStartTime, EditHourEndTime, EditMonthStartDate, EditMonthEndDate})
        e->installEventFilter(this);

    showReport = [this](ReportForm& report) { report.preview(this); };
    noteStoppedBaseline();
}

TParamForm::~TParamForm() {
    FormClose();
}

void TParamForm::buildPages() {
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
    auto repeatEdit = [&](const char* name) {
        auto* e = named(new DBEdit(*binding_, dm_.Table1RepeatInterval), name);
        e->setMaximumWidth(60);
        return e;
    };

    QGridLayout* g = page(0, str::ParamPage0);
    auto* note = new QLabel(qs(str::NoAdditionalParameters));
    QFont italic = note->font();
    italic.setItalic(true);
    note->setFont(italic);
    setTextColour(note, QColor(0, 128, 0));
    g->addWidget(note, 0, 0);

    g = page(1, str::ParamPage1);
    EditHourStartTime = plainEdit("EditHourStartTime");
    EditHourEndTime = plainEdit("EditHourEndTime");
    labelledRow(*g, 0, qs(str::ParamHourStart), EditHourStartTime);
    labelledRow(*g, 1, qs(str::ParamHourEnd), EditHourEndTime);
    labelledRow(*g, 2, qs(str::ParamRepeatInterval), repeatEdit("DBEditHourInterval"));

    g = page(2, str::ParamPage2);
    labelledRow(*g, 0, qs(str::ParamDayStart), timeEdit(dm_.Table1StartTime, "DBEditDayStartTime"));
    labelledRow(*g, 1, qs(str::ParamDayEnd), timeEdit(dm_.Table1EndTime, "DBEditDayEndTime"));
    labelledRow(*g, 2, qs(str::ParamRepeatInterval), repeatEdit("DBEditDayInterval"));

    g = page(3, str::ParamPage3);
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
    g->addWidget(RadioGroupWeekDays, 0, 0, 3, 1);
    auto* times = new QGridLayout;
    labelledRow(*times, 0, qs(str::ParamWeekStart),
                timeEdit(dm_.Table1StartTime, "DBEditWeekStartTime"));
    labelledRow(*times, 1, qs(str::ParamWeekEnd), timeEdit(dm_.Table1EndTime, "DBEditWeekEndTime"));
    labelledRow(*times, 2, qs(str::ParamRepeatInterval), repeatEdit("DBEditWeekInterval"));
    g->addLayout(times, 0, 1, 3, 2);

    g = page(4, str::ParamPage4);
    EditMonthStartDate = plainEdit("EditMonthStartDate");
    EditMonthEndDate = plainEdit("EditMonthEndDate");
    labelledRow(*g, 0, qs(str::ParamMonthStart), EditMonthStartDate,
                timeEdit(dm_.Table1StartTime, "DBEditMonthStartTime"));
    labelledRow(*g, 1, qs(str::ParamMonthEnd), EditMonthEndDate,
                timeEdit(dm_.Table1EndTime, "DBEditMonthEndTime"));
    labelledRow(*g, 2, qs(str::ParamRepeatInterval), repeatEdit("DBEditMonthInterval"));

    g = page(5, str::ParamPage5);
    auto dateEdit = [&](Field& f, const char* name) {
        auto* e = named(new DBDateEdit(*binding_, f), name);
        e->setMaximumWidth(100);
        return e;
    };
    labelledRow(*g, 0, qs(str::ParamYearStart),
                dateEdit(dm_.Table1StartDate, "DBEditYearStartDate"),
                timeEdit(dm_.Table1StartTime, "DBEditYearStartTime"));
    labelledRow(*g, 1, qs(str::ParamYearEnd), dateEdit(dm_.Table1EndDate, "DBEditYaerEndDate"),
                timeEdit(dm_.Table1EndTime, "DBEditYearEndTime"));
    labelledRow(*g, 2, qs(str::ParamRepeatInterval), repeatEdit("DBEditYearInterval"));

    // The panel keeps the height of its tallest page, so the window does not jump.
    int height = 0;
    for (QGroupBox* p : pages_)
        height = std::max(height, p->sizeHint().height());
    PanelForPages->setMinimumHeight(height);
}

template <class Handler> bool TParamForm::guarded(Handler&& handler) {
    return runHandler([this](std::string_view text) { reportError(text); },
                      std::forward<Handler>(handler));
}

void TParamForm::message(std::string_view text) {
    messages_.showMessage(text);
    FormActivate();
}

void TParamForm::reportError(std::string_view text) {
    scheduler_.reportError(text);
}

void TParamForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The labels take the colour of the conditions the window opens with; later the edits'
    // changes repaint them. Creating the window alone evaluates nothing.
    if (!shownOnce_) {
        shownOnce_ = true;
        EditStartConditionChange();
        EditEndConditionChange();
    }
    FormActivate();
}

void TParamForm::FormActivate() {
    guarded([&] { showRecord(); });
    if (!beforePostInstalled_) {
        previousBeforePost_ = dm_.Table1.beforePost;
        beforePostInstalled_ = true;
    }
    dm_.Table1.beforePost = [this](Table& t) { Table1BeforePost(t); };
}

void TParamForm::FormClose() {
    if (!beforePostInstalled_) return;
    dm_.Table1.beforePost = previousBeforePost_;
    beforePostInstalled_ = false;
}

void TParamForm::showRecord() {
    ComboBoxInterval->showField();
    PagesInit(ComboBoxInterval->currentIndex());
    ComboBoxRunType->showField();
    ComboBoxPriority->showField();
    ConflictsListShow();
}

void TParamForm::done(int result) {
    if (!FormCloseQuery()) return;
    FormClose();
    QDialog::done(result);
}

bool TParamForm::FormCloseQuery() {
    bool good = false;
    guarded([&] { good = GoodConditions(); });
    return good;
}

void TParamForm::DBNavigatorClick(DBNavigator::Button button) {
    guarded([&] {
        GoodConditions();
        showRecord();
        // A new task always goes to the end of the table; the record the Insert button opened
        // is still untouched and the append drops it.
        if (button == DBNavigator::nbInsert) dm_.Table1.append();
        ConflictsListShow();
    });
}

void TParamForm::ComboBoxIntervalChange(int index) {
    guarded([&] { PagesInit(index); });
}

void TParamForm::PagesInit(int kind) {
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
                QString::number(encoding::minuteOf(dm_.Table1StartTime.asDateTime())));
            EditHourEndTime->setText(
                QString::number(encoding::minuteOf(dm_.Table1EndTime.asDateTime())));
            break;
        case 3:
            weekDays_->button(encoding::weekDayItem(dm_.Table1StartDate.asDateTime()))
                ->setChecked(true);
            break;
        case 4:
            EditMonthStartDate->setText(
                QString::number(encoding::dayOf(dm_.Table1StartDate.asDateTime())));
            EditMonthEndDate->setText(
                QString::number(encoding::dayOf(dm_.Table1EndDate.asDateTime())));
            break;
        default:
            break;
        }
    }
    filling_ = false;
}

bool TParamForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (text.isEmpty() || key->key() == Qt::Key_Delete) return false;
    // Shortcuts (select all, copy, cut, paste, undo and the like) are not typed characters: the
    // edit acts on them, and what a paste brings in is checked by the change handler.
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    const QChar c = text[0];
    if (c == '\b' || c == '\t' || c == '\r' || (c >= '0' && c <= '9')) return false;
    // Every other character enters the edit as "?", which its change handler then refuses.
    static_cast<QLineEdit*>(watched)->insert(QStringLiteral("?"));
    return true;
}

void TParamForm::EditHourTimeChange(QLineEdit* edit) {
    if (filling_) return;
    guarded([&] {
        const QString text = edit->text();
        if (text.isEmpty()) return;
        const auto minute = encoding::toInteger(text.toStdString());
        if (!minute) return message(str::OnlyDigitsAllowed);
        if (*minute >= 60) return message(str::MinuteAboveSixty);
        dm_.Table1.edit();
        const auto time = encoding::minuteTime(*minute);
        if (!time) return message(str::OnlyDigitsAllowed);
        (edit == EditHourStartTime ? dm_.Table1StartTime : dm_.Table1EndTime).setDateTime(*time);
    });
}

void TParamForm::EditMonthDateChange(QLineEdit* edit) {
    if (filling_) return;
    guarded([&] {
        const QString text = edit->text();
        if (text.isEmpty()) return;
        const auto value = encoding::toInteger(text.toStdString());
        if (!value) return message(str::OnlyDigitsAllowed);
        const int day = static_cast<std::uint16_t>(*value);
        if (day > 31) return message(str::DayAboveThirtyOne);
        dm_.Table1.edit();
        const auto date = encoding::dayDate(day);
        if (!date) return message(str::OnlyDigitsAllowed);
        (edit == EditMonthStartDate ? dm_.Table1StartDate : dm_.Table1EndDate).setDateTime(*date);
    });
}

void TParamForm::RadioGroupWeekDaysClick(int item) {
    guarded([&] {
        dm_.Table1.edit();
        dm_.Table1StartDate.setDateTime(encoding::weekDayDate(item));
    });
}

void TParamForm::ConflictsListShow() {
    Table& resources = dm_.Table2;
    const auto mask = static_cast<ResourceMask>(dm_.Table1Conflicts.asInteger());
    listBookmark_ = dm_.Table1.getBookmark();
    listInserting_ = dm_.Table1.state() == Table::State::Insert;
    listMask_ = dm_.Table1Conflicts.asInteger();
    filling_ = true;
    walkingResources_ = true;
    resources.disableControls();
    try {
        ListBoxConflicts->clear();
        for (resources.first(); !resources.eof(); resources.next()) {
            const std::int64_t number = dm_.Table2ResourceNo.asInteger();
            auto* line =
                new QListWidgetItem(QString::number(number) + ' ' +
                                        QString::fromStdString(dm_.Table2ResourceName.asString()),
                                    ListBoxConflicts);
            line->setSelected((mask & resourceBit(number)) != 0);
        }
    } catch (...) {
        resources.enableControls();
        filling_ = false;
        walkingResources_ = false;
        throw;
    }
    resources.enableControls();
    filling_ = false;
    walkingResources_ = false;
}

void TParamForm::ConflictsListUpdate() {
    Table& resources = dm_.Table2;
    ResourceMask mask = 0;
    walkingResources_ = true;
    resources.disableControls();
    try {
        int position = 0;
        for (resources.first(); !resources.eof(); resources.next(), ++position) {
            const QListWidgetItem* line = ListBoxConflicts->item(position);
            if (line && line->isSelected()) mask |= resourceBit(dm_.Table2ResourceNo.asInteger());
        }
    } catch (...) {
        resources.enableControls();
        walkingResources_ = false;
        throw;
    }
    resources.enableControls();
    walkingResources_ = false;
    dm_.Table1.edit();
    dm_.Table1Conflicts.setInteger(static_cast<std::int32_t>(mask));
    listMask_ = static_cast<std::int32_t>(mask);
}

void TParamForm::Table1BeforePost(Table&) {
    // Whatever posts the record stores what the edits and the list show.
    if (!binding_->updateRecord()) throw AbortError();
    if (listOwnsPost()) ConflictsListUpdate();
}

// The list stands for one record. Another window of the program (the resource editor, opened
// from the tray) may walk and post every task, or clear a bit of this very record: the list's
// selection must not be stamped onto those records nor undo that change.
bool TParamForm::listOwnsPost() const {
    const Table& t = dm_.Table1;
    return t.getBookmark() == listBookmark_ &&
           (t.state() == Table::State::Insert) == listInserting_ &&
           dm_.Table1Conflicts.asInteger() == listMask_;
}

// The resources changed under the window (their editor was opened from the tray): its list
// lines no longer match the records by position, so the record is shown again once that
// change has finished, as on a new activation.
void TParamForm::resourcesChanged() {
    if (walkingResources_ || reshowPending_) return;
    reshowPending_ = true;
    QTimer::singleShot(0, this, [this] {
        reshowPending_ = false;
        FormActivate();
    });
}

void TParamForm::paintConditionLabel(QLabel* label, const QString& text) {
    guarded([&] {
        const std::string condition = trimmedCondition(text);
        if (condition.empty()) return setTextColour(label, Qt::black);
        const double value = scheduler_.EvaluateCondition(condition);
        if (scheduler_.ConditionError())
            setTextColour(label, QColor(255, 0, 0));
        else if (value != 0)
            setTextColour(label, QColor(0, 128, 0));
        else
            setTextColour(label, QColor(255, 255, 0));
    });
}

void TParamForm::EditStartConditionChange() {
    paintConditionLabel(Label9, EditStartCondition->text());
}

void TParamForm::EditEndConditionChange() {
    paintConditionLabel(Label10, EditEndCondition->text());
}

bool TParamForm::GoodConditions() {
    bool malformed = false;
    for (const DBEdit* edit : {EditStartCondition, EditEndCondition}) {
        const std::string condition = trimmedCondition(edit->text());
        if (condition.empty()) continue;
        scheduler_.EvaluateCondition(condition);
        malformed = malformed || scheduler_.ConditionError();
    }
    if (!malformed) return true;
    message(str::BadConditionNotation);
    return false;
}

// The operator ticks "Stopped" to stop the task's scheduling as the main window's suspend
// command does (protocol line, code 5, stamp, post). The box itself has stored true already, so
// only a change from the record's own false to true counts: stoppedBaseline_ holds Stopped as
// the record had it before this edit (read whenever the table is not being edited). The box's
// true is taken back and StoppedInverting turns it to true with everything that goes with it.
// Unticking only stores false, as the box does by itself. Besides the focus leaving the box,
// moving with the navigator and "Exit" settle a fresh tick too, so it is never posted without
// its protocol line and code.
void TParamForm::settleStopped() {
    if (!dm_.Table1Stopped.asBoolean() || stoppedBaseline_) return;
    if (!binding_->updateRecord()) return;
    dm_.Table1.edit();
    dm_.Table1Stopped.setBoolean(false);
    scheduler_.StoppedInverting();
    noteStoppedBaseline();
}

void TParamForm::noteStoppedBaseline() {
    const Table& t = dm_.Table1;
    if (t.state() == Table::State::Browse)
        stoppedBaseline_ = dm_.Table1Stopped.asBoolean();
    else if (t.state() == Table::State::Insert && !t.modified())
        stoppedBaseline_ = false;
}

void TParamForm::CheckBoxStoppedExit() {
    guarded([&] { settleStopped(); });
}

void TParamForm::ButtonExitClick() {
    const bool posted = guarded([&] {
        settleStopped();
        if (!binding_->updateRecord()) throw AbortError();
        if (dm_.Table1.modified()) dm_.Table1.post();
    });
    if (posted) close();
}

void TParamForm::ReportButtonClick() {
    guarded([&] {
        // The report walks the table, which posts the record: the edits' texts go in first.
        if (!binding_->updateRecord()) return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        TParamReportForm report(scheduler_);
        QApplication::restoreOverrideCursor();
        showReport(report);
    });
    FormActivate();
}

} // namespace vektrin
