#pragma once
// The rows of a table as last read, in the table's order, and whether the table changed since:
// they are read again after another connection committed to it or this one rolled a change back.

#include "store/store_backend.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vektrin {

class RowCache {
  public:
    // orderIndex: the field that orders the rows, -1 for insertion order.
    RowCache(StoreBackend& db, std::unique_ptr<TableBackend> backend, int orderIndex)
        : db_(db), backend_(std::move(backend)), orderIndex_(orderIndex) {}

    TableBackend& backend() { return *backend_; }
    std::vector<StoredRow>& rows() { return rows_; }
    const std::vector<StoredRow>& rows() const { return rows_; }
    int size() const { return static_cast<int>(rows_.size()); }
    bool empty() const { return rows_.empty(); }

    // Reads the rows again. The version first: a commit between the two then costs one needless
    // read later, while the other order could keep rows older than the version they are taken for.
    void read();
    // Whether another connection committed to the table, or this one rolled back, since read().
    bool stale();
    // stale() without the rollbacks; false while a kept refusal lasts (see keepLastRead).
    bool changedOnDisk();

    // While on, a read that the file refuses for a while keeps the rows as last read: refused
    // tells whether e is such a refusal, and remembers it until cleared.
    void keepLastRead(bool on) { keepLastRead_ = on; }
    bool refused(const DatabaseError& e);
    void clearRefusal() { readRefusal_.reset(); }
    const std::optional<std::string>& readRefusal() const { return readRefusal_; }

    // The row's position, -1 when it is not there.
    int indexOf(std::int64_t rowid) const;
    // Where a row belongs in the table's order.
    int sortedPosition(const StoredRow& row) const;
    // Whether a column orders the rows, so that an edit may move its row; else rowid order.
    bool ordered() const { return orderIndex_ >= 0; }
    // Puts the row where it belongs; returns its position.
    int place(StoredRow row);

  private:
    StoreBackend& db_;
    std::unique_ptr<TableBackend> backend_;
    int orderIndex_;
    std::vector<StoredRow> rows_;
    std::int64_t dataVersion_ = -1;
    std::uint64_t rollbacksSeen_ = 0;
    bool keepLastRead_ = false;
    std::optional<std::string> readRefusal_;
};

} // namespace vektrin
