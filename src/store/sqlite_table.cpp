#include "store/sqlite_table.h"

#include "platform/strings.h"
#include "store/sql_quote.h"

#include <algorithm>
#include <sqlite3.h>

namespace vektrin {
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
    if (ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY)
        throw DatabaseError(KeyViolationCode, "Key violation");
    if (ext == SQLITE_CONSTRAINT_CHECK)
        throw DatabaseError(MaxValueErrorCode, "Maximum validity check failed");
    if (ext == SQLITE_CONSTRAINT_NOTNULL)
        throw DatabaseError(RequiredFieldCode, "Field value required", {str::FieldNeedsValue, {}});
    throw sqliteFailure(h);
}

// Runs a prepared write; false when the statement fails.
bool stepDone(sqlite3_stmt* st) {
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    return rc == SQLITE_DONE;
}

} // namespace

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

SqliteTable::SqliteTable(Database& db, std::string schema, std::string name,
                         std::vector<FieldDef> fields, std::string orderBy)
    : db_(db), schema_(std::move(schema)), name_(std::move(name)), defs_(std::move(fields)),
      orderBy_(std::move(orderBy)) {}

SqliteTable::~SqliteTable() {
    sqlite3_finalize(versionStmt_);
    for (auto& [columns, st] : updateStmts_)
        sqlite3_finalize(st);
    sqlite3_finalize(insertStmt_);
    sqlite3_finalize(deleteStmt_);
}

std::string SqliteTable::tableName() const {
    return schema_ + "." + quoteIdentifier(name_);
}

sqlite3_stmt* SqliteTable::prepared(sqlite3_stmt*& slot, const std::string& sql) {
    // sql is only read when the statement is not prepared yet.
    if (!slot && sqlite3_prepare_v3(db_.handle(), sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &slot,
                                    nullptr) != SQLITE_OK)
        throw sqliteFailure(db_.handle());
    sqlite3_reset(slot);
    sqlite3_clear_bindings(slot);
    return slot;
}

std::int64_t SqliteTable::dataVersion() {
    sqlite3_stmt* s = prepared(versionStmt_, "PRAGMA " + schema_ + ".data_version");
    // A file that cannot be asked (another program's exclusive lock) cannot be trusted either.
    if (sqlite3_step(s) != SQLITE_ROW) {
        const DatabaseError failure = sqliteFailure(db_.handle());
        sqlite3_reset(s);
        throw failure;
    }
    const std::int64_t v = sqlite3_column_int64(s, 0);
    sqlite3_reset(s);
    return v;
}

std::vector<StoredRow> SqliteTable::readRows() {
    std::string sql = "SELECT rowid";
    for (const auto& d : defs_)
        if (!d.calculated)
            sql += db_.lacksColumn(schema_, d.name) ? ", NULL" : ", " + quoteIdentifier(d.name);
    sql += " FROM " + tableName() + " ORDER BY ";
    sql += orderBy_.empty() ? "rowid" : quoteIdentifier(orderBy_) + ", rowid";
    Statement st(db_.handle(), sql);
    std::vector<StoredRow> rows;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        StoredRow r;
        r.rowid = sqlite3_column_int64(st.get(), 0);
        r.values.resize(defs_.size());
        int col = 1;
        for (size_t i = 0; i < defs_.size(); ++i) {
            if (defs_[i].calculated) continue;
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
    if (rc != SQLITE_DONE) throw sqliteFailure(db_.handle());
    return rows;
}

bool SqliteTable::updateRow(std::int64_t rowid, const FieldValues& fields) {
    // Bound in the statement's column order, which is the fields' order.
    FieldValues ordered = fields;
    std::sort(ordered.begin(), ordered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<int> set;
    for (const auto& [index, value] : ordered)
        set.push_back(index);
    sqlite3_stmt*& slot = updateStmts_[set];
    std::string sql;
    if (!slot) {
        std::string sets;
        for (int index : set)
            sets += (sets.empty() ? "" : ", ") + quoteIdentifier(defs_[index].name) + " = ?";
        sql = "UPDATE " + tableName() + " SET " + sets + " WHERE rowid = ?";
    }
    sqlite3_stmt* st = prepared(slot, sql);
    int param = 1;
    for (const auto& [index, value] : ordered)
        bindValue(st, param++, *value);
    sqlite3_bind_int64(st, param, rowid);
    if (!stepDone(st)) throwStepFailure(db_.handle());
    return sqlite3_changes(db_.handle()) > 0;
}

std::int64_t SqliteTable::insertRow(const std::vector<Value>& values) {
    std::string cols, params;
    for (const auto& d : defs_) {
        if (d.calculated) continue;
        cols += (cols.empty() ? "" : ", ") + quoteIdentifier(d.name);
        params += params.empty() ? "?" : ", ?";
    }
    sqlite3_stmt* st = prepared(insertStmt_, "INSERT INTO " + tableName() + " (" + cols +
                                                 ") VALUES (" + params + ")");
    int param = 1;
    for (size_t i = 0; i < defs_.size(); ++i)
        if (!defs_[i].calculated) bindValue(st, param++, values[i]);
    if (!stepDone(st)) throwStepFailure(db_.handle());
    return sqlite3_last_insert_rowid(db_.handle());
}

void SqliteTable::deleteRow(std::int64_t rowid) {
    sqlite3_stmt* st = prepared(deleteStmt_, "DELETE FROM " + tableName() + " WHERE rowid = ?");
    sqlite3_bind_int64(st, 1, rowid);
    if (!stepDone(st)) throw sqliteFailure(db_.handle());
}

} // namespace vektrin
