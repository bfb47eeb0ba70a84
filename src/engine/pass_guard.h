#pragma once

#include "store/table.h"

namespace vektrin {

// Remembers the task table's current record and detaches the grid for the length of a pass;
// whatever ends the pass, the record and the grid come back.
class PassGuard {
  public:
    explicit PassGuard(Table& t) : table_(t), bookmark_(t.getBookmark()) {
        table_.disableControls();
    }
    ~PassGuard() {
        try {
            if (bookmark_ != 0) table_.gotoBookmark(bookmark_);
        } catch (...) {
        }
        table_.freeBookmark(bookmark_);
        table_.enableControls();
    }
    PassGuard(const PassGuard&) = delete;
    PassGuard& operator=(const PassGuard&) = delete;

  private:
    Table& table_;
    Table::Bookmark bookmark_;
};

} // namespace vektrin
