#include "ui/param_form.h"

#include "engine/scheduler.h"
#include "engine/task_host.h"
#include "platform/command_line.h"
#include "platform/strings.h"
#include "reports/param_report.h"
#include "store/running_tasks.h"
#include "ui/form_widgets.h"
#include "ui/schedule_pages.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

namespace vektrin {
namespace {

// Set for the length of a scope.
struct Flag {
    explicit Flag(bool& f) : flag(f) { flag = true; }
    ~Flag() { flag = false; }
    Flag(const Flag&) = delete;
    Flag& operator=(const Flag&) = delete;
    bool& flag;
};

// Texts the task editor shares with the other editors but says in its own words in Russian
// ("Удалить задачу?", "Ежедневный запуск"); marked here for lupdate.
constexpr char TaskEditor[] = "task editor";
[[maybe_unused]] constexpr OwnWording TaskEditorWording[] = {
    QT_TRANSLATE_NOOP3("Vektrin", "Delete record?", "task editor"),
    QT_TRANSLATE_NOOP3("Vektrin", "Everyday", "task editor"),
    QT_TRANSLATE_NOOP3("Vektrin", "Weekly", "task editor"),
    QT_TRANSLATE_NOOP3("Vektrin", "Every month", "task editor"),
    QT_TRANSLATE_NOOP3("Vektrin", "Every year", "task editor")};

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

} // namespace

TParamForm::TParamForm(Scheduler& scheduler, MessagePort& messages, QWidget* parent)
    : EditorForm(scheduler, messages, scheduler.dataCtrl().Table1, "TParamForm",
                 str::ParamFormCaption, parent) {
    reshowAfterBoxes([this] { FormActivate(); });
    settleRecord = [this] { settleStopped(); };
    navigator_->confirmDelete = [this](std::string_view question) {
        const bool yes = askOperator(this, qs(question, TaskEditor));
        FormActivate();
        return yes;
    };
    resources_ = new DataBinding(dm_.Table2, messages_, scheduler_.regional(), this);

    EditAppName = named(new DBEdit(*binding_, dm_.Table1AppName), "EditAppName");
    EditApplication = named(new DBEdit(*binding_, dm_.Table1Application), "EditApplication");
    EditAppDirectory = named(new DBEdit(*binding_, dm_.Table1AppDirectory), "EditAppDirectory");
    EditHost = named(new DBEdit(*binding_, dm_.Table1Host), "EditHost");
    EditHost->setPlaceholderText(qs(str::ParamRunOnAny));
    ComboBoxInterval = SchedulePages::intervalComboBox(*binding_, dm_.Table1Interval);
    for (const auto& [item, text] : {std::pair{2, str::IntervalEveryday},
                                     {3, str::IntervalWeekly},
                                     {4, str::IntervalEveryMonth},
                                     {5, str::IntervalEveryYear}})
        ComboBoxInterval->setItemText(item, qs(text, TaskEditor));
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
    // The task editor refuses what is typed wrong with its own messages and stores nothing.
    SchedulePages::Checks checks{
        .digitKeysOnly = true,
        .minute = fields::TaskMinute,
        .day = fields::TaskDay,
        .refuse = [this](std::string_view text) { message(text); },
    };
    PanelForPages =
        new SchedulePages(scheduler_, *binding_, dm_.Table1, ScheduleColumns::ofTasks(dm_),
                          {{{{str::ParamPage0},
                             {str::ParamPage1, str::ParamHourStart, str::ParamHourEnd},
                             {str::ParamPage2, str::ParamDayStart, str::ParamDayEnd},
                             {str::ParamPage3, str::ParamWeekStart, str::ParamWeekEnd},
                             {str::ParamPage4, str::ParamMonthStart, str::ParamMonthEnd},
                             {str::ParamPage5, str::ParamYearStart, str::ParamYearEnd}}},
                           str::ParamRepeatInterval},
                          std::move(checks));
    DBCheckBoxCatchUp = named(new DBCheckBox(*binding_, dm_.Table1CatchUp, qs(str::ParamCatchUp)),
                              "DBCheckBoxCatchUp");

    // Layout: the strip with the navigator and buttons, the task's controls, and at the right
    // the conflicting resources.
    QHBoxLayout* strip = buttonStrip();

    auto* fields = new QGridLayout;
    int row = 0;
    labelledRow(*fields, row++, qs(str::ParamTaskName), EditAppName);
    labelledRow(*fields, row++, qs(str::ParamCommandString), EditApplication);
    labelledRow(*fields, row++, qs(str::ParamStartupDirectory), EditAppDirectory);
    labelledRow(*fields, row++, qs(str::ParamRunOn), EditHost);
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
    fields->addWidget(DBCheckBoxCatchUp, row++, 0, 1, 3);
    fields->setColumnStretch(1, 1);

    auto* conflicts = new QGroupBox(qs(str::ParamConflictingResources));
    auto* conflictsLayout = new QVBoxLayout(conflicts);
    conflictsLayout->addWidget(ListBoxConflicts);
    // At least 190 pixels, and as wide as its title.
    conflicts->setMinimumWidth(std::max(190, conflicts->minimumSizeHint().width()));

    auto* body = new QHBoxLayout;
    body->addLayout(fields, 1);
    body->addWidget(conflicts);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(strip);
    layout->addLayout(body);
    // Wider and taller where the labels and rows need it.
    resize(std::max(760, minimumSizeHint().width()), std::max(500, minimumSizeHint().height()));
    EditAppName->setFocus(); // the window opens on the first field, not on the strip

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

    noteStoppedBaseline();
}

void TParamForm::message(std::string_view text) {
    messages_.showMessage(text);
    FormActivate();
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
    installBeforePost([this](Table& t) { Table1BeforePost(t); });
}

void TParamForm::showRecord() {
    ComboBoxInterval->showField();
    PanelForPages->PagesInit(ComboBoxInterval->currentIndex());
    ComboBoxRunType->showField();
    ComboBoxPriority->showField();
    ConflictsListShow();
}

void TParamForm::done(int result) {
    if (!FormCloseQuery()) return;
    EditorForm::done(result);
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
    guarded([&] {
        // A task made weekly stores the week day its page shows, the day it will launch on; a
        // window it never had opens whole, as vektrinctl opens it.
        Schedule::storeShownWeekDay(ScheduleColumns::ofTasks(dm_));
        Schedule::openWindow(ScheduleColumns::ofTasks(dm_), scheduler_.clock().now());
        PanelForPages->PagesInit(index);
    });
}

// The resources are read where they are, without moving their table: their editor may be open
// from the tray with a change of its own.
void TParamForm::ConflictsListShow() {
    const auto mask = static_cast<ResourceMask>(dm_.Table1Conflicts.asInteger());
    listBookmark_ = dm_.Table1.getBookmark();
    listInserting_ = dm_.Table1.state() == Table::State::Insert;
    listMask_ = dm_.Table1Conflicts.asInteger();
    const Flag filling(filling_);
    const Flag walking(walkingResources_);
    ListBoxConflicts->clear();
    dm_.Table2.forEachRow([&] {
        const std::int64_t number = dm_.Table2ResourceNo.asInteger();
        auto* line =
            new QListWidgetItem(QString::number(number) + ' ' +
                                    QString::fromStdString(dm_.Table2ResourceName.asString()),
                                ListBoxConflicts);
        line->setSelected((mask & resourceBit(number)) != 0);
    });
}

void TParamForm::ConflictsListUpdate() {
    ResourceMask mask = 0;
    {
        const Flag walking(walkingResources_);
        int position = 0;
        dm_.Table2.forEachRow([&] {
            const QListWidgetItem* line = ListBoxConflicts->item(position++);
            if (line && line->isSelected()) mask |= resourceBit(dm_.Table2ResourceNo.asInteger());
        });
    }
    dm_.Table1.edit();
    dm_.Table1Conflicts.setInteger(static_cast<std::int32_t>(mask));
    listMask_ = static_cast<std::int32_t>(mask);
}

void TParamForm::Table1BeforePost(Table&) {
    // Whatever posts the record stores what the edits and the list show.
    if (!binding_->updateRecord()) throw AbortError();
    if (!listOwnsPost()) return;
    // A malformed condition stored would keep the task from ever launching, and nothing would
    // say why: the post is refused, whichever way the operator stores the record.
    if (DBEdit* malformed = malformedCondition()) {
        // Not through message(): showing the record again would hang this very handler anew
        // while it runs.
        messages_.showMessage(str::BadConditionNotation);
        malformed->setFocus();
        throw AbortError();
    }
    // Every launch of a command with a quote left open would fail: refused, naming the quote.
    if (const SplitCommandLine split = splitCommandLine(dm_.Table1Application.asString());
        split.unclosedQuote) {
        messages_.showText(
            {str::CommandQuoteOpen, {std::string(1, split.quote), std::to_string(split.quoteAt)}});
        EditApplication->setFocus();
        throw AbortError();
    }
    if (!settleHost()) {
        messages_.showMessage(str::BadHostName);
        EditHost->setFocus();
        throw AbortError();
    }
    ConflictsListUpdate();
}

// The operator's "any" is the empty Host, as vektrinctl stores it; a name that no workstation
// can have is refused.
bool TParamForm::settleHost() {
    const std::string typed = dm_.Table1Host.asString();
    const task_host::HostValue host = task_host::hostFromWord(typed);
    if (!host.problem.empty()) return false;
    if (host.stored == typed) return true;
    if (host.stored.empty())
        dm_.Table1Host.clear();
    else
        dm_.Table1Host.setString(host.stored);
    return true;
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
        switch (fields::conditionShape(scheduler_, text.toStdString())) {
        case fields::ConditionShape::Empty:
            return setTextColour(label, Qt::black);
        case fields::ConditionShape::Malformed:
            return setTextColour(label, QColor(255, 0, 0));
        case fields::ConditionShape::True:
            return setTextColour(label, QColor(0, 128, 0));
        case fields::ConditionShape::False:
            return setTextColour(label, amber());
        }
    });
}

