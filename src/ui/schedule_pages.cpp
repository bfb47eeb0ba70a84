#include "ui/schedule_pages.h"

#include "platform/strings.h"
#include "ui/db_controls.h"
#include "ui/editor_support.h"
#include "ui/form_widgets.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>
#include <cstdint>

namespace vektrin {

SchedulePages::SchedulePages(Scheduler& scheduler, DataBinding& binding, Table& table,
                             ScheduleColumns columns, const Texts& texts, Checks checks)
    : scheduler_(scheduler), binding_(binding), table_(table), columns_(columns),
      checks_(std::move(checks)) {
    setObjectName("PanelForPages");
    buildPages(texts);

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
    // Tab enters the days at the checked one, as a group of choices is entered; the arrows move
    // between them.
    connect(weekDays_, &QButtonGroup::buttonToggled, this, [](QAbstractButton* day, bool on) {
        day->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
    });
    if (checks_.digitKeysOnly) {
        for (QLineEdit* e :
             {EditHourStartTime, EditHourEndTime, EditMonthStartDate, EditMonthEndDate})
            e->installEventFilter(this);
    }
}

DBComboBox* SchedulePages::intervalComboBox(DataBinding& binding, Field& field) {
    return named(new DBComboBox(binding, field,
                                {qs(str::IntervalEveryMinute), qs(str::IntervalEveryHour),
                                 qs(str::IntervalEveryday), qs(str::IntervalWeekly),
                                 qs(str::IntervalEveryMonth), qs(str::IntervalEveryYear)}),
                 "ComboBoxInterval");
}

void SchedulePages::buildPages(const Texts& texts) {
    auto* stack = new QGridLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    auto page = [&](int kind) {
        auto* box = new QGroupBox(qs(texts.pages[kind].caption), this);
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
        auto* e = named(new DBTimeEdit(binding_, f), name);
        e->setMaximumWidth(90);
        return e;
    };
    auto dateEdit = [&](Field& f, const char* name) {
        auto* e = named(new DBDateEdit(binding_, f), name);
        e->setMaximumWidth(100);
        return e;
    };
    // The third row of every page but the first, where the table has a repeat interval.
    const int rows = columns_.repeatInterval ? 3 : 2;
    auto repeatRow = [&](QGridLayout& grid, const char* name) {
        if (!columns_.repeatInterval) return;
        auto* e = named(new DBEdit(binding_, *columns_.repeatInterval), name);
        e->setMaximumWidth(60);
        labelledRow(grid, 2, qs(texts.repeatInterval), e);
    };
    auto start = [&](int kind) { return qs(texts.pages[kind].start); };
    auto end = [&](int kind) { return qs(texts.pages[kind].end); };

    QGridLayout* g = page(0);
    auto* note = new QLabel(qs(str::NoAdditionalParameters));
    QFont italic = note->font();
    italic.setItalic(true);
    note->setFont(italic);
    QPalette green = note->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    note->setPalette(green);
    g->addWidget(note, 0, 0);

    g = page(1);
    EditHourStartTime = plainEdit("EditHourStartTime");
    EditHourEndTime = plainEdit("EditHourEndTime");
    labelledRow(*g, 0, start(1), EditHourStartTime);
    labelledRow(*g, 1, end(1), EditHourEndTime);
    repeatRow(*g, "DBEditHourInterval");

    g = page(2);
    labelledRow(*g, 0, start(2), timeEdit(columns_.startTime, "DBEditDayStartTime"));
    labelledRow(*g, 1, end(2), timeEdit(columns_.endTime, "DBEditDayEndTime"));
    repeatRow(*g, "DBEditDayInterval");

    g = page(3);
    RadioGroupWeekDays = named(new QGroupBox(qs(str::DayOfWeek)), "RadioGroupWeekDays");
    weekDays_ = new QButtonGroup(this);
    auto* days = new QGridLayout(RadioGroupWeekDays);
    const std::string_view names[] = {str::Monday, str::Tuesday,  str::Wednesday, str::Thursday,
                                      str::Friday, str::Saturday, str::Sunday};
    for (int i = 0; i < 7; ++i) {
        auto* radio = new QRadioButton(qs(names[i]));
        radio->setObjectName(QStringLiteral("RadioGroupWeekDays%1").arg(i));
        radio->setFocusPolicy(Qt::ClickFocus);
        weekDays_->addButton(radio, i);
        days->addWidget(radio, i % 4, i / 4);
    }
    g->addWidget(RadioGroupWeekDays, 0, 0, rows, 1);
    auto* times = new QGridLayout;
    labelledRow(*times, 0, start(3), timeEdit(columns_.startTime, "DBEditWeekStartTime"));
    labelledRow(*times, 1, end(3), timeEdit(columns_.endTime, "DBEditWeekEndTime"));
    repeatRow(*times, "DBEditWeekInterval");
    g->addLayout(times, 0, 1, rows, 2);

    g = page(4);
    EditMonthStartDate = plainEdit("EditMonthStartDate");
    EditMonthEndDate = plainEdit("EditMonthEndDate");
    labelledRow(*g, 0, start(4), EditMonthStartDate,
                timeEdit(columns_.startTime, "DBEditMonthStartTime"));
    labelledRow(*g, 1, end(4), EditMonthEndDate, timeEdit(columns_.endTime, "DBEditMonthEndTime"));
    repeatRow(*g, "DBEditMonthInterval");

    g = page(5);
    labelledRow(*g, 0, start(5), dateEdit(columns_.startDate, "DBEditYearStartDate"),
                timeEdit(columns_.startTime, "DBEditYearStartTime"));
    labelledRow(*g, 1, end(5), dateEdit(columns_.endDate, "DBEditYaerEndDate"),
                timeEdit(columns_.endTime, "DBEditYearEndTime"));
    repeatRow(*g, "DBEditYearInterval");

    // The panel keeps the height of its tallest page, so the window does not jump.
    int height = 0;
    for (QGroupBox* p : pages_)
        height = std::max(height, p->sizeHint().height());
    setMinimumHeight(height);
}

void SchedulePages::PagesInit(int kind) {
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
        const Schedule shown = Schedule::read(columns_);
        switch (Schedule::shownKindOf(kind).value_or(ScheduleKind::EveryMinute)) {
        case ScheduleKind::EveryHour:
            EditHourStartTime->setText(QString::number(shown.startMinute()));
            EditHourEndTime->setText(QString::number(shown.endMinute()));
            break;
        case ScheduleKind::Weekly:
            weekDays_->button(shown.weekDayItem())->setChecked(true);
            break;
        case ScheduleKind::EveryMonth:
            EditMonthStartDate->setText(QString::number(shown.firstDay()));
            EditMonthEndDate->setText(QString::number(shown.lastDay()));
            break;
        default:
            break;
        }
    }
    filling_ = false;
}

