#pragma once
// One SQLite connection with the three table files attached.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vektrin {

// Error codes of failed posts, as the data module's post-error handler knows them.
constexpr int KeyViolationCode = 9729;  // a value the unique key already holds
constexpr int MaxValueErrorCode = 9731; // above the field's maximum
constexpr int RequiredFieldCode = 9732; // a required field without a value

class DatabaseError : public std::runtime_error {
  public:
    DatabaseError(int code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

// A table file that cannot be used: names the file and the problem.
class StoreOpenError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Ends an operation quietly after its handler has told the operator.
class AbortError : public std::exception {
  public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// ReadOnly: nothing is created, switched or written; a missing file reads as an empty table.
enum class OpenMode { ReadWrite, ReadOnly };

struct AttachedFile {
    std::string schema;               // name inside the connection
    std::string fileName;             // inside the directory
    std::string table;                // the one table the file holds
    std::vector<std::string> columns; // its stored columns, in order
};

class Database {
  public:
    // Opens (creating when missing) each file in directory. Refuses a directory that is missing or
    // not writable, and a file that is not a table file of ours (another program's database, other
    // columns, a directory or a dangling link in its place), without writing anything to it.
    Database(const std::string& directory, const std::vector<AttachedFile>& files,
             OpenMode mode = OpenMode::ReadWrite);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Every check of the constructor for a read-write opening, without writing or creating
    // anything: lets a caller refuse a directory before it puts a lock file there.
    static void verify(const std::string& directory, const std::vector<AttachedFile>& files);

    sqlite3* handle() const { return db_; }
    const std::string& directory() const { return directory_; }
    OpenMode mode() const { return mode_; }
    bool hasTable(const std::string& schema, const std::string& table);

    void exec(const std::string& sql);

    void begin() { exec("BEGIN IMMEDIATE"); }
    void commit() { exec("COMMIT"); }
    void rollback();

  private:
    enum class Purpose { Use, VerifyOnly };
    Database(const std::string& directory, const std::vector<AttachedFile>& files, OpenMode mode,
             Purpose purpose);
    void attach(const std::string& path, const std::string& schema, bool readOnly);
    void verifyTableFile(const std::string& path, const AttachedFile& file);

    sqlite3* db_ = nullptr;
    std::string directory_;
    OpenMode mode_ = OpenMode::ReadWrite;
};

// Groups posts into one commit (one disk flush); rolled back unless committed.
class Transaction {
  public:
    explicit Transaction(Database& db) : db_(db) { db_.begin(); }
    ~Transaction() {
        if (!done_) db_.rollback();
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        db_.commit();
        done_ = true;
    }

  private:
    Database& db_;
    bool done_ = false;
};

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
