#pragma once
// A dataset over one SQLite table: a cursor with bookmarks, edit/insert/post/cancel/delete, typed
// field objects and the handlers the data module hangs on it. Rows are held in memory and read
// again when another process has changed the file.

#include "platform/date_time.h"
#include "store/database.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3_stmt;

namespace vektrin {

enum class FieldType { Text, Int16, Int32, AutoInc, Float, Boolean, Date, Time };

struct FieldDef {
    FieldDef(std::string n, FieldType t, int w = 0, bool calc = false, bool req = false,
             std::optional<std::int64_t> max = std::nullopt, bool uniq = false)
        : name(std::move(n)), type(t), width(w), calculated(calc), required(req), maxValue(max),
          unique(uniq) {}

    std::string name;
    FieldType type = FieldType::Int32;
    int width = 0;           // characters, for text fields
    bool calculated = false; // filled by the calculated-fields handler, never stored
    bool required = false;
    std::optional<std::int64_t> maxValue; // a post above it fails with MaxValueErrorCode
    bool unique = false;                  // a repeated value fails with KeyViolationCode
};

// The stored columns of a table's fields (calculated ones are not stored), as the file keeps them.
std::vector<TableColumn> storedColumns(const std::vector<FieldDef>& fields);

using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

class Table;

// One column of the current record. Reads of a field without a value give 0, false or "".
class Field {
  public:
    Field(Table& table, int index) : table_(&table), index_(index) {}

    const FieldDef& def() const;
    const std::string& name() const { return def().name; }
    int index() const { return index_; }
    bool isNull() const;

    std::int64_t asInteger() const;
    double asFloat() const;
    bool asBoolean() const;
    std::string asString() const;
    DateTime asDateTime() const;

    // The table must be in edit or insert state (or the field calculated).
    void setInteger(std::int64_t v);
    void setFloat(double v);
    void setBoolean(bool v);
    void setString(std::string_view v);
    void setDateTime(DateTime v);
    void clear();

  private:
    const Value& value() const;
    Table* table_;
    int index_;
};

enum class PostErrorAction { Fail, Abort };

// A post of an edited record that another connection deleted meanwhile.
constexpr int RecordGoneCode = 8708;
// A move (or refresh, insert) while the current record holds changes nobody posted or cancelled.
constexpr int EditPendingCode = 8709;

// Receives what grids and bound controls need to repaint; silent while controls are disabled.
class TableObserver {
  public:
    virtual ~TableObserver() = default;
    virtual void dataSetChanged(Table&) {} // rows added, removed or re-read
    virtual void recordChanged(Table&) {}  // current record moved or its values changed
    virtual void stateChanged(Table&) {}   // browse/edit/insert
};

class Table {
  public:
    enum class State { Browse, Edit, Insert };
    using Bookmark = std::int64_t; // the row's rowid; 0 = none

    // orderBy: a column name that orders the rows, or empty for insertion order. The database
    // has made the table (storedColumns of the same fields).
    Table(Database& db, std::string schema, std::string name, std::vector<FieldDef> fields,
          std::string orderBy = {});
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& name() const { return name_; }
    Field& field(std::string_view name);
    Field& field(int index) { return *fieldObjects_[index]; }
    int fieldCount() const { return static_cast<int>(defs_.size()); }
    const FieldDef& fieldDef(int index) const { return defs_[index]; }

    // Navigation. An edit that changed nothing is dropped; a record with changes is never posted
    // by a move: whoever changed it posts or cancels it first, else the move fails with
    // EditPendingCode and the record stays as it is.
    void first();
    void last();
    void next();
    void prior();
    // Moves to the row at position index (0-based) of the table's order.
    void moveTo(int index);
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    bool isEmpty() const { return rows_.empty(); }
    int recordCount() const { return static_cast<int>(rows_.size()); }
    // 0-based position of the current record, -1 when the table is empty.
    int recNo() const { return rows_.empty() ? -1 : pos_; }

    Bookmark getBookmark() const;
    // False (and no move) when the record no longer exists.
    bool gotoBookmark(Bookmark bookmark);
    void freeBookmark(Bookmark) {}