bool SchedulePages::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
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

void SchedulePages::EditHourTimeChange(QLineEdit* edit) {
    plainEditChanged(edit, checks_.minute,
                     edit == EditHourStartTime ? columns_.startTime : columns_.endTime, true);
}

void SchedulePages::EditMonthDateChange(QLineEdit* edit) {
    plainEditChanged(edit, checks_.day,
                     edit == EditMonthStartDate ? columns_.startDate : columns_.endDate, false);
}

// Every change of the text runs this, so each intermediate text is stored or refused while the
// operator types.
void SchedulePages::plainEditChanged(QLineEdit* edit, const EditCheck& check, Field& field,
                                     bool minute) {
    if (filling_) return;
    guarded(scheduler_, [&] {
        const std::string text = edit->text().toStdString();
        const fields::EditVerdict verdict =
            minute ? fields::minuteEdit(text, check) : fields::dayEdit(text, check);
        if (verdict.ignore) return;
        // The new text runs this handler again, which stores the value.
        if (verdict.resetText) return edit->setText(QString::number(*verdict.resetText));
        if (!verdict.editsRecord) return checks_.refuse(verdict.refusal);
        table_.edit();
        if (!verdict.value) return checks_.refuse(verdict.refusal);
        field.setDateTime(*verdict.value);
    });
}

void SchedulePages::RadioGroupWeekDaysClick(int item) {
    guarded(scheduler_, [&] {
        table_.edit();
        columns_.startDate.setDateTime(Schedule::weekDayDate(item));
    });
}

} // namespace vektrin
