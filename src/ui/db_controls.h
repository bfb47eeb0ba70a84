#pragma once
// The data-aware control layer: line edits, time and date edits, check boxes, combo boxes, a grid
// and the record navigator, all following one table's current record through a DataBinding.
// A control shows a field of the current record; the operator's change goes back into that
// record and puts it into editing. Values the field cannot hold are refused with the data
// layer's own message, and the control keeps the text so the operator can correct it.

#include "platform/regional.h"
#include "store/message_port.h"
#include "store/table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

class QGridLayout;
class QKeyEvent;
class QToolButton;

namespace vektrin {

class DBControl;

// What moved in the table: the current record (or its values), the editing state, or the rows.
enum class TableChange { Record, State, DataSet };

// The controls of one table (what a data source is to a form): it follows the table and tells
// every control to repaint, and it holds where refusals go and how dates and times are written.
class DataBinding : public QObject, public TableObserver {
    Q_OBJECT
  public:
    DataBinding(Table& table, MessagePort& messages, const RegionalSettings& regional,
                QObject* parent = nullptr);
    ~DataBinding() override;

    Table& table() const { return table_; }
    const RegionalSettings& regional() const { return regional_; }

    // Writes every control's unsaved text into the record. False when a value was refused: the
    // message has been shown and the control keeps its text.
    bool updateRecord();
    // Whether a control holds a change not yet in the record.
    bool pending() const;
    // The operator moves to another record (a navigator button, a row of the grid): the record
    // with its unsaved texts is stored first. False when a value was refused; a refused post
    // throws.
    bool storeBeforeMove();

    // Shows a refusal of the data layer, then runs afterMessage (forms show their record again
    // when they regain activation from a message box).
    void refuse(std::string_view text);
    // A refusal with its identity where the data layer gave one, else its message.
    void refuse(const std::exception& error);
    std::function<void()> afterMessage;

    void dataSetChanged(Table&) override;
    void recordChanged(Table&) override;
    void stateChanged(Table&) override;

  signals:
    // The controls have followed a change of the table.
    void changed();

  private:
    friend class DBControl;
    void follow(TableChange change);

    Table& table_;
    MessagePort& messages_;
    RegionalSettings regional_;
    std::vector<DBControl*> controls_;
};

// What every bound control shares: its field, the unsaved-text flag and the way it puts the
// record into editing.
class DBControl {
  public:
    DBControl(DataBinding& binding, Field* field);
    virtual ~DBControl();
    DBControl(const DBControl&) = delete;
    DBControl& operator=(const DBControl&) = delete;

    DataBinding& binding() const { return *binding_; }
    Field& field() const { return *field_; }
    // The operator has changed the control and the change is not in the record yet.
    bool pending() const { return pending_; }

    // Repaints the control from the current record.
    virtual void showField() = 0;
    // Writes the unsaved change into the record; false when the value was refused.
    virtual bool commit() {
        pending_ = false;
        return true;
    }

  protected:
    friend class DataBinding;
    // How a change of the table reaches the control; the grid needs more than a repaint.
    virtual void follow(TableChange change);
    // Puts the record into editing for the operator's first change; false when refused.
    bool beginEdit();
    // Puts the record into editing and runs write; a refusal is shown and false returned.
    bool store(const std::function<void()>& write);

    bool pending_ = false;
    // Set while the control repaints itself, so that its change signals do not write back.
    bool painting_ = false;

  private:
    // Null once the binding has gone before the control (children of one window die in order).
    DataBinding* binding_;
    Field* field_;
};

class DBEdit : public QLineEdit, public DBControl {
    Q_OBJECT
  public:
    DBEdit(DataBinding& binding, Field& field, QWidget* parent = nullptr);

    void showField() override;
    bool commit() override;

  signals:
    // Focus left the edit and its text is in the record (where the forms' exit handlers run).
    void exited();

  protected:
    // The field's value as the edit shows it.
    virtual QString fieldText() const;
    // The operator's text into the field; throws the data layer's error when it does not fit.
    virtual void storeText(const QString& text);

    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void operatorEdited();
};

// A time of day in the regional long time format; a length of time (duration) as HH:MM:SS.
class DBTimeEdit : public DBEdit {
    Q_OBJECT
  public:
    DBTimeEdit(DataBinding& binding, Field& field, QWidget* parent = nullptr,
               bool duration = false);

  protected:
    QString fieldText() const override;
    void storeText(const QString& text) override;

  private:
    bool duration_;
};

// A date in the regional short date format.
class DBDateEdit : public DBEdit {
    Q_OBJECT
  public:
    DBDateEdit(DataBinding& binding, Field& field, QWidget* parent = nullptr);

