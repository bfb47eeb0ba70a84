#pragma once
// One table of the SQLite connection: the statements that read and write its rows.

#include "store/database.h"

#include <map>
#include <string>
#include <vector>

namespace vektrin {

class SqliteTable final : public TableBackend {
  public:
    SqliteTable(Database& db, std::string schema, std::string name, std::vector<FieldDef> fields,
                std::string orderBy);
    ~SqliteTable() override;
    SqliteTable(const SqliteTable&) = delete;
    SqliteTable& operator=(const SqliteTable&) = delete;

    std::vector<StoredRow> readRows() override;
    std::int64_t dataVersion() override;
    std::int64_t insertRow(const std::vector<Value>& values) override;
    bool updateRow(std::int64_t rowid, const FieldValues& fields) override;
    void deleteRow(std::int64_t rowid) override;

  private:
    sqlite3_stmt* prepared(sqlite3_stmt*& slot, const std::string& sql);
    std::string tableName() const;

    Database& db_;
    std::string schema_;
    std::string name_;
    std::vector<FieldDef> defs_;
    std::string orderBy_;
    sqlite3_stmt* versionStmt_ = nullptr;
    std::map<std::vector<int>, sqlite3_stmt*> updateStmts_; // by the fields written
    sqlite3_stmt* insertStmt_ = nullptr;
    sqlite3_stmt* deleteStmt_ = nullptr;
};

} // namespace vektrin
