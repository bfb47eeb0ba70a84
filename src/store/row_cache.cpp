#include "store/row_cache.h"

#include <algorithm>
#include <limits>

namespace vektrin {

void RowCache::read() {
    const std::int64_t version = backend_->dataVersion();
    dataVersion_ = version;
    rollbacksSeen_ = db_.rollbacks();
    try {
        rows_ = backend_->readRows();
    } catch (...) {
        // The rows in memory are older than the version just read: the next look reads again.
        dataVersion_ = -1;
        throw;
    }
}

bool RowCache::stale() {
    return backend_->dataVersion() != dataVersion_ || db_.rollbacks() != rollbacksSeen_;
}

bool RowCache::changedOnDisk() {
    try {
        return backend_->dataVersion() != dataVersion_;
    } catch (const DatabaseError& e) {
        if (!refused(e)) throw;
        return false;
    }
}

bool RowCache::refused(const DatabaseError& e) {
    if (!keepLastRead_ || !isTransientFailure(e)) return false;
    readRefusal_ = e.what();
    return true;
}

int RowCache::indexOf(std::int64_t rowid) const {
    if (orderIndex_ < 0) {
        auto it =
            std::lower_bound(rows_.begin(), rows_.end(), rowid,
                             [](const StoredRow& r, std::int64_t id) { return r.rowid < id; });
        if (it != rows_.end() && it->rowid == rowid) return static_cast<int>(it - rows_.begin());
        return -1;
    }
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].rowid == rowid) return static_cast<int>(i);
    return -1;
}

int RowCache::sortedPosition(const StoredRow& row) const {
    if (orderIndex_ < 0) {
        auto it =
            std::lower_bound(rows_.begin(), rows_.end(), row.rowid,
                             [](const StoredRow& r, std::int64_t id) { return r.rowid < id; });
        return static_cast<int>(it - rows_.begin());
    }
    auto key = [&](const StoredRow& r) {
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

int RowCache::place(StoredRow row) {
    const int at = sortedPosition(row);
    rows_.insert(rows_.begin() + at, std::move(row));
    return at;
}

} // namespace vektrin
