#pragma once
// One SQLite connection with the three table files attached: the SQLite side of the store.

#include "store/message_port.h"
#include "store/store_backend.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vektrin {

// A table file that cannot be used: names the file and the problem, with its identity for the
// interface to say it in its own language.
class StoreOpenError : public OperatorError {
  public:
    using OperatorError::OperatorError;
};

// ReadOnly: nothing is created, switched or written; a missing file reads as an empty table.
enum class OpenMode { ReadWrite, ReadOnly };

struct TableColumn {
    std::string name;
    std::string declaration; // type and constraints, as CREATE TABLE takes them
    bool addable = true;     // ALTER TABLE can add it to an older file (no key, no NOT NULL)
};

struct AttachedFile {
    std::string schema;               // name inside the connection
    std::string fileName;             // inside the directory
    std::string table;                // the one table the file holds
    std::vector<TableColumn> columns; // its stored columns, in order
};

class Database final : public StoreBackend {
  public:
    // Opens (creating when missing) each file in directory and makes its table when the file holds
    // none. Refuses a directory that is missing or not writable, and a file that is not a table
    // file of ours (another program's database, a column we do not know, a directory or a dangling
    // link in its place), without writing anything to it. A file of an older layout that lacks
    // columns we can add gets them, in one transaction, said once on standard error.
    // newFiles: file names the caller itself created empty just now (a lock on the file), which
    // are fresh tables rather than emptied ones.
    Database(const std::string& directory, const std::vector<AttachedFile>& files,
             OpenMode mode = OpenMode::ReadWrite, const std::vector<std::string>& newFiles = {});
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Every check of the constructor for a read-write opening, without writing or creating
    // anything: lets a caller refuse a directory before it puts a lock file there.
    static void verify(const std::string& directory, const std::vector<AttachedFile>& files);

    std::unique_ptr<TableBackend> openTable(const std::string& schema, const std::string& table,
                                            const std::vector<FieldDef>& fields,
                                            const std::string& orderBy) override;
    sqlite3* handle() const { return db_; }
    const std::string& directory() const override { return directory_; }
    OpenMode mode() const { return mode_; }
    bool hasTable(const std::string& schema, const std::string& table);
    // A column a read-only opening found missing from an older file: it reads as empty, what a
    // writer's add-column gives it.
    bool lacksColumn(const std::string& schema, const std::string& column) const {
        return absentColumns_.count(schema + '.' + column) > 0;
    }

    void exec(const std::string& sql);

    void setBusyTimeout(int milliseconds) override;
    bool inTransaction() const;
    std::uint64_t rollbacks() const override { return rollbacks_; }

  private:
    // Transactions keep rollback journals, whose commit over several files is atomic.
    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    enum class Purpose { Use, VerifyOnly };
    Database(const std::string& directory, const std::vector<AttachedFile>& files, OpenMode mode,
             Purpose purpose, const std::vector<std::string>& newFiles);
    void openConnection(const std::string& mainSource);
    // Returns the address attached: read-only ones say how the file could be read.
    std::string attach(const std::string& path, const std::string& schema, bool readOnly);
    void useRollbackJournal(const AttachedFile& file, const std::string& path);
    // The columns a file of ours lacks; empty for a fresh file or a complete one.
    // schema: where the file is attached. The columns returned are those of file.
    std::vector<const TableColumn*>
    verifyTableFile(const std::string& path, const AttachedFile& file, const std::string& schema);
    void createTable(const AttachedFile& file);
    void addColumns(const std::string& path, const AttachedFile& file,
                    const std::vector<const TableColumn*>& missing);
    void close();

    sqlite3* db_ = nullptr;
    std::string directory_;
    OpenMode mode_ = OpenMode::ReadWrite;
    std::set<std::string> absentColumns_; // "schema.column"
    std::uint64_t rollbacks_ = 0;
    std::vector<std::string> transactions_; // the savepoint of each, empty for the outermost
};

// Whether a failure says that a file is damaged or no database.
bool isDamageCode(int sqliteCode);
// What SQLite finds wrong with the file, read on a connection of its own; empty when it finds
// nothing or cannot look (a file that cannot be opened is not thereby damaged).
std::string tableFileDamage(const std::string& path);

// The connection's last failure, or a failure with this code, as the store reports it: the
// files' state of the moment (another connection's lock, a full or failing disk) is transient.
DatabaseError sqliteFailure(sqlite3* db);
DatabaseError sqliteFailure(int code, const std::string& message);

// The stored columns of a table's fields (calculated ones are not stored), as the file keeps them.
std::vector<TableColumn> storedColumns(const std::vector<FieldDef>& fields);

// A prepared statement that finalises itself.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

} // namespace vektrin
