#include "ui/db_controls.h"

#include "platform/strings.h"
#include "ui/form_widgets.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>

namespace vektrin {
namespace {

// The data layer's message for a text that names no time or date.
std::string invalidText(std::string_view format, const QString& text) {
    QString message = qs(format);
    const auto at = message.indexOf(QStringLiteral("%s"));
    if (at >= 0) message.replace(at, 2, text);
    return message.toStdString();
}

bool headless() {
    const QString p = QGuiApplication::platformName();
    return p == "offscreen" || p == "minimal";
}

} // namespace

bool askOperator(QWidget* parent, std::string_view question) {
    return askOperator(parent, qs(question));
}

bool askOperator(QWidget* parent, const QString& question) {
    if (headless()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(question));
        return true;
    }
    return QMessageBox::question(parent, QCoreApplication::applicationName(), question,
                                 QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

void labelledRow(QGridLayout& grid, int row, const QString& label, QWidget* first,
                 QWidget* second) {
    auto* text = new QLabel(label);
    text->setBuddy(first);
    grid.addWidget(text, row, 0);
    if (!second) {
        grid.addWidget(first, row, 1, 1, 2);
        return;
    }
    grid.addWidget(first, row, 1);
    grid.addWidget(second, row, 2);
}

// ---------------------------------------------------------------- DataBinding

DataBinding::DataBinding(Table& table, MessagePort& messages, const RegionalSettings& regional,
                         QObject* parent)
    : QObject(parent), table_(table), messages_(messages), regional_(regional) {
    table_.addObserver(this);
}

DataBinding::~DataBinding() {
    table_.removeObserver(this);
    for (DBControl* c : controls_)
        c->binding_ = nullptr;
}

bool DataBinding::pending() const {
    return std::any_of(controls_.begin(), controls_.end(),
                       [](const DBControl* c) { return c->pending(); });
}

bool DataBinding::updateRecord() {
    for (DBControl* c : std::vector<DBControl*>(controls_))
        if (c->pending() && !c->commit()) return false;
    return true;
}

bool DataBinding::storeBeforeMove() {
    if (!updateRecord()) return false;
    if (table_.modified()) table_.post();
    return true;
}

void DataBinding::refuse(std::string_view text) {
    messages_.showMessage(text);
    if (afterMessage) afterMessage();
}

void DataBinding::refuse(const std::exception& error) {
    const auto* refused = dynamic_cast<const DatabaseError*>(&error);
    if (!refused || !refused->shown()) return refuse(error.what());
    messages_.showText(*refused->shown());
    if (afterMessage) afterMessage();
}

void DataBinding::follow(TableChange change) {
    for (DBControl* c : std::vector<DBControl*>(controls_))
        c->follow(change);
    emit changed();
}

void DataBinding::dataSetChanged(Table&) {
    follow(TableChange::DataSet);
}
void DataBinding::recordChanged(Table&) {
    follow(TableChange::Record);
}
void DataBinding::stateChanged(Table&) {
    follow(TableChange::State);
}

// ---------------------------------------------------------------- DBControl

DBControl::DBControl(DataBinding& binding, Field* field) : binding_(&binding), field_(field) {
    binding_->controls_.push_back(this);
}

DBControl::~DBControl() {
    if (!binding_) return;
    auto& list = binding_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void DBControl::follow(TableChange change) {
    // Leaving editing (post, cancel) or new rows make an unsaved text meaningless; a change of
    // another field must not overwrite what the operator is typing here.
    if (change == TableChange::DataSet ||
        (change == TableChange::State && binding_->table().state() == Table::State::Browse))
        pending_ = false;
    if (!pending_) showField();
}

bool DBControl::beginEdit() {
    pending_ = true;
    try {
        binding_->table().edit();
    } catch (const AbortError&) {
        pending_ = false;
        showField();
        return false;
    } catch (const std::exception& e) {
        pending_ = false;
        binding_->refuse(e);
        showField();
        return false;
    }
    // Entering editing may have re-read the rows and dropped the flag with them.
    pending_ = true;
    return true;
}

bool DBControl::store(const std::function<void()>& write) {
    try {
        binding_->table().edit();
        write();
        return true;
    } catch (const AbortError&) {
    } catch (const std::exception& e) {
        binding_->refuse(e);
    }
    showField();
    return false;
}

// ---------------------------------------------------------------- DBEdit

DBEdit::DBEdit(DataBinding& binding, Field& field, QWidget* parent)
    : QLineEdit(parent), DBControl(binding, &field) {
    if (field.def().type == FieldType::Text && field.def().width > 0)
        setMaxLength(field.def().width);
    connect(this, &QLineEdit::textEdited, this, &DBEdit::operatorEdited);
    showField();
}

QString DBEdit::fieldText() const {
    return QString::fromStdString(field().asString());
}

void DBEdit::storeText(const QString& text) {
    field().setString(text.toStdString());
}

void DBEdit::showField() {
    const QString t = fieldText();
    if (t == text()) return;
    painting_ = true;
    setText(t);
    painting_ = false;
}

void DBEdit::operatorEdited() {
    if (pending_ || painting_) return;
    const QString typed = text();
    const int cursor = cursorPosition();
    if (!beginEdit()) return;
    if (text() != typed) {
        painting_ = true;
        setText(typed);
        setCursorPosition(cursor);
        painting_ = false;
    }
}

bool DBEdit::commit() {
    if (!pending_) return true;
    try {
        binding().table().edit();
        storeText(text());
    } catch (const AbortError&) {
        return false;
    } catch (const std::exception& e) {
        binding().refuse(e);
        return false;
    }
    pending_ = false;
    showField();
    return true;
}

void DBEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Switching windows or opening a menu is not leaving the edit.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    if (!commit()) {
        QTimer::singleShot(0, this, [this] { setFocus(Qt::OtherFocusReason); });
        return;
    }
    emit exited();
}

void DBEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        commit();
        event->accept();
        return;
    case Qt::Key_Escape:
        if (pending_) {
            pending_ = false;
            showField();
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

// ---------------------------------------------------------------- time and date edits

// The base class painted the field before these readings existed; paint again with them.
DBTimeEdit::DBTimeEdit(DataBinding& binding, Field& field, QWidget* parent, bool duration)
    : DBEdit(binding, field, parent), duration_(duration) {
    showField();
}

DBDateEdit::DBDateEdit(DataBinding& binding, Field& field, QWidget* parent)
    : DBEdit(binding, field, parent) {
    showField();
}

QString DBTimeEdit::fieldText() const {
    if (field().isNull()) return {};
    const DateTime value = field().asDateTime();
    return QString::fromStdString(duration_ ? formatDuration(value)
                                            : binding().regional().formatTime(value));
}

void DBTimeEdit::storeText(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        field().clear();
        return;
    }
    const auto value = duration_ ? parseDuration(t.toStdString())
                                 : binding().regional().parseTime(t.toStdString());
    if (!value) throw DatabaseError(0, invalidText(str::InvalidTimeText, t));
    field().setDateTime(*value);
}

QString DBDateEdit::fieldText() const {
    if (field().isNull()) return {};
    return QString::fromStdString(binding().regional().formatDate(field().asDateTime()));
}

void DBDateEdit::storeText(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        field().clear();
        return;
    }
    const auto value = binding().regional().parseDate(t.toStdString());
    if (!value) throw DatabaseError(0, invalidText(str::InvalidDateText, t));
    field().setDateTime(*value);
}

// ---------------------------------------------------------------- DBCheckBox

DBCheckBox::DBCheckBox(DataBinding& binding, Field& field, const QString& text, QWidget* parent)
    : QCheckBox(text, parent), DBControl(binding, &field) {
    connect(this, &QCheckBox::clicked, this, [this](bool checked) {
        if (!painting_) store([&] { this->field().setBoolean(checked); });
    });
    showField();
}

void DBCheckBox::showField() {
    painting_ = true;
    setChecked(field().asBoolean());
    painting_ = false;
}

void DBCheckBox::focusOutEvent(QFocusEvent* event) {
    QCheckBox::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    emit exited();
}

// ---------------------------------------------------------------- DBComboBox

DBComboBox::DBComboBox(DataBinding& binding, Field& field, const QStringList& items,
                       QWidget* parent)
    : QComboBox(parent), DBControl(binding, &field) {
    setEditable(false);
    addItems(items);
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (painting_) return;
        if (store([&] { this->field().setInteger(index); })) emit chosen(index);
    });
    showField();
}

