#pragma once
// The current record of a table among its rows: its position, the ends a walk meets, bookmarks.

#include "store/row_cache.h"

namespace vektrin {

class Cursor {
  public:
    explicit Cursor(const RowCache& rows) : rows_(rows) {}

    int pos() const { return pos_; }
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    // 0-based position of the current record, -1 when there are no rows.
    int recNo() const { return rows_.empty() ? -1 : pos_; }
    std::int64_t bookmark() const { return rows_.empty() ? 0 : rows_.rows()[pos_].rowid; }

    // The moves return whether the current record is another one now.
    void first();
    void last();
    bool next();
    bool prior();
    bool moveTo(int index);
    // Stays on the row with rowid when it is still there, else near where it was.
    void keepOn(std::int64_t rowid, int oldPos);
    // After the rows changed under it: back within them.
    void fit();
    void setPos(int index) { pos_ = index; }
    // On a record, neither end reached.
    void onRecord() { eof_ = bof_ = false; }

  private:
    const RowCache& rows_;
    int pos_ = 0;
    bool eof_ = true;
    bool bof_ = true;
};

} // namespace vektrin
