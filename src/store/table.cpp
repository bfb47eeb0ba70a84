#include "store/table.h"

#include "platform/strings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sqlite3.h>

namespace vektrin {
namespace {

const Value NullValue{};

bool isStored(const FieldDef& d) {
    return !d.calculated;
}

std::string formatFloat(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::optional<std::int64_t> parseInteger(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

std::optional<double> parseFloat(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    double v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

std::int64_t roundToInteger(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (v <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return std::llround(v);
}

void checkRange(const FieldDef& d, std::int64_t v) {
    std::int64_t lo = 0, hi = 0;
    switch (d.type) {
    case FieldType::Int16:
        lo = -32768;
        hi = 32767;
        break;
    case FieldType::Int32:
    case FieldType::AutoInc:
        lo = std::numeric_limits<std::int32_t>::min();
        hi = std::numeric_limits<std::int32_t>::max();
        break;
    default:
        return;
    }
    if (v < lo || v > hi)
        throw DatabaseError(0, std::to_string(v) + " is not a valid value for field '" + d.name +
                                   "'. The allowed range is " + std::to_string(lo) + " to " +
                                   std::to_string(hi));
}

} // namespace

std::string cutToWidth(std::string_view text, int width) {
    if (width <= 0) return std::string(text);
    size_t i = 0;
    int chars = 0;
    while (i < text.size() && chars < width) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + len > text.size()) len = text.size() - i;
        i += len;
        ++chars;
    }
    return std::string(text.substr(0, i));
}

// ---------------------------------------------------------------- Field

const FieldDef& Field::def() const {
    return table_->defs_[index_];
}

const Value& Field::value() const {
    if (def().calculated) {
        table_->computeCalcFields();
        return table_->calcValues_[index_];
    }
    return table_->currentValue(index_);
}

bool Field::isNull() const {
    return std::holds_alternative<std::monostate>(value());
}

std::int64_t Field::asInteger() const {
    const Value& v = value();
    if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto* d = std::get_if<double>(&v)) return roundToInteger(*d);
    if (auto* s = std::get_if<std::string>(&v)) return parseInteger(*s).value_or(0);
    return 0;
}

double Field::asFloat() const {
    const Value& v = value();
    if (auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* s = std::get_if<std::string>(&v)) return parseFloat(*s).value_or(0);
    return 0;
}

bool Field::asBoolean() const {
    const Value& v = value();
    if (auto* i = std::get_if<std::int64_t>(&v)) return *i != 0;
    if (auto* d = std::get_if<double>(&v)) return *d != 0;
    if (auto* s = std::get_if<std::string>(&v)) return *s == "True" || *s == "1";
    return false;
}

std::string Field::asString() const {
    const Value& v = value();
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (std::holds_alternative<std::monostate>(v)) return {};
    if (def().type == FieldType::Boolean) return asBoolean() ? "True" : "False";
    if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    return formatFloat(std::get<double>(v));
}

DateTime Field::asDateTime() const {
    return asFloat();
}

void Field::setInteger(std::int64_t v) {
    const FieldDef& d = def();
    switch (d.type) {
    case FieldType::Text:
        table_->setValue(index_, cutToWidth(std::to_string(v), d.width));
        return;
    case FieldType::Float:
    case FieldType::Date:
    case FieldType::Time:
        setFloat(static_cast<double>(v));
        return;
    case FieldType::Boolean:
        table_->setValue(index_, std::int64_t{v != 0});
        return;
    default:
        checkRange(d, v);
        table_->setValue(index_, v);
        return;
    }
}

void Field::setFloat(double v) {
    const FieldDef& d = def();
    switch (d.type) {
    case FieldType::Float:
        table_->setValue(index_, v);
        return;
    case FieldType::Date:
        table_->setValue(index_, datePart(v));
        return;
    case FieldType::Time:
        table_->setValue(index_, timePart(v));
        return;
    case FieldType::Text:
        table_->setValue(index_, cutToWidth(formatFloat(v), d.width));
        return;
    case FieldType::Boolean:
        table_->setValue(index_, std::int64_t{v != 0});
        return;
    default:
        if (!std::isfinite(v) || v > 9.2e18 || v < -9.2e18)
            throw DatabaseError(0, formatFloat(v) + " is not a valid value for field '" + d.name +
                                       "'");
        setInteger(std::llround(v));
        return;
    }
}

void Field::setBoolean(bool v) {
    if (def().type == FieldType::Text) {
        table_->setValue(index_, std::string(v ? "True" : "False"));
        return;
    }
    setInteger(v ? 1 : 0);
}

void Field::setString(std::string_view v) {
    const FieldDef& d = def();
    switch (d.type) {
    case FieldType::Text:
        table_->setValue(index_, cutToWidth(v, d.width));
        return;
    case FieldType::Boolean:
        if (v == "True" || v == "true" || v == "1")
            setBoolean(true);
        else if (v == "False" || v == "false" || v == "0" || v.empty())
            setBoolean(false);
        else
            throw DatabaseError(0, "'" + std::string(v) +
                                       "' is not a valid boolean value for field '" + d.name + "'");
        return;
    case FieldType::Float:
    case FieldType::Date:
    case FieldType::Time: {
        if (v.empty()) {
            clear();
            return;
        }
        auto f = parseFloat(v);
        if (!f)
            throw DatabaseError(0, "'" + std::string(v) + "' is not a valid floating point value");
        setFloat(*f);
        return;
    }
    default: {
        if (v.empty()) {
            clear();
            return;
        }
        auto i = parseInteger(v);
        if (!i) throw DatabaseError(0, "'" + std::string(v) + "' is not a valid integer value");
        setInteger(*i);
        return;
    }
    }
}

void Field::setDateTime(DateTime v) {
    setFloat(v);
}

void Field::clear() {
    table_->setValue(index_, Value{});
}

// ---------------------------------------------------------------- Table

std::vector<TableColumn> storedColumns(const std::vector<FieldDef>& fields) {
    std::vector<TableColumn> columns;
    for (const FieldDef& d : fields) {
        if (d.calculated) continue;
        TableColumn c{d.name, {}, true};
        switch (d.type) {
        case FieldType::AutoInc:
            c.declaration = "INTEGER PRIMARY KEY AUTOINCREMENT";
            c.addable = false;
            break;
        case FieldType::Text:
            c.declaration = "TEXT";
            break;
        case FieldType::Float:
        case FieldType::Date:
        case FieldType::Time:
            c.declaration = "REAL";
            break;
        default:
            c.declaration = "INTEGER";
        }
        if (d.required) c.declaration += " NOT NULL";
        if (d.unique) c.declaration += " UNIQUE";
        if (d.maxValue)
            c.declaration += " CHECK (\"" + d.name + "\" <= " + std::to_string(*d.maxValue) + ")";
        // ALTER TABLE cannot add a key, and a NOT NULL column needs a value for the rows there.
        if (d.required || d.unique) c.addable = false;
        columns.push_back(std::move(c));
    }
    return columns;
}

Table::Table(Database& db, std::string schema, std::string name, std::vector<FieldDef> fields,
             std::string orderBy)
    : db_(db), schema_(std::move(schema)), name_(std::move(name)), defs_(std::move(fields)),
      orderBy_(std::move(orderBy)) {
    for (int i = 0; i < fieldCount(); ++i) {
        fieldObjects_.push_back(std::make_unique<Field>(*this, i));
        if (defs_[i].type == FieldType::AutoInc) autoIncIndex_ = i;
        if (!orderBy_.empty() && defs_[i].name == orderBy_) orderIndex_ = i;
    }
    if (defs_.size() > 64) throw DatabaseError(0, name_ + ": more fields than a post can track");
    calcValues_.resize(defs_.size());
    // The version first: a commit between the two then costs one needless read later, while the
    // other order could keep rows older than the version they are taken for.
    try {
        dataVersion_ = readDataVersion();
        rollbacksSeen_ = db_.rollbacks();
        load();
    } catch (...) {
        // No destructor runs for a half-made table: its statement would keep the connection open.
        sqlite3_finalize(versionStmt_);
        throw;
    }
}

Table::~Table() {
    sqlite3_finalize(versionStmt_);
    for (auto& [columns, st] : updateStmts_)
        sqlite3_finalize(st);
    sqlite3_finalize(insertStmt_);
    sqlite3_finalize(deleteStmt_);
}

sqlite3_stmt* Table::prepared(sqlite3_stmt*& slot, const std::string& sql) {
    // sql is only read when the statement is not prepared yet.
    if (!slot && sqlite3_prepare_v3(db_.handle(), sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &slot,
                                    nullptr) != SQLITE_OK)
        throw DatabaseError(sqlite3_extended_errcode(db_.handle()), sqlite3_errmsg(db_.handle()));
    sqlite3_reset(slot);
    sqlite3_clear_bindings(slot);
    return slot;
}

std::int64_t Table::readDataVersion() {
    sqlite3_stmt* s = prepared(versionStmt_, "PRAGMA " + schema_ + ".data_version");
    // A file that cannot be asked (another program's exclusive lock) cannot be trusted either.
    if (sqlite3_step(s) != SQLITE_ROW) {
        const int code = sqlite3_extended_errcode(db_.handle());
        const std::string message = sqlite3_errmsg(db_.handle());
        sqlite3_reset(s);
        throw DatabaseError(code, message);
    }
    const std::int64_t v = sqlite3_column_int64(s, 0);
    sqlite3_reset(s);
    return v;
}

Field& Table::field(std::string_view name) {
    for (int i = 0; i < fieldCount(); ++i)
        if (defs_[i].name == name) return *fieldObjects_[i];
    throw DatabaseError(0, name_ + ": Field '" + std::string(name) + "' not found");
}

void Table::load() {
    std::string sql = "SELECT rowid";
    for (const auto& d : defs_)
        if (isStored(d))
            sql += db_.lacksColumn(schema_, d.name) ? ", NULL" : ", \"" + d.name + "\"";
    sql += " FROM " + schema_ + ".\"" + name_ + "\" ORDER BY ";
    sql += orderBy_.empty() ? "rowid" : "\"" + orderBy_ + "\", rowid";
    Statement st(db_.handle(), sql);
    std::vector<Row> rows;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        Row r;
        r.rowid = sqlite3_column_int64(st.get(), 0);
        r.values.resize(defs_.size());
        int col = 1;
        for (size_t i = 0; i < defs_.size(); ++i) {
            if (!isStored(defs_[i])) continue;
            switch (sqlite3_column_type(st.get(), col)) {
            case SQLITE_INTEGER:
                r.values[i] = static_cast<std::int64_t>(sqlite3_column_int64(st.get(), col));
                break;
            case SQLITE_FLOAT:
                r.values[i] = sqlite3_column_double(st.get(), col);
                break;
            case SQLITE_TEXT:
            case SQLITE_BLOB: {
                auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), col));
                r.values[i] = std::string(p ? p : "",
                                          static_cast<size_t>(sqlite3_column_bytes(st.get(), col)));
                break;
            }
            default:
                break;
            }
            ++col;
        }
        rows.push_back(std::move(r));
    }
    if (rc != SQLITE_DONE)
        throw DatabaseError(sqlite3_extended_errcode(db_.handle()), sqlite3_errmsg(db_.handle()));
    // Changes not yet written are what the record holds for this program.
    if (!deferred_.empty())
        for (Row& r : rows)
            if (auto it = deferred_.find(r.rowid); it != deferred_.end())
                for (const auto& [index, value] : it->second)
                    r.values[static_cast<size_t>(index)] = value;
    rows_ = std::move(rows);
    if (pos_ >= static_cast<int>(rows_.size()))
        pos_ = rows_.empty() ? 0 : static_cast<int>(rows_.size()) - 1;
    eof_ = rows_.empty();
    bof_ = rows_.empty() || pos_ == 0;
    calcValid_ = false;
}

