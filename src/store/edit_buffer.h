#pragma once
// The record being edited or inserted: its values, which stored fields were set since edit(), and
// how the change reaches the table: a new record whole, an edited one only the fields set.

#include "store/store_backend.h"

#include <bitset>
#include <vector>

namespace vektrin {

enum class EditState { Browse, Edit, Insert };

// A post of an edited record that another connection deleted meanwhile.
constexpr int RecordGoneCode = 8708;

class EditBuffer {
  public:
    EditState state() const { return state_; }
    bool modified() const { return modified_; }
    const StoredRow& row() const { return row_; }

    void edit(const StoredRow& row);
    void insert(int fieldCount);
    void set(int index, Value v);
    // Back to browsing; the values stay until the next edit or insert.
    void end();

    // The stored fields set since edit(), with their values.
    FieldValues changed(const std::vector<FieldDef>& defs) const;
    // Refuses values the fields do not take (required, above the maximum).
    void check(const std::vector<FieldDef>& defs) const;
    // Writes the record: a new one whole (its rowid and auto-increment field then set), an
    // edited one the fields set; fails with RecordGoneCode when that record is gone.
    void write(TableBackend& table, const std::vector<FieldDef>& defs, int autoIncIndex);

  private:
    using DirtySet = std::bitset<MaxFields>;
    EditState state_ = EditState::Browse;
    bool modified_ = false;
    DirtySet dirty_;
    StoredRow row_;
};

} // namespace vektrin