void DBComboBox::showField() {
    const std::int64_t v = field().asInteger();
    painting_ = true;
    setCurrentIndex(v >= 0 && v < count() ? static_cast<int>(v) : -1);
    painting_ = false;
}

// ---------------------------------------------------------------- DBGrid

class DBGrid::Model : public QAbstractTableModel {
  public:
    explicit Model(DBGrid& grid) : QAbstractTableModel(&grid), grid_(grid) {}

    int rowCount(const QModelIndex& parent) const override {
        if (parent.isValid()) return 0;
        return static_cast<int>(grid_.rows_.size()) + (inserting() ? 1 : 0);
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(grid_.columns_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        if (role == Qt::DisplayRole) return grid_.cellText(index.row(), index.column());
        if (role == Qt::TextAlignmentRole)
            return static_cast<int>(grid_.columns_[index.column()].alignment);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal) return {};
        if (role == Qt::DisplayRole) return grid_.columns_[section].title;
        if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignCenter);
        return {};
    }
    bool inserting() const { return grid_.binding().table().state() == Table::State::Insert; }
    void reset(const std::function<void()>& change) {
        beginResetModel();
        change();
        endResetModel();
    }
    void currentRowChanged(int row) {
        if (row >= 0 && row < rowCount({}))
            emit dataChanged(index(row, 0), index(row, columnCount({}) - 1));
    }

  private:
    DBGrid& grid_;
};