const Value& Table::currentValue(int index) const {
    if (peek_ >= 0) return rows_[static_cast<size_t>(peek_)].values[index];
    if (state_ != State::Browse) return buffer_.values[index];
    if (rows_.empty()) return NullValue;
    return rows_[pos_].values[index];
}

void Table::requireEditing(int index) const {
    if (state_ == State::Browse || peek_ >= 0)
        throw DatabaseError(0, name_ + ": Dataset not in edit or insert mode (field '" +
                                   defs_[index].name + "')");
}

void Table::setValue(int index, Value v) {
    if (defs_[index].calculated) {
        calcValues_[index] = std::move(v);
        return;
    }
    requireEditing(index);
    buffer_.values[index] = std::move(v);
    modified_ = true;
    dirty_ |= std::uint64_t{1} << index;
    calcValid_ = false;
    notifyRecord();
}

void Table::computeCalcFields() const {
    if (calcValid_ || inCalc_) return;
    for (auto& v : calcValues_)
        v = Value{};
    if (onCalcFields && !(rows_.empty() && state_ == State::Browse)) {
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
    if (state_ == State::Browse) return;
    if (modified_) throw DatabaseError(EditPendingCode, std::string(str::RecordChangePending));
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
    for (peek_ = 0; peek_ < static_cast<int>(rows_.size()); ++peek_) {
        calcValid_ = false;
        visit();
    }
}

void Table::first() {
    leaveEditing();
    refreshIfChanged();
    pos_ = 0;
    bof_ = true;
    eof_ = rows_.empty();
    calcValid_ = false;
    notifyRecord();
}

void Table::last() {
    leaveEditing();
    pos_ = rows_.empty() ? 0 : static_cast<int>(rows_.size()) - 1;
    eof_ = true;
    bof_ = rows_.size() <= 1;
    calcValid_ = false;
    notifyRecord();
}

void Table::next() {
    leaveEditing();
    if (pos_ + 1 < static_cast<int>(rows_.size())) {
        ++pos_;
        bof_ = false;
        eof_ = false;
        calcValid_ = false;
        notifyRecord();
    } else {
        eof_ = true;
    }
}

void Table::prior() {
    leaveEditing();
    if (pos_ > 0) {
        --pos_;
        eof_ = false;
        bof_ = false;
        calcValid_ = false;
        notifyRecord();
    } else {
        bof_ = true;
    }
}

void Table::moveTo(int index) {
    leaveEditing();
    if (rows_.empty()) return;
    pos_ = std::clamp(index, 0, static_cast<int>(rows_.size()) - 1);
    eof_ = false;
    bof_ = pos_ == 0;
    calcValid_ = false;
    notifyRecord();
}

Table::Bookmark Table::getBookmark() const {
    if (rows_.empty()) return 0;
    return rows_[pos_].rowid;
}

int Table::indexOfRowid(std::int64_t rowid) const {
    if (orderIndex_ < 0) {
        auto it = std::lower_bound(rows_.begin(), rows_.end(), rowid,
                                   [](const Row& r, std::int64_t id) { return r.rowid < id; });
        if (it != rows_.end() && it->rowid == rowid) return static_cast<int>(it - rows_.begin());
        return -1;
    }
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].rowid == rowid) return static_cast<int>(i);
    return -1;
}

