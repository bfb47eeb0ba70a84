#include "store/edit_buffer.h"

#include "platform/strings.h"

namespace vektrin {

void EditBuffer::edit(const StoredRow& row) {
    row_ = row;
    state_ = EditState::Edit;
    modified_ = false;
    dirty_.reset();
}

void EditBuffer::insert(int fieldCount) {
    row_ = StoredRow{0, std::vector<Value>(static_cast<size_t>(fieldCount))};
    state_ = EditState::Insert;
    modified_ = false;
    dirty_.reset();
}

void EditBuffer::set(int index, Value v) {
    row_.values[static_cast<size_t>(index)] = std::move(v);
    modified_ = true;
    dirty_.set(static_cast<size_t>(index));
}

void EditBuffer::end() {
    state_ = EditState::Browse;
    modified_ = false;
    dirty_.reset();
}

FieldValues EditBuffer::changed(const std::vector<FieldDef>& defs) const {
    FieldValues fields;
    for (size_t i = 0; i < defs.size(); ++i)
        if (!defs[i].calculated && dirty_.test(i))
            fields.emplace_back(static_cast<int>(i), &row_.values[i]);
    return fields;
}

void EditBuffer::check(const std::vector<FieldDef>& defs) const {
    for (size_t i = 0; i < defs.size(); ++i) {
        const FieldDef& d = defs[i];
        const Value& v = row_.values[i];
        if (d.required && std::holds_alternative<std::monostate>(v))
            throw DatabaseError(RequiredFieldCode, "Field '" + d.name + "' must have a value",
                                {.format = str::FieldNeedsValue, .args = {}, .lead = d.label});
        if (d.maxValue) {
            const double x = std::holds_alternative<std::int64_t>(v)
                                 ? static_cast<double>(std::get<std::int64_t>(v))
                             : std::holds_alternative<double>(v) ? std::get<double>(v)
                                                                 : 0;
            if (x > static_cast<double>(*d.maxValue))
                throw DatabaseError(MaxValueErrorCode,
                                    "Field '" + d.name + "' value out of upper bound",
                                    {.format = str::FieldAboveMaximum,
                                     .args = {std::to_string(*d.maxValue)},
                                     .lead = d.label});
        }
    }
}

void EditBuffer::write(TableBackend& table, const std::vector<FieldDef>& defs, int autoIncIndex) {
    if (state_ == EditState::Insert) {
        row_.rowid = table.insertRow(row_.values);
        if (autoIncIndex >= 0) row_.values[static_cast<size_t>(autoIncIndex)] = row_.rowid;
        return;
    }
    const FieldValues fields = changed(defs);
    if (fields.empty()) return;
    if (!table.updateRow(row_.rowid, fields))
        throw DatabaseError(RecordGoneCode,
                            "The record was deleted by another program; the change was not stored");
}

} // namespace vektrin