DBGrid::DBGrid(DataBinding& binding, std::vector<Column> columns, QWidget* parent)
    : QTableView(parent), DBControl(binding, nullptr), columns_(std::move(columns)),
      model_(new Model(*this)) {
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows are chosen with the arrows; Tab goes on to the next control.
    setTabKeyNavigation(false);
    verticalHeader()->setVisible(false);
    horizontalHeader()->setStretchLastSection(true);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!painting_ && current.isValid()) rowChosen(current.row());
            });
    reload();
}

DBGrid::~DBGrid() = default;

QString DBGrid::displayText(const Column& column) const {
    Field& f = *column.field;
    if (f.isNull()) return {};
    switch (f.def().type) {
    case FieldType::Time:
        return QString::fromStdString(column.duration
                                          ? formatDuration(f.asDateTime())
                                          : binding().regional().formatTime(f.asDateTime()));
    case FieldType::Date:
        return QString::fromStdString(binding().regional().formatDate(f.asDateTime()));
    default:
        return QString::fromStdString(f.asString());
    }
}

QString DBGrid::cellText(int row, int column) const {
    const Table& t = binding().table();
    // The record being edited or inserted shows its unsaved values.
    const bool live = (t.state() == Table::State::Edit && row == t.recNo()) ||
                      (t.state() == Table::State::Insert && row == static_cast<int>(rows_.size()));
    if (live) return displayText(columns_[column]);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    return rows_[row][column];
}

void DBGrid::reload() {
    Table& t = binding().table();
    if (reloading_) return;
    if (t.state() != Table::State::Browse) {
        // Walking the rows now would post the record; keep the rows read last.
        model_->reset([] {});
        selectCurrent();
        return;
    }
    reloading_ = true;
    std::vector<std::vector<QString>> rows;
    const Table::Bookmark keep = t.getBookmark();
    t.disableControls();
    try {
        for (t.first(); !t.eof(); t.next()) {
            std::vector<QString> cells;
            for (const Column& c : columns_)
                cells.push_back(displayText(c));
            rows.push_back(std::move(cells));
        }
        if (keep) t.gotoBookmark(keep);
    } catch (...) {
        t.enableControls();
        reloading_ = false;
        throw;
    }
    model_->reset([&] { rows_ = std::move(rows); });
    t.enableControls();
    reloading_ = false;
    selectCurrent();
}

void DBGrid::selectCurrent() {
    const Table& t = binding().table();
    const int row = t.state() == Table::State::Insert ? static_cast<int>(rows_.size()) : t.recNo();
    painting_ = true;
    if (row >= 0 && row < model_->rowCount({})) {
        selectRow(row);
        scrollTo(model_->index(row, 0));
    } else {
        clearSelection();
    }
    painting_ = false;
}

void DBGrid::showField() {
    model_->currentRowChanged(binding().table().recNo());
    selectCurrent();
}

void DBGrid::follow(TableChange change) {
    if (reloading_) return;
    if (change == TableChange::DataSet ||
        (change == TableChange::State && binding().table().state() != Table::State::Edit))
        reload();
    else
        showField();
}

void DBGrid::rowChosen(int row) {
    Table& t = binding().table();
    if (row == t.recNo() && t.state() != Table::State::Insert) return;
    try {
        if (binding().storeBeforeMove()) t.moveTo(row);
    } catch (const AbortError&) {
    } catch (const std::exception& e) {
        binding().refuse(e);
    }
    // Deferred: the view is still handling the click that chose the row.
    QTimer::singleShot(0, this, [this] { selectCurrent(); });
}