bool Table::gotoBookmark(Bookmark bookmark) {
    leaveEditing();
    int idx = indexOfRowid(bookmark);
    if (idx < 0) return false;
    if (idx != pos_ || eof_) {
        pos_ = idx;
        calcValid_ = false;
        notifyRecord();
    }
    eof_ = false;
    bof_ = false;
    return true;
}

void Table::edit() {
    if (state_ != State::Browse) return;
    if (rows_.empty()) {
        append();
        return;
    }
    const std::int64_t rowid = rows_[pos_].rowid;
    try {
        refreshIfChanged();
    } catch (const DatabaseError& e) {
        // The file cannot be asked now; a post writes only the fields set, so the row as last
        // read serves, and the post finds out whether the record is still there.
        if (!isTransientFailure(e.code())) throw;
    }
    int idx = indexOfRowid(rowid);
    if (idx < 0) throw DatabaseError(0, "Record not found or changed by another user");
    pos_ = idx;
    buffer_ = rows_[pos_];
    state_ = State::Edit;
    modified_ = false;
    dirty_ = 0;
    notifyState();
}

void Table::insert() {
    leaveEditing();
    beginInsert(rows_.empty() ? 0 : pos_);
}

void Table::append() {
    leaveEditing();
    beginInsert(static_cast<int>(rows_.size()));
}

