#pragma once
// What the tables need of the database that keeps them, and the errors it raises. SQLite's is
// store/database.cpp (the connection) and store/sqlite_table.cpp (a table's statements).

#include "platform/operator_text.h"
#include "store/field.h"
#include "store/shared_tables.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vektrin {

// Error codes of failed posts, as the data module's post-error handler knows them.
constexpr int KeyViolationCode = 9729;  // a value the unique key already holds
constexpr int MaxValueErrorCode = 9731; // above the field's maximum
constexpr int RequiredFieldCode = 9732; // a required field without a value
constexpr int ServerFailureCode = 9800; // the database server refused or could not be reached

class DatabaseError : public std::runtime_error {
  public:
    // transient: the files' state of the moment (another program holds them, a full or failing
    // disk) rather than something wrong with the change; the backend that failed decides.
    DatabaseError(int code, const std::string& message, bool transient = false)
        : std::runtime_error(message), code_(code), transient_(transient) {}
    // A refused value or change with its identity for the interface, which names the field by
    // its label; the message (vektrinctl's, the protocol's) names the column.
    DatabaseError(int code, const std::string& message, OperatorText shown)
        : std::runtime_error(message), code_(code), transient_(false), shown_(std::move(shown)) {}
    int code() const { return code_; }
    bool transient() const { return transient_; }
    const std::optional<OperatorText>& shown() const { return shown_; }

  private:
    int code_;
    bool transient_;
    std::optional<OperatorText> shown_;
};

// Whether a failure is worth trying again later (see DatabaseError).
inline bool isTransientFailure(const DatabaseError& e) {
    return e.transient();
}

// Ends an operation quietly after its handler has told the operator.
class AbortError : public std::exception {
  public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

struct StoredRow {
    std::int64_t rowid = 0;
    std::vector<Value> values; // one for each field; calculated ones stay empty
};

// The fields a write sets: index of the field, its value.
using FieldValues = std::vector<std::pair<int, const Value*>>;

// One table as its database keeps it. Failures are DatabaseErrors.
class TableBackend {
  public:
    virtual ~TableBackend() = default;
    // Every row, in the table's order (its order field, then rowid).
    virtual std::vector<StoredRow> readRows() = 0;
    // Differs from the last answer whenever another connection committed to the table.
    virtual std::int64_t dataVersion() = 0;
    // Writes every stored field of values; returns the new row's rowid.
    virtual std::int64_t insertRow(const std::vector<Value>& values) = 0;
    // False when there is no such row.
    virtual bool updateRow(std::int64_t rowid, const FieldValues& fields) = 0;
    virtual void deleteRow(std::int64_t rowid) = 0;
};

// The connection the tables of the data module share.
class StoreBackend {
  public:
    virtual ~StoreBackend() = default;
    // orderBy: the name of the field that orders the rows, or empty for insertion order.
    virtual std::unique_ptr<TableBackend> openTable(const std::string& schema,
                                                    const std::string& table,
                                                    const std::vector<FieldDef>& fields,
                                                    const std::string& orderBy) = 0;
    // Where the table files are.
    virtual const std::string& directory() const = 0;
    // How long a statement waits for another connection's lock before it fails (transient). A
    // command line can wait; the scheduler's event loop must not.
    virtual void setBusyTimeout(int milliseconds) = 0;
    // Counts the rollbacks of this connection: rows read before one may hold changes that never
    // reached the files.
    virtual std::uint64_t rollbacks() const = 0;
    // What several schedulers share; none on tables of one workstation.
    virtual SharedTables* shared() { return nullptr; }

  private:
    friend class Transaction;
    // The outermost begins a transaction, one begun inside it a savepoint of it; commit and
    // rollback end the innermost.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;
};

// Groups changes into one commit: all of them reach the table files, or none, also when the
// process is killed halfway. Rolled back unless committed. Inside another transaction it is a
// savepoint of it.
class Transaction {
  public:
    explicit Transaction(StoreBackend& db) : db_(db) { db_.begin(); }
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
    StoreBackend& db_;
    bool done_ = false;
};

} // namespace vektrin