void TParamForm::EditStartConditionChange() {
    paintConditionLabel(Label9, EditStartCondition->text());
}

void TParamForm::EditEndConditionChange() {
    paintConditionLabel(Label10, EditEndCondition->text());
}

bool TParamForm::GoodConditions() {
    DBEdit* malformed = malformedCondition();
    if (!malformed) return true;
    message(str::BadConditionNotation);
    malformed->setFocus();
    return false;
}

DBEdit* TParamForm::malformedCondition() {
    DBEdit* first = nullptr;
    for (DBEdit* edit : {EditStartCondition, EditEndCondition}) {
        // Both are evaluated, each with its trace line, as the operator expects.
        const bool accepted = fields::conditionAccepted(scheduler_, edit->text().toStdString());
        if (!accepted && !first) first = edit;
    }
    return first;
}

// The operator ticks "Stopped" to stop the task's scheduling as the main window's suspend
// command does (protocol line, code 5, stamp, post). The box itself has stored true already, so
// only a change from the record's own false to true counts: stoppedBaseline_ holds Stopped as
// the record had it before this edit (read whenever the table is not being edited). The box's
// true is taken back and StoppedInverting turns it to true with everything that goes with it.
// Unticking only stores false, as the box does by itself. Besides the focus leaving the box,
// moving with the navigator, the report and "Exit" settle a fresh tick too, so it is never posted
// without its protocol line and code. While a condition is malformed the tick waits unposted:
// the post that follows refuses the record and says why.
void TParamForm::settleStopped() {
    if (!dm_.Table1Stopped.asBoolean() || stoppedBaseline_) return;
    if (!binding_->updateRecord() || malformedCondition()) return;
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
    postAndClose();
}

void TParamForm::ReportButtonClick() {
    showTableReport([this] { return std::make_unique<TParamReportForm>(scheduler_); });
    FormActivate();
}

} // namespace vektrin