void Table::beginInsert(int position) {
    buffer_ = Row{0, std::vector<Value>(defs_.size())};
    insertPos_ = position;
    state_ = State::Insert;
    modified_ = false;
    dirty_ = 0;
    calcValid_ = false;
    notifyState();
}

void Table::cancel() {
    if (state_ == State::Browse) return;
    state_ = State::Browse;
    modified_ = false;
    dirty_ = 0;
    calcValid_ = false;
    notifyState();
    notifyRecord();
}

int Table::sortedPosition(const Row& row) const {
    if (orderIndex_ < 0) {
        auto it = std::lower_bound(rows_.begin(), rows_.end(), row.rowid,
                                   [](const Row& r, std::int64_t id) { return r.rowid < id; });
        return static_cast<int>(it - rows_.begin());
    }
    auto key = [&](const Row& r) {
        const Value& v = r.values[orderIndex_];
        if (auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
        if (auto* d = std::get_if<double>(&v)) return *d;
        return -std::numeric_limits<double>::infinity(); // NULL sorts first, as SQLite does
    };
    const double k = key(row);
    size_t i = 0;
    while (i < rows_.size() &&
           (key(rows_[i]) < k || (key(rows_[i]) == k && rows_[i].rowid < row.rowid)))
        ++i;
    return static_cast<int>(i);
}

namespace {

void bindValue(sqlite3_stmt* st, int param, const Value& v) {
    if (auto* n = std::get_if<std::int64_t>(&v))
        sqlite3_bind_int64(st, param, *n);
    else if (auto* d = std::get_if<double>(&v))
        sqlite3_bind_double(st, param, *d);
    else if (auto* s = std::get_if<std::string>(&v))
        sqlite3_bind_text(st, param, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(st, param);
}

[[noreturn]] void throwStepFailure(sqlite3* h) {
    const int ext = sqlite3_extended_errcode(h);
    const std::string msg = sqlite3_errmsg(h);
    if (ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY)
        throw DatabaseError(KeyViolationCode, "Key violation");
    if (ext == SQLITE_CONSTRAINT_CHECK)
        throw DatabaseError(MaxValueErrorCode, "Maximum validity check failed");
    if (ext == SQLITE_CONSTRAINT_NOTNULL)
        throw DatabaseError(RequiredFieldCode, "Field value required");
    throw DatabaseError(ext, msg);
}

} // namespace

bool Table::updateRow(std::int64_t rowid,
                      const std::vector<std::pair<int, const Value*>>& columns) {
    std::uint64_t set = 0;
    for (const auto& [index, value] : columns)
        set |= std::uint64_t{1} << index;
    sqlite3_stmt*& slot = updateStmts_[set];
    std::string sql;
    if (!slot) {
        std::string sets;
        for (size_t i = 0; i < defs_.size(); ++i) {
            if (!(set & (std::uint64_t{1} << i))) continue;
            if (!sets.empty()) sets += ", ";
            sets += "\"" + defs_[i].name + "\" = ?";
        }
        sql = "UPDATE " + schema_ + ".\"" + name_ + "\" SET " + sets + " WHERE rowid = ?";
    }
    sqlite3_stmt* st = prepared(slot, sql);
    // Bound in the statement's column order, which is the fields' order.
    std::vector<std::pair<int, const Value*>> ordered = columns;
    std::sort(ordered.begin(), ordered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    int param = 1;
    for (const auto& [index, value] : ordered)
        bindValue(st, param++, *value);
    sqlite3_bind_int64(st, param, rowid);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) throwStepFailure(db_.handle());
    return sqlite3_changes(db_.handle()) > 0;
}

void Table::writeRow(Row& row, bool inserting) {
    sqlite3* h = db_.handle();
    if (!inserting) {
        std::vector<std::pair<int, const Value*>> columns;
        for (size_t i = 0; i < defs_.size(); ++i)
            if (isStored(defs_[i]) && (dirty_ & (std::uint64_t{1} << i)))
                columns.emplace_back(static_cast<int>(i), &row.values[i]);
        if (columns.empty()) return;
        if (!updateRow(row.rowid, columns))
            throw DatabaseError(RecordGoneCode,
                                "The record was deleted by another program; the change was not "
                                "stored");
        return;
    }
    std::string cols, params;
    for (const auto& d : defs_) {
        if (!isStored(d)) continue;
        if (!cols.empty()) {
            cols += ", ";
            params += ", ";
        }
        cols += "\"" + d.name + "\"";
        params += "?";
    }
    sqlite3_stmt* st = prepared(insertStmt_, "INSERT INTO " + schema_ + ".\"" + name_ + "\" (" +
                                                 cols + ") VALUES (" + params + ")");
    int param = 1;
    for (size_t i = 0; i < defs_.size(); ++i)
        if (isStored(defs_[i])) bindValue(st, param++, row.values[i]);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) throwStepFailure(h);
    row.rowid = sqlite3_last_insert_rowid(h);
    if (autoIncIndex_ >= 0) row.values[autoIncIndex_] = row.rowid;
}

void Table::post() {
    if (state_ == State::Browse) return;
    const bool inserting = state_ == State::Insert;
    try {
        if (beforePost) beforePost(*this);
        for (size_t i = 0; i < defs_.size(); ++i) {
            const FieldDef& d = defs_[i];
            if (d.required && std::holds_alternative<std::monostate>(buffer_.values[i]))
                throw DatabaseError(RequiredFieldCode, "Field '" + d.name + "' must have a value");
            if (d.maxValue) {
                const Value& v = buffer_.values[i];
                const double x = std::holds_alternative<std::int64_t>(v)
                                     ? static_cast<double>(std::get<std::int64_t>(v))
                                 : std::holds_alternative<double>(v) ? std::get<double>(v)
                                                                     : 0;
                if (x > static_cast<double>(*d.maxValue))
                    throw DatabaseError(MaxValueErrorCode,
                                        "Field '" + d.name + "' value out of upper bound");
            }
        }
        writeRow(buffer_, inserting);
    } catch (const DatabaseError& e) {
        PostErrorAction action = PostErrorAction::Fail;
        if (onPostError) onPostError(*this, e, action);
        if (action == PostErrorAction::Abort) throw AbortError();
        throw;
    }
    finishPost(inserting);
}

void Table::finishPost(bool inserting) {
    if (inserting) {
        int at = sortedPosition(buffer_);
        rows_.insert(rows_.begin() + at, buffer_);
        pos_ = at;
        notifyDataSet();
    } else {
        rows_[pos_] = buffer_;
        if (orderIndex_ >= 0) {
            Row moved = std::move(rows_[pos_]);
            rows_.erase(rows_.begin() + pos_);
            int at = sortedPosition(moved);
            rows_.insert(rows_.begin() + at, std::move(moved));
            if (at != pos_) {
                pos_ = at;
                notifyDataSet();
            }
        }
    }
    eof_ = false;
    bof_ = false;
    state_ = State::Browse;
    modified_ = false;
    dirty_ = 0;
    calcValid_ = false;
    notifyState();
    notifyRecord();
}

bool Table::postDeferring() {
    if (state_ != State::Edit) {
        post();
        return true;
    }
    if (deferred_.empty()) {
        try {
            post();
            return true;
        } catch (const DatabaseError& e) {
            if (e.code() == RecordGoneCode) {
                cancel();
                return true;
            }
            if (!isTransientFailure(e.code())) throw;
            deferReason_ = e.what();
        }
    }
    auto& queued = deferred_[buffer_.rowid];
    for (size_t i = 0; i < defs_.size(); ++i)
        if (isStored(defs_[i]) && (dirty_ & (std::uint64_t{1} << i)))
            queued[static_cast<int>(i)] = buffer_.values[i];
    finishPost(false);
    return false;
}

std::string Table::writeDeferred() {
    if (deferred_.empty()) return {};
    try {
        Transaction transaction(db_);
        for (const auto& [rowid, fields] : deferred_) {
            std::vector<std::pair<int, const Value*>> columns;
            for (const auto& [index, value] : fields)
                columns.emplace_back(index, &value);
            updateRow(rowid, columns); // a record deleted meanwhile takes its change along
        }
        transaction.commit();
    } catch (const DatabaseError& e) {
        if (isTransientFailure(e.code())) return deferReason_ = e.what();
        deferred_.clear();
        throw;
    }
    deferred_.clear();
    return {};
}

bool Table::writeFields(Bookmark bookmark,
                        const std::vector<std::pair<std::string, Value>>& values) {
    std::vector<std::pair<int, const Value*>> columns;
    for (const auto& [fieldName, value] : values) {
        const int index = field(fieldName).index();
        if (!isStored(defs_[static_cast<size_t>(index)]))
            throw DatabaseError(0, name_ + ": the field '" + fieldName + "' is not stored");
        columns.emplace_back(index, &value);
    }
    if (columns.empty()) return indexOfRowid(bookmark) >= 0;
    return updateRow(bookmark, columns);
}

void Table::deleteRecord() {
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    if (state_ == State::Edit) cancel();
    if (rows_.empty()) throw DatabaseError(0, "Cannot perform this operation on an empty dataset");
    const std::int64_t rowid = rows_[pos_].rowid;
    {
        // What the handler changes elsewhere for the deletion goes with it, or stays with it.
        Transaction transaction(db_);
        if (beforeDelete) beforeDelete(*this);
        sqlite3_stmt* st =
            prepared(deleteStmt_, "DELETE FROM " + schema_ + ".\"" + name_ + "\" WHERE rowid = ?");
        sqlite3_bind_int64(st, 1, rowid);
        int rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE)
            throw DatabaseError(sqlite3_extended_errcode(db_.handle()),
                                sqlite3_errmsg(db_.handle()));
        transaction.commit();
    }
    int idx = indexOfRowid(rowid); // the handler may have moved the cursor
    if (idx >= 0) {
        rows_.erase(rows_.begin() + idx);
        pos_ = idx;
    }
    if (pos_ >= static_cast<int>(rows_.size()))
        pos_ = rows_.empty() ? 0 : static_cast<int>(rows_.size()) - 1;
    eof_ = rows_.empty();
    bof_ = rows_.empty() || pos_ == 0;
    calcValid_ = false;
    notifyDataSet();
}

