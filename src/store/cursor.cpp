#include "store/cursor.h"

#include <algorithm>

namespace vektrin {

void Cursor::first() {
    pos_ = 0;
    bof_ = true;
    eof_ = rows_.empty();
}

void Cursor::last() {
    pos_ = rows_.empty() ? 0 : rows_.size() - 1;
    eof_ = true;
    bof_ = rows_.size() <= 1;
}

bool Cursor::next() {
    if (pos_ + 1 >= rows_.size()) {
        eof_ = true;
        return false;
    }
    ++pos_;
    bof_ = false;
    eof_ = false;
    return true;
}

bool Cursor::prior() {
    if (pos_ <= 0) {
        bof_ = true;
        return false;
    }
    --pos_;
    eof_ = false;
    bof_ = false;
    return true;
}

bool Cursor::moveTo(int index) {
    if (rows_.empty()) return false;
    pos_ = std::clamp(index, 0, rows_.size() - 1);
    eof_ = false;
    bof_ = pos_ == 0;
    return true;
}

void Cursor::keepOn(std::int64_t rowid, int oldPos) {
    const int idx = rows_.indexOf(rowid);
    if (idx >= 0)
        pos_ = idx;
    else if (!rows_.empty())
        pos_ = std::min(oldPos, rows_.size() - 1);
    eof_ = rows_.empty();
}

void Cursor::fit() {
    if (pos_ >= rows_.size()) pos_ = rows_.empty() ? 0 : rows_.size() - 1;
    eof_ = rows_.empty();
    bof_ = rows_.empty() || pos_ == 0;
}

} // namespace vektrin
