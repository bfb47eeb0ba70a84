#include "store/deferred_queue.h"

namespace vektrin {

void DeferredQueue::add(std::int64_t rowid, const FieldValues& fields, const std::string& reason) {
    if (!reason.empty()) reason_ = reason;
    auto& queued = changes_[rowid];
    for (const auto& [index, value] : fields)
        queued[index] = *value;
}

void DeferredQueue::overlay(std::vector<StoredRow>& rows) const {
    if (changes_.empty()) return;
    for (StoredRow& r : rows)
        if (auto it = changes_.find(r.rowid); it != changes_.end())
            for (const auto& [index, value] : it->second)
                r.values[static_cast<size_t>(index)] = value;
}

std::string DeferredQueue::write(StoreBackend& db, TableBackend& table) {
    if (changes_.empty()) return {};
    try {
        Transaction transaction(db);
        for (const auto& [rowid, fields] : changes_) {
            FieldValues columns;
            for (const auto& [index, value] : fields)
                columns.emplace_back(index, &value);
            table.updateRow(rowid, columns); // a record deleted meanwhile takes its change along
        }
        transaction.commit();
    } catch (const DatabaseError& e) {
        if (isTransientFailure(e)) return reason_ = e.what();
        changes_.clear();
        throw;
    }
    changes_.clear();
    return {};
}

} // namespace vektrin