void Table::refresh() {
    leaveEditing();
    const std::int64_t rowid = getBookmark();
    const int oldPos = pos_;
    dataVersion_ = readDataVersion();
    rollbacksSeen_ = db_.rollbacks();
    try {
        load();
    } catch (...) {
        // The rows in memory are older than the version just read: the next look reads again.
        dataVersion_ = -1;
        throw;
    }
    int idx = indexOfRowid(rowid);
    if (idx >= 0)
        pos_ = idx;
    else if (!rows_.empty())
        pos_ = std::min(oldPos, static_cast<int>(rows_.size()) - 1);
    eof_ = rows_.empty();
    notifyDataSet();
}

bool Table::changedOnDisk() {
    try {
        return readDataVersion() != dataVersion_;
    } catch (const DatabaseError& e) {
        if (!keepLastRead_ || !isTransientFailure(e.code())) throw;
        readRefusal_ = e.what();
        return false;
    }
}

void Table::refreshIfChanged() {
    if (state_ != State::Browse) return;
    try {
        if (readDataVersion() != dataVersion_ || db_.rollbacks() != rollbacksSeen_) refresh();
        readRefusal_.reset();
    } catch (const DatabaseError& e) {
        if (!keepLastRead_ || !isTransientFailure(e.code())) throw;
        readRefusal_ = e.what();
    }
}

void Table::addObserver(TableObserver* o) {
    observers_.push_back(o);
}

void Table::removeObserver(TableObserver* o) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

void Table::disableControls() {
    ++disabled_;
}

void Table::enableControls() {
    if (disabled_ > 0 && --disabled_ == 0 && pendingDataSet_) {
        pendingDataSet_ = false;
        for (auto* o : std::vector<TableObserver*>(observers_))
            o->dataSetChanged(*this);
    }
}

void Table::notifyRecord() {
    notify(&TableObserver::recordChanged);
}

void Table::notifyDataSet() {
    notify(&TableObserver::dataSetChanged);
}

void Table::notifyState() {
    notify(&TableObserver::stateChanged);
}

// While the controls are disabled a change is only remembered: they see the whole data set anew
// when enabled. The copy lets an observer detach itself while it is told.
void Table::notify(void (TableObserver::*event)(Table&)) {
    if (disabled_) {
        pendingDataSet_ = true;
        return;
    }
    for (auto* o : std::vector<TableObserver*>(observers_))
        (o->*event)(*this);
}

} // namespace vektrin
