#include "store/table.h"

#include "platform/strings.h"

#include <algorithm>

namespace vektrin {
namespace {

const Value NullValue{};

int indexOfField(const std::vector<FieldDef>& defs, const std::string& name) {
    for (size_t i = 0; i < defs.size(); ++i)
        if (!name.empty() && defs[i].name == name) return static_cast<int>(i);
    return -1;
}

} // namespace

Table::Table(StoreBackend& db, std::string schema, std::string name, std::vector<FieldDef> fields,
             std::string orderBy)
    : db_(db), name_(std::move(name)), defs_(std::move(fields)),
      rows_(db, db.openTable(schema, name_, defs_, orderBy), indexOfField(defs_, orderBy)) {
    for (int i = 0; i < fieldCount(); ++i) {
        fieldObjects_.push_back(std::make_unique<Field>(*this, i));
        if (defs_[i].type == FieldType::AutoInc) autoIncIndex_ = i;
    }
    if (defs_.size() > MaxFields)
        throw DatabaseError(0, name_ + ": more fields than a post can track");
    calcValues_.resize(defs_.size());
    load();
}

Table::~Table() = default;

Field& Table::field(std::string_view name) {
    for (int i = 0; i < fieldCount(); ++i)
        if (defs_[i].name == name) return *fieldObjects_[i];
    throw DatabaseError(0, name_ + ": Field '" + std::string(name) + "' not found");
}

void Table::load() {
    rows_.read();
    // Changes not yet written are what the record holds for this program.
    deferred_.overlay(rows_.rows());
    cursor_.fit();
    calcValid_ = false;
}

const Value& Table::currentValue(int index) const {
    if (peek_ >= 0) return rows_.rows()[static_cast<size_t>(peek_)].values[index];
    if (state() != State::Browse) return edit_.row().values[index];
    if (rows_.empty()) return NullValue;
    return rows_.rows()[cursor_.pos()].values[index];
}

void Table::setValue(int index, Value v) {
    if (defs_[index].calculated) {
        calcValues_[index] = std::move(v);
        return;
    }
    if (state() == State::Browse || peek_ >= 0)
        throw DatabaseError(0, name_ + ": Dataset not in edit or insert mode (field '" +
                                   defs_[index].name + "')");
    edit_.set(index, std::move(v));
    calcValid_ = false;
    notifyRecord();
}

void Table::computeCalcFields() const {
    if (calcValid_ || inCalc_) return;
    for (auto& v : calcValues_)
        v = Value{};
    if (onCalcFields && !(rows_.empty() && state() == State::Browse)) {
        inCalc_ = true;
        try {
            onCalcFields(const_cast<Table&>(*this));
        } catch (...) {
            inCalc_ = false;
            throw;
        }
        inCalc_ = false;
    }
    calcValid_ = true;
}

void Table::leaveEditing() {
    if (state() == State::Browse) return;
    if (modified()) throw DatabaseError(EditPendingCode, std::string(str::RecordChangePending));
    cancel();
}

void Table::forEachRow(const std::function<void()>& visit) {
    refreshIfChanged();
    struct Done {
        Table& t;
        ~Done() {
            t.peek_ = -1;
            t.calcValid_ = false;
        }
    } done{*this};
    for (peek_ = 0; peek_ < rows_.size(); ++peek_) {
        calcValid_ = false;
        visit();
    }
}

void Table::recordMoved() {
    calcValid_ = false;
    notifyRecord();
}

void Table::first() {
    leaveEditing();
    refreshIfChanged();
    cursor_.first();
    recordMoved();
}

void Table::last() {
    leaveEditing();
    cursor_.last();
    recordMoved();
}

void Table::next() {
    leaveEditing();
    if (cursor_.next()) recordMoved();
}

void Table::prior() {
    leaveEditing();
    if (cursor_.prior()) recordMoved();
}

void Table::moveTo(int index) {
    leaveEditing();
    if (cursor_.moveTo(index)) recordMoved();
}

bool Table::gotoBookmark(Bookmark bookmark) {
    leaveEditing();
    const int idx = rows_.indexOf(bookmark);
    if (idx < 0) return false;
    if (idx != cursor_.pos() || cursor_.eof()) {
        cursor_.setPos(idx);
        recordMoved();
    }
    cursor_.onRecord();
    return true;
}

void Table::edit() {
    if (state() != State::Browse) return;
    if (rows_.empty()) {
        append();
        return;
    }
    const std::int64_t rowid = getBookmark();
    try {
        refreshIfChanged();
    } catch (const DatabaseError& e) {
        // The file cannot be asked now; a post writes only the fields set, so the row as last
        // read serves, and the post finds out whether the record is still there.
        if (!isTransientFailure(e)) throw;
    }
    const int idx = rows_.indexOf(rowid);
    if (idx < 0) throw DatabaseError(0, "Record not found or changed by another user");
    cursor_.setPos(idx);
    edit_.edit(rows_.rows()[idx]);
    notifyState();
}

void Table::insert() {
    leaveEditing();
    beginInsert();
}

void Table::append() {
    leaveEditing();
    beginInsert();
}

void Table::beginInsert() {
    edit_.insert(fieldCount());
    calcValid_ = false;
    notifyState();
}

void Table::cancel() {
    if (state() == State::Browse) return;
    edit_.end();
    calcValid_ = false;
    notifyState();
    notifyRecord();
}

void Table::post() {
    if (state() == State::Browse) return;
    const bool inserting = state() == State::Insert;
    try {
        if (beforePost) beforePost(*this);
        edit_.check(defs_);
        edit_.write(rows_.backend(), defs_, autoIncIndex_);
    } catch (const DatabaseError& e) {
        PostErrorAction action = PostErrorAction::Fail;
        if (onPostError) onPostError(*this, e, action);
        if (action == PostErrorAction::Abort) throw AbortError();
        throw;
    }
    finishPost(inserting);
}

void Table::finishPost(bool inserting) {
    auto& rows = rows_.rows();
    const int pos = cursor_.pos();
    int at = pos;
    if (!inserting && !rows_.ordered()) {
        // In rowid order an edit never moves its row: replaced where it stands, so that a run of
        // posts over a large table stays linear.
        rows[static_cast<std::size_t>(pos)] = edit_.row();
    } else {
        if (!inserting) rows.erase(rows.begin() + pos);
        // Where the record belongs in the order, which an edit may have changed.
        at = rows_.place(edit_.row());
    }
    if (inserting || at != pos) {
        cursor_.setPos(at);
        notifyDataSet();
    }
    cursor_.onRecord();
    edit_.end();
    calcValid_ = false;
    notifyState();
    notifyRecord();
}

bool Table::postDeferring() {
    if (state() != State::Edit) {
        post();
        return true;
    }
    std::string reason;
    if (deferred_.empty()) {
        try {
            post();
            return true;
        } catch (const DatabaseError& e) {
            if (e.code() == RecordGoneCode) {
                cancel();
                return true;
            }
            if (!isTransientFailure(e)) throw;
            reason = e.what();
        }
    }
    deferred_.add(edit_.row().rowid, edit_.changed(defs_), reason);
    finishPost(false);
    return false;
}

std::string Table::writeDeferred() {
    return deferred_.write(db_, rows_.backend());
}

bool Table::writeFields(Bookmark bookmark,
                        const std::vector<std::pair<std::string, Value>>& values) {
    FieldValues columns;
    for (const auto& [fieldName, value] : values) {
        const int index = field(fieldName).index();
        if (defs_[static_cast<size_t>(index)].calculated)
            throw DatabaseError(0, name_ + ": the field '" + fieldName + "' is not stored");
        if (const auto* text = std::get_if<std::string>(&value))
            checkTextWidth(defs_[static_cast<size_t>(index)], *text);
        columns.emplace_back(index, &value);
    }
    if (columns.empty()) return rows_.indexOf(bookmark) >= 0;
    return rows_.backend().updateRow(bookmark, columns);
}

void Table::deleteRecord() {
    if (state() == State::Insert) {
        cancel();
        return;
    }
    if (state() == State::Edit) cancel();
    if (rows_.empty()) throw DatabaseError(0, "Cannot perform this operation on an empty dataset");
    const std::int64_t rowid = getBookmark();
    {
        // What the handler changes elsewhere for the deletion goes with it, or stays with it.
        Transaction transaction(db_);
        if (beforeDelete) beforeDelete(*this);
        rows_.backend().deleteRow(rowid);
        transaction.commit();
    }
    const int idx = rows_.indexOf(rowid); // the handler may have moved the cursor
    if (idx >= 0) {
        rows_.rows().erase(rows_.rows().begin() + idx);
        cursor_.setPos(idx);
    }
    cursor_.fit();
    calcValid_ = false;
    notifyDataSet();
}

void Table::refresh() {
    leaveEditing();
    const std::int64_t rowid = getBookmark();
    const int oldPos = cursor_.pos();
    load();
    cursor_.keepOn(rowid, oldPos);
    notifyDataSet();
}

bool Table::changedOnDisk() {
    return rows_.changedOnDisk();
}

void Table::refreshIfChanged() {
    if (state() != State::Browse) return;
    try {
        if (rows_.stale()) refresh();
        rows_.clearRefusal();
    } catch (const DatabaseError& e) {
        if (!rows_.refused(e)) throw;
    }
}

} // namespace vektrin