// ---------------------------------------------------------------- DBNavigator

DBNavigator::DBNavigator(DataBinding& binding, QWidget* parent)
    : QWidget(parent), binding_(binding) {
    struct ButtonLook {
        const char* name;
        const char* glyph;
        std::string_view hint;
    };
    static const ButtonLook looks[ButtonCount] = {
        {"First", "|\u25C0", str::NavFirstHint},  {"Prior", "\u25C0", str::NavPriorHint},
        {"Next", "\u25B6", str::NavNextHint},     {"Last", "\u25B6|", str::NavLastHint},
        {"Insert", "+", str::NavInsertHint},      {"Delete", "\u2212", str::NavDeleteHint},
        {"Edit", "\u25B2", str::NavEditHint},     {"Post", "\u2713", str::NavPostHint},
        {"Cancel", "\u2715", str::NavCancelHint}, {"Refresh", "\u21BB", str::NavRefreshHint},
    };
    static_assert(std::size(looks) == std::size(NavigatorKeys));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < ButtonCount; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(looks[i].name);
        b->setText(QString::fromUtf8(looks[i].glyph));
        // The hint names the button's key.
        b->setToolTip(qs(looks[i].hint) + QStringLiteral(" (") +
                      QKeySequence(NavigatorKeys[i]).toString(QKeySequence::NativeText) +
                      QLatin1Char(')'));
        // The buttons never take the focus, so the edits keep theirs while the operator moves.
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumSize(28, 25);
        connect(b, &QToolButton::clicked, this, [this, i] { click(static_cast<Button>(i)); });
        layout->addWidget(b);
        buttons_[i] = b;
    }
    confirmDelete = [this](std::string_view q) { return askOperator(window(), q); };
    reportError = [this](const std::exception& e) { binding_.refuse(e); };
    connect(&binding_, &DataBinding::changed, this, &DBNavigator::updateButtons);
    updateButtons();
}

std::optional<DBNavigator::Button> DBNavigator::buttonForKey(const QKeyEvent& event) {
    const QKeyCombination pressed(event.modifiers() & ~Qt::KeypadModifier,
                                  event.key() == Qt::Key_Enter ? Qt::Key_Return
                                                               : Qt::Key(event.key()));
    for (int i = 0; i < ButtonCount; ++i)
        if (NavigatorKeys[i] == pressed) return static_cast<Button>(i);
    return std::nullopt;
}

void DBNavigator::click(Button which) {
    Table& t = binding_.table();
    emit aboutToAct(which);
    try {
        switch (which) {
        case nbCancel:
            t.cancel();
            break;
        case nbDelete:
            if (!confirmDelete(str::DeleteRecordQuestion)) return;
            t.deleteRecord();
            break;
        default:
            // Moving on (and inserting, refreshing) stores the record as the operator left it.
            if (!binding_.storeBeforeMove()) return;
            switch (which) {
            case nbFirst:
                t.first();
                break;
            case nbPrior:
                t.prior();
                break;
            case nbNext:
                t.next();
                break;
            case nbLast:
                t.last();
                break;
            case nbInsert:
                t.insert();
                break;
            case nbEdit:
                t.edit();
                break;
            case nbPost:
                t.post();
                break;
            case nbRefresh:
                t.refresh();
                break;
            default:
                break;
            }
        }
    } catch (const AbortError&) {
        return;
    } catch (const std::exception& e) {
        reportError(e);
        return;
    }
    updateButtons();
    emit clicked(which);
}

void DBNavigator::updateButtons() {
    const Table& t = binding_.table();
    const bool editing = t.state() != Table::State::Browse;
    const bool inserting = t.state() == Table::State::Insert;
    const int pos = t.recNo();
    const int count = t.recordCount();
    const bool up = inserting || pos > 0;
    const bool down = inserting || (pos >= 0 && pos < count - 1);
    buttons_[nbFirst]->setEnabled(up);
    buttons_[nbPrior]->setEnabled(up);
    buttons_[nbNext]->setEnabled(down);
    buttons_[nbLast]->setEnabled(down);
    buttons_[nbInsert]->setEnabled(true);
    buttons_[nbDelete]->setEnabled(count > 0 || inserting);
    buttons_[nbEdit]->setEnabled(!editing);
    buttons_[nbPost]->setEnabled(editing);
    buttons_[nbCancel]->setEnabled(editing);
    buttons_[nbRefresh]->setEnabled(true);
}

} // namespace vektrin
