#pragma once
// The typed fields of a table: their definitions, the values a row holds, and Field, one column of
// the current record with its conversions.

#include "platform/date_time.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vektrin {

enum class FieldType { Text, Int16, Int32, AutoInc, Float, Boolean, Date, Time };

// The most fields a table may have: the set of fields an edit changed holds that many. The field
// lists of the data module are checked against it when they are compiled.
constexpr std::size_t MaxFields = 64;

struct FieldDef {
    FieldDef(std::string n, FieldType t, int w = 0, bool calc = false, bool req = false,
             std::optional<std::int64_t> max = std::nullopt, bool uniq = false)
        : name(std::move(n)), type(t), width(w), calculated(calc), required(req), maxValue(max),
          unique(uniq) {}

    std::string name;
    FieldType type = FieldType::Int32;
    int width = 0;           // characters, for text fields
    bool calculated = false; // filled by the calculated-fields handler, never stored
    bool required = false;
    std::optional<std::int64_t> maxValue; // a post above it fails with MaxValueErrorCode
    bool unique = false;                  // a repeated value fails with KeyViolationCode
    std::string_view label = {}; // the editors' name of the field (string table), for refusals
};

using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

class Table;

// One column of the current record. Reads of a field without a value give 0, false or "".
class Field {
  public:
    Field(Table& table, int index) : table_(&table), index_(index) {}

    const FieldDef& def() const;
    const std::string& name() const { return def().name; }
    int index() const { return index_; }
    bool isNull() const;

    std::int64_t asInteger() const;
    double asFloat() const;
    bool asBoolean() const;
    std::string asString() const;
    DateTime asDateTime() const;

    // The table must be in edit or insert state (or the field calculated).
    void setInteger(std::int64_t v);
    void setFloat(double v);
    void setBoolean(bool v);
    void setString(std::string_view v);
    void setDateTime(DateTime v);
    void clear();

  private:
    const Value& value() const;
    Table* table_;
    int index_;
};

// Refuses (DatabaseError) a text longer than the text field's width in characters: a field never
// cuts what it is given; whoever takes a text from the operator checks it first, in its own words.
void checkTextWidth(const FieldDef& def, std::string_view text);

// Cuts a UTF-8 text to at most width characters without splitting a character.
std::string cutToWidth(std::string_view text, int width);

} // namespace vektrin