  protected:
    QString fieldText() const override;
    void storeText(const QString& text) override;
};

class DBCheckBox : public QCheckBox, public DBControl {
    Q_OBJECT
  public:
    DBCheckBox(DataBinding& binding, Field& field, const QString& text, QWidget* parent = nullptr);
    void showField() override;

  signals:
    void exited();

  protected:
    void focusOutEvent(QFocusEvent* event) override;
};

// A fixed drop-down list whose item index is the field's value. A stored value outside the list
// shows no item.
class DBComboBox : public QComboBox, public DBControl {
    Q_OBJECT
  public:
    DBComboBox(DataBinding& binding, Field& field, const QStringList& items,
               QWidget* parent = nullptr);
    void showField() override;

  signals:
    // The operator chose an item and its index is in the record.
    void chosen(int index);
};

// Every record of the table, one row each, with the current record selected; choosing a row
// makes it current. The rows are read when the table is not being edited; the record being
// edited is shown from its unsaved values.
class DBGrid : public QTableView, public DBControl {
    Q_OBJECT
  public:
    struct Column {
        Field* field;
        QString title;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
        // A time field that holds a length of time, shown as HH:MM:SS.
        bool duration = false;
    };
    DBGrid(DataBinding& binding, std::vector<Column> columns, QWidget* parent = nullptr);
    ~DBGrid() override;

    void showField() override;
    QString cellText(int row, int column) const;

  protected:
    void follow(TableChange change) override;

  private:
    class Model;
    void reload();
    void selectCurrent();
    void rowChosen(int row);
    QString displayText(const Column& column) const;

    std::vector<Column> columns_;
    std::vector<std::vector<QString>> rows_;
    Model* model_;
    bool reloading_ = false;
};

// The keys of the navigator's buttons, in the buttons' order (first, prior, next, last, insert,
// delete, edit, post, cancel, refresh); the editor window takes them wherever its focus is.
inline constexpr QKeyCombination NavigatorKeys[] = {
    Qt::CTRL | Qt::Key_Home,     QKeyCombination(Qt::Key_PageUp), QKeyCombination(Qt::Key_PageDown),
    Qt::CTRL | Qt::Key_End,      QKeyCombination(Qt::Key_Insert), Qt::CTRL | Qt::Key_Delete,
    QKeyCombination(Qt::Key_F2), Qt::CTRL | Qt::Key_Return,       QKeyCombination(Qt::Key_Escape),
    QKeyCombination(Qt::Key_F5)};

// The record navigator: first, prior, next, last, insert, delete, edit, post, cancel, refresh.
class DBNavigator : public QWidget {
    Q_OBJECT
  public:
    enum Button {
        nbFirst,
        nbPrior,
        nbNext,
        nbLast,
        nbInsert,
        nbDelete,
        nbEdit,
        nbPost,
        nbCancel,
        nbRefresh
    };
    static constexpr int ButtonCount = 10;

    explicit DBNavigator(DataBinding& binding, QWidget* parent = nullptr);

    QToolButton* button(Button which) const { return buttons_[which]; }
    // The button whose key was pressed (NavigatorKeys), if any.
    static std::optional<Button> buttonForKey(const QKeyEvent& event);
    // What a click on the button does: its work on the table, then clicked().
    void click(Button which);

    // Asked before a record is deleted; the default asks the operator with OK and Cancel.
    std::function<bool(std::string_view question)> confirmDelete;
    // An error the data layer raised in a button's work; the default shows it as a refusal.
    std::function<void(const std::exception& error)> reportError;

  signals:
    // Before the button's work (the task editor settles its "Stopped" box there).
    void aboutToAct(vektrin::DBNavigator::Button button);
    // After the button has done its work; not sent when the work failed.
    void clicked(vektrin::DBNavigator::Button button);

  private:
    void updateButtons();

    DataBinding& binding_;
    std::array<QToolButton*, ButtonCount> buttons_{};
};

// Runs an event handler the way every handler of the interface runs: an error it does not catch
// goes to report (the general error report) and the rest of the handler is skipped; an abort,
// whose message has been shown already, ends it quietly. False when the handler did not finish.
template <class Handler>
bool runHandler(const std::function<void(const std::exception&)>& report, Handler&& handler) {
    try {
        handler();
        return true;
    } catch (const AbortError&) {
    } catch (const std::exception& e) {
        report(e);
    }
    return false;
}

// Puts a label and one or two widgets on a row of a form's grid.
void labelledRow(QGridLayout& grid, int row, const QString& label, QWidget* first,
                 QWidget* second = nullptr);

// A yes/no question to the operator with OK and Cancel; answered OK at once where nobody can
// see it (offscreen), as every message box is.
bool askOperator(QWidget* parent, std::string_view question);
bool askOperator(QWidget* parent, const QString& question);

} // namespace vektrin
