#include "store/field.h"

#include "platform/strings.h"
#include "platform/text.h"
#include "store/table.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vektrin {
namespace {

std::string formatFloat(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::optional<std::int64_t> parseInteger(std::string_view s) {
    s = text::trimmed(s, " ");
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

std::optional<double> parseFloat(std::string_view s) {
    s = text::trimmed(s, " ");
    double v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

// A value the field cannot hold: the message names the column, what the interface shows names
// the field by its label.
[[noreturn]] void refuse(const FieldDef& d, const std::string& message, std::string_view format,
                         std::vector<std::string> values) {
    throw DatabaseError(0, message, {.format = format, .args = std::move(values), .lead = d.label});
}

std::int64_t roundToInteger(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (v <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return std::llround(v);
}

void checkRange(const FieldDef& d, std::int64_t v) {
    std::int64_t lo = 0, hi = 0;
    switch (d.type) {
    case FieldType::Int16:
        lo = -32768;
        hi = 32767;
        break;
    case FieldType::Int32:
    case FieldType::AutoInc:
        lo = std::numeric_limits<std::int32_t>::min();
        hi = std::numeric_limits<std::int32_t>::max();
        break;
    default:
        return;
    }
    if (v < lo || v > hi)
        refuse(d,
               std::to_string(v) + " is not a valid value for field '" + d.name +
                   "'. The allowed range is " + std::to_string(lo) + " to " + std::to_string(hi),
               str::FieldOutOfRange, {std::to_string(v), std::to_string(lo), std::to_string(hi)});
}

} // namespace

void checkTextWidth(const FieldDef& d, std::string_view text) {
    if (d.type == FieldType::Text && d.width > 0 &&
        text::utf8Length(text) > static_cast<std::size_t>(d.width))
        refuse(d, "Field '" + d.name + "' takes at most " + std::to_string(d.width) + " characters",
               str::FieldTooLong, {std::to_string(d.width)});
}

std::string cutToWidth(std::string_view text, int width) {
    if (width <= 0) return std::string(text);
    size_t i = 0;
    int chars = 0;
    while (i < text.size() && chars < width) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + len > text.size()) len = text.size() - i;
        i += len;
        ++chars;
    }
    return std::string(text.substr(0, i));
}

const FieldDef& Field::def() const {
    return table_->defs_[index_];
}

const Value& Field::value() const {
    if (def().calculated) {
        table_->computeCalcFields();
        return table_->calcValues_[index_];
    }
    return table_->currentValue(index_);
}

bool Field::isNull() const {
    return std::holds_alternative<std::monostate>(value());
}

std::int64_t Field::asInteger() const {
    const Value& v = value();
    if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto* d = std::get_if<double>(&v)) return roundToInteger(*d);
    if (auto* s = std::get_if<std::string>(&v)) return parseInteger(*s).value_or(0);
    return 0;
}

double Field::asFloat() const {
    const Value& v = value();
    if (auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&v)) return *d;
    if (auto* s = std::get_if<std::string>(&v)) return parseFloat(*s).value_or(0);
    return 0;
}

bool Field::asBoolean() const {
    const Value& v = value();
    if (auto* i = std::get_if<std::int64_t>(&v)) return *i != 0;
    if (auto* d = std::get_if<double>(&v)) return *d != 0;
    if (auto* s = std::get_if<std::string>(&v)) return *s == "True" || *s == "1";
    return false;
}

std::string Field::asString() const {
    const Value& v = value();
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (std::holds_alternative<std::monostate>(v)) return {};
    if (def().type == FieldType::Boolean) return asBoolean() ? "True" : "False";
    if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    return formatFloat(std::get<double>(v));
}

DateTime Field::asDateTime() const {
    return asFloat();
}

void Field::setInteger(std::int64_t v) {
    const FieldDef& d = def();
    switch (d.type) {
    case FieldType::Text:
        setString(std::to_string(v));
        return;
    case FieldType::Float:
    case FieldType::Date:
    case FieldType::Time:
        setFloat(static_cast<double>(v));
        return;
    case FieldType::Boolean:
        table_->setValue(index_, std::int64_t{v != 0});
        return;
    default:
        checkRange(d, v);
        table_->setValue(index_, v);
        return;
    }
}

void Field::setFloat(double v) {
    const FieldDef& d = def();
    switch (d.type) {
    case FieldType::Float:
        table_->setValue(index_, v);
        return;
    case FieldType::Date:
        table_->setValue(index_, datePart(v));
        return;
    case FieldType::Time:
        table_->setValue(index_, timePart(v));
        return;
    case FieldType::Text:
        setString(formatFloat(v));
        return;
    case FieldType::Boolean:
        table_->setValue(index_, std::int64_t{v != 0});
        return;
    default:
        if (!std::isfinite(v) || v > 9.2e18 || v < -9.2e18)
            refuse(d, formatFloat(v) + " is not a valid value for field '" + d.name + "'",
                   str::FieldNotNumber, {formatFloat(v)});
        setInteger(std::llround(v));
        return;
    }
}

void Field::setBoolean(bool v) {
    if (def().type == FieldType::Text) {
        setString(v ? "True" : "False");
        return;
    }
    setInteger(v ? 1 : 0);
}

void Field::setString(std::string_view v) {
    const FieldDef& d = def();
    switch (d.type) {
    case FieldType::Text:
        checkTextWidth(d, v);
        table_->setValue(index_, std::string(v));
        return;
    case FieldType::Boolean:
        if (v == "True" || v == "true" || v == "1")
            setBoolean(true);
        else if (v == "False" || v == "false" || v == "0" || v.empty())
            setBoolean(false);
        else
            refuse(d,
                   "'" + std::string(v) + "' is not a valid boolean value for field '" + d.name +
                       "'",
                   str::FieldNotBoolean, {std::string(v)});
        return;
    case FieldType::Float:
    case FieldType::Date:
    case FieldType::Time: {
        if (v.empty()) {
            clear();
            return;
        }
        auto f = parseFloat(v);
        if (!f)
            refuse(d, "'" + std::string(v) + "' is not a valid floating point value",
                   str::FieldNotNumber, {std::string(v)});
        setFloat(*f);
        return;
    }
    default: {
        if (v.empty()) {
            clear();
            return;
        }
        auto i = parseInteger(v);
        if (!i)
            refuse(d, "'" + std::string(v) + "' is not a valid integer value", str::FieldNotInteger,
                   {std::string(v)});
        setInteger(*i);
        return;
    }
    }
}

void Field::setDateTime(DateTime v) {
    setFloat(v);
}

void Field::clear() {
    table_->setValue(index_, Value{});
}

} // namespace vektrin
