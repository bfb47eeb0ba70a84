#pragma once
// A dataset over one table: a cursor with bookmarks, edit/insert/post/cancel/delete, typed
// field objects and the handlers the data module hangs on it. Its parts: the rows held in memory
// (row_cache.h, read again when another process has changed the table), the cursor (cursor.h),
// the record being edited (edit_buffer.h) and the changes the files refused for now
// (deferred_queue.h); the database behind a StoreBackend (store_backend.h).

#include "store/cursor.h"
#include "store/deferred_queue.h"
#include "store/edit_buffer.h"
#include "store/field.h"
#include "store/observers.h"
#include "store/row_cache.h"
#include "store/store_backend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vektrin {

enum class PostErrorAction { Fail, Abort };

// A move (or refresh, insert) while the current record holds changes nobody posted or cancelled.
constexpr int EditPendingCode = 8709;

class Table {
  public:
    using State = EditState;
    using Bookmark = std::int64_t; // the row's rowid; 0 = none

    // orderBy: a column name that orders the rows, or empty for insertion order. The database
    // has made the table (storedColumns of the same fields).
    Table(StoreBackend& db, std::string schema, std::string name, std::vector<FieldDef> fields,
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
    bool eof() const { return cursor_.eof(); }
    bool bof() const { return cursor_.bof(); }
    bool isEmpty() const { return rows_.empty(); }
    int recordCount() const { return rows_.size(); }
    // 0-based position of the current record, -1 when the table is empty.
    int recNo() const { return cursor_.recNo(); }

    Bookmark getBookmark() const { return cursor_.bookmark(); }
    // False (and no move) when the record no longer exists.
    bool gotoBookmark(Bookmark bookmark);
    void freeBookmark(Bookmark) {}

    State state() const { return edit_.state(); }
    bool modified() const { return edit_.modified(); }
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
    const std::string& deferReason() const { return deferred_.reason(); }
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
    void keepLastRead(bool on) { rows_.keepLastRead(on); }
    const std::optional<std::string>& readRefusal() const { return rows_.readRefusal(); }
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

    void addObserver(TableObserver* o) { observers_.add(o); }
    void removeObserver(TableObserver* o) { observers_.remove(o); }
    void disableControls() { observers_.disable(); }
    void enableControls() { observers_.enable(*this); }
    bool controlsDisabled() const { return observers_.disabled(); }

    StoreBackend& database() { return db_; }

  private:
    friend class Field;

    // Reads the rows (the deferred changes shown in them) and keeps the cursor within them.
    void load();
    // What a move does with the record being edited (see first()).
    void leaveEditing();
    void finishPost(bool inserting);
    void beginInsert();
    const Value& currentValue(int index) const;
    void setValue(int index, Value v);
    void computeCalcFields() const;
    void recordMoved();
    void notifyRecord() { observers_.tell(*this, &TableObserver::recordChanged); }
    void notifyDataSet() { observers_.tell(*this, &TableObserver::dataSetChanged); }
    void notifyState() { observers_.tell(*this, &TableObserver::stateChanged); }

    StoreBackend& db_;
    std::string name_;
    std::vector<FieldDef> defs_;
    std::vector<std::unique_ptr<Field>> fieldObjects_;
    int autoIncIndex_ = -1;

    RowCache rows_;
    Cursor cursor_{rows_};
    EditBuffer edit_;
    DeferredQueue deferred_;
    int peek_ = -1; // the row forEachRow reads, -1 outside it

    mutable bool calcValid_ = false;
    mutable std::vector<Value> calcValues_;
    mutable bool inCalc_ = false;

    Observers observers_;
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

} // namespace vektrin
