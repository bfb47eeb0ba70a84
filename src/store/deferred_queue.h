#pragma once
// Changes of edited records that the files refused for the moment (another connection's lock, a
// full disk), kept in memory in the order they came and written together later.

#include "store/store_backend.h"

#include <map>
#include <string>
#include <vector>

namespace vektrin {

class DeferredQueue {
  public:
    bool empty() const { return changes_.empty(); }
    // Why the last change was deferred.
    const std::string& reason() const { return reason_; }

    void add(std::int64_t rowid, const FieldValues& fields, const std::string& reason);
    // Later changes join the queue: the rows read show what they will hold.
    void overlay(std::vector<StoredRow>& rows) const;
    // Writes every change in one transaction. Empty when the queue is empty afterwards, else why
    // the files refused them (they stay queued); a failure of another kind drops them.
    std::string write(StoreBackend& db, TableBackend& table);

  private:
    std::map<std::int64_t, std::map<int, Value>> changes_; // rowid → field → value
    std::string reason_;
};

} // namespace vektrin