    State state() const { return state_; }
    bool modified() const { return modified_; }
    void edit();
    void insert(); // a new record at the current position
    void append(); // a new record after the last
    // Writes a new record whole; of an edited one only the fields set since edit(), so that what
    // another connection committed meanwhile to the other fields stays as it is. Fails with
    // RecordGoneCode when another connection deleted the record.
    void post();
    // post() for a writer that must not stop when the files cannot take a change now (another
    // connection's lock, a full disk): the edited fields are then kept in memory (the record
    // shows them), queued, and written by writeDeferred(); while changes are queued, later ones
    // join the queue so that none overtakes another. Inserts are posted as by post(). False when
    // deferred; a record deleted meanwhile is dropped with its change.
    bool postDeferring();
    // Writes the queued changes in one transaction. Empty when the queue is empty afterwards,
    // else why the files refused them (they stay queued).
    std::string writeDeferred();
    bool hasDeferred() const { return !deferred_.empty(); }
    // Why the last change was deferred.
    const std::string& deferReason() const { return deferReason_; }
    // Writes the given stored fields of the record with the bookmark, and nothing else; false
    // when there is no such record. The rows in memory follow at the next read.
    bool writeFields(Bookmark bookmark, const std::vector<std::pair<std::string, Value>>& values);
    void cancel();
    void deleteRecord();
    // Reads the rows again, keeping the current record where it still exists.
    void refresh();
    // Reads the rows again only when another connection changed the file.
    void refreshIfChanged();
    // While on, a read that the file refuses for a while (another program's lock, a busy disk)
    // keeps the rows as last read instead of failing, and readRefusal() says why until a read
    // succeeds again. Writes still fail (or defer) as they do.
    void keepLastRead(bool on) { keepLastRead_ = on; }
    const std::optional<std::string>& readRefusal() const { return readRefusal_; }
    // Whether another connection committed to the file since the rows were last read.
    // (False while the file refuses to be asked and the rows as last read are kept.)
    bool changedOnDisk();
    // Runs visit once for every row as last read (read again first when another connection
    // changed the file and no record is being edited), in the table's order, the fields reading
    // that row. Neither the cursor nor a record being edited is touched, so a reader of the whole
    // table never disturbs an editor. visit only reads.
    void forEachRow(const std::function<void()>& visit);

    // Handlers of the data module.
    std::function<void(Table&)> onCalcFields;
    std::function<void(Table&)> beforePost;
    std::function<void(Table&)> beforeDelete;
    std::function<void(Table&, const DatabaseError&, PostErrorAction&)> onPostError;

    void addObserver(TableObserver* o);
    void removeObserver(TableObserver* o);
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disabled_ > 0; }

    Database& database() { return db_; }

  private:
    friend class Field;
    struct Row {
        std::int64_t rowid = 0;
        std::vector<Value> values;
    };

    void load();
    // What a move does with the record being edited (see first()).
    void leaveEditing();
    void finishPost(bool inserting);
    // UPDATE of the given columns of one row; false when the row is not there.
    bool updateRow(std::int64_t rowid, const std::vector<std::pair<int, const Value*>>& columns);
    const Value& currentValue(int index) const;
    void setValue(int index, Value v);
    void requireEditing(int index) const;
    void computeCalcFields() const;
    void writeRow(Row& row, bool inserting);
    int indexOfRowid(std::int64_t rowid) const;
    int sortedPosition(const Row& row) const;
    void notifyRecord();
    void notifyDataSet();
    void notifyState();
    void notify(void (TableObserver::*event)(Table&));
    void beginInsert(int position);
    std::int64_t readDataVersion();
    sqlite3_stmt* prepared(sqlite3_stmt*& slot, const std::string& sql);

    Database& db_;
    std::string schema_;
    std::string name_;
    std::vector<FieldDef> defs_;
    std::vector<std::unique_ptr<Field>> fieldObjects_;
    std::string orderBy_;
    int orderIndex_ = -1;
    int autoIncIndex_ = -1;

    std::vector<Row> rows_;
    int pos_ = 0;
    bool eof_ = true;
    bool bof_ = true;
    State state_ = State::Browse;
    bool modified_ = false;
    std::uint64_t dirty_ = 0; // the stored fields set since edit()
    Row buffer_;
    int insertPos_ = 0;
    int peek_ = -1; // the row forEachRow reads, -1 outside it

    mutable bool calcValid_ = false;
    mutable std::vector<Value> calcValues_;
    mutable bool inCalc_ = false;

    std::vector<TableObserver*> observers_;
    int disabled_ = 0;
    bool pendingDataSet_ = false;

    sqlite3_stmt* versionStmt_ = nullptr;
    std::map<std::uint64_t, sqlite3_stmt*> updateStmts_; // by the set of columns written
    sqlite3_stmt* insertStmt_ = nullptr;
    sqlite3_stmt* deleteStmt_ = nullptr;
    std::int64_t dataVersion_ = -1;
    std::uint64_t rollbacksSeen_ = 0;
    std::map<std::int64_t, std::map<int, Value>> deferred_; // rowid → field → value
    std::string deferReason_;
    bool keepLastRead_ = false;
    std::optional<std::string> readRefusal_;
};

// Held by an operation that edits records of the table: whatever ends it without a post (an early
// return, an exception) cancels the edit it opened, so no change outlives the operation. An edit
// that was open before (an operation called inside another) is left to the one that opened it.
class EditGuard {
  public:
    explicit EditGuard(Table& t) : table_(t), owns_(t.state() == Table::State::Browse) {}
    ~EditGuard() {
        if (!owns_ || table_.state() == Table::State::Browse) return;
        try {
            table_.cancel();
        } catch (...) {
        }
    }
    EditGuard(const EditGuard&) = delete;
    EditGuard& operator=(const EditGuard&) = delete;

  private:
    Table& table_;
    bool owns_;
};

// Cuts a UTF-8 text to at most width characters without splitting a character.
std::string cutToWidth(std::string_view text, int width);

} // namespace vektrin
