#include "ctl/json.h"
#include "platform/text.h"

#include "ctl/command.h"
#include "ctl/tables.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace vektrin::ctl {
namespace {

constexpr std::size_t ShownCharacters = 60;

// The first `count` characters of UTF-8 text, never cutting one in two.
std::string_view firstCharacters(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count)
            return text.substr(0, i);
    return text;
}

std::string dumped(const Json& value) {
    // Strings that came from the parser are UTF-8; replacing keeps a message from ever throwing.
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// "line 3, column 14" of the byte before offset (the one the parser stopped at).
std::string lineAndColumn(std::string_view text, std::size_t offset) {
    const std::size_t at = std::min(offset == 0 ? 0 : offset - 1, text.size());
    std::size_t line = 1, lineStart = 0;
    for (std::size_t i = 0; i < at; ++i)
        if (text[i] == '\n') ++line, lineStart = i + 1;
    const std::size_t column = text::utf8Length(text.substr(lineStart, at - lineStart)) + 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Where the brackets first nest deeper than `depth`: just past the bracket that does it.
std::size_t offsetBeyondDepth(std::string_view text, std::size_t depth) {
    std::size_t level = 0;
    bool inString = false, escaped = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++level > depth) return i + 1;
        } else if ((c == ']' || c == '}') && level > 0) {
            --level;
        }
    }
    return text.size();
}

// The library's own reason, without its prefix and without the token it read (which can be the
// whole rest of a long line).
std::string syntaxReason(const std::string& what) {
    std::string reason = what;
    const std::size_t syntax = reason.find("syntax error");
    if (syntax != std::string::npos) {
        reason.erase(0, syntax);
        const std::size_t dash = reason.find(" - ");
        if (dash != std::string::npos) reason.erase(0, dash + 3);
    }
    const std::size_t lastRead = reason.find("; last read:");
    if (lastRead != std::string::npos) reason.erase(lastRead);
    if (reason.size() > 200) reason = std::string(firstCharacters(reason, 200)) + "...";
    return reason.empty() ? std::string("unreadable") : reason;
}

// Builds the document as the library's own DOM reader does, with three differences: a depth
// limit, keys appended instead of looked up, and the place of a failure in the document's terms.
class DocumentBuilder final : public nlohmann::json_sax<Json> {
  public:
    explicit DocumentBuilder(std::string_view text) : text_(text) {}

    bool null() override { return put(nullptr); }
    bool boolean(bool value) override { return put(value); }
    bool number_integer(number_integer_t value) override { return put(value); }
    bool number_unsigned(number_unsigned_t value) override { return put(value); }
    bool number_float(number_float_t value, const string_t&) override { return put(value); }
    bool string(string_t& value) override { return put(std::move(value)); }
    bool binary(binary_t& value) override { return put(Json::binary(std::move(value))); }

    bool start_object(std::size_t) override { return open(Json::object()); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t& name) override {
        // ordered_map looks every key up on insertion: quadratic in a wide record. The caller
        // checks for repeated keys itself, in linear time.
        auto& members = static_cast<std::vector<std::pair<const std::string, Json>>&>(
            *open_.back()->get_ptr<Json::object_t*>());
        members.emplace_back(std::move(name), nullptr);
        slot_ = &members.back().second;
        return true;
    }

    bool parse_error(std::size_t position, const std::string& token,
                     const nlohmann::detail::exception& e) override {
        std::string problem;
        if (e.id == 406)
            problem = "the number " + std::string(firstCharacters(token, ShownCharacters)) +
                      (text::utf8Length(token) > ShownCharacters ? "..." : "") + " is out of range";
        else
            problem = "not a JSON document: " + syntaxReason(e.what());
        fail(problem + " (" + lineAndColumn(text_, position) + ")");
        return false;
    }

    Json& document() { return root_; }
    std::optional<DocumentFailure>& failure() { return failure_; }

  private:
    // Where the value being read goes.
    Json* place(Json&& value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Json& container = *open_.back();
        if (container.is_array()) {
            container.get_ptr<Json::array_t*>()->push_back(std::move(value));
            return &container.get_ptr<Json::array_t*>()->back();
        }
        *slot_ = std::move(value);
        Json* target = slot_;
        slot_ = nullptr;
        return target;
    }

    bool put(Json&& value) {
        place(std::move(value));
        return true;
    }

    bool open(Json&& container) {
        if (open_.size() >= MaxDocumentDepth) {
            fail("nested deeper than " + std::to_string(MaxDocumentDepth) + " levels (" +
                 lineAndColumn(text_, offsetBeyondDepth(text_, MaxDocumentDepth)) + ")");
            return false;
        }
        open_.push_back(place(std::move(container)));
        return true;
    }

    bool close() {
        open_.pop_back();
        return true;
    }

    // The document's own terms for the innermost open containers: part, record, field.
    std::string currentPlace() const {
        if (open_.empty() || !open_[0]->is_object() || open_[0]->empty()) return "the document";
        const auto& parts = *open_[0]->get_ptr<const Json::object_t*>();
        const std::string& part = parts.back().first;
        const bool insidePart = open_.size() > 1 || slot_ != nullptr;
        if (!insidePart) return "the document";
        const bool tablePart = part == "Tasks" || part == "Resources" || part == "SilencePeriods";
        if (!tablePart || open_.size() < 2 || !open_[1]->is_array())
            return "the document, part " + quotedName(part);
        const Json& records = *open_[1];
        if (open_.size() < 3) {
            // Between records, or in a record that is not an object: the next one.
            return recordPlace(part, records.size() + 1, nullptr);
        }
        const Json& record = records.back();
        std::string where = recordPlace(part, records.size(), &record);
        if (!record.is_object() || record.empty()) return where;
        const bool insideField = open_.size() > 3 || slot_ != nullptr;
        if (insideField)
            where += ", field " + quotedName(record.get_ptr<const Json::object_t*>()->back().first);
        return where;
    }

    void fail(std::string problem) {
        if (!failure_) failure_ = DocumentFailure{currentPlace(), std::move(problem)};
    }

    std::string_view text_;
    Json root_;
    std::vector<Json*> open_; // the arrays and objects not yet closed, outermost first
    Json* slot_ = nullptr;    // the member whose key was read last and whose value comes next
    std::optional<DocumentFailure> failure_;
};

std::string tableRecordPlace(Table& table, const std::string& tableFile) {
    std::string where = tableFile + ", record " + std::to_string(table.recNo() + 1);
    for (int i = 0; i < table.fieldCount(); ++i)
        if (table.fieldDef(i).type == FieldType::AutoInc)
            where += " (" + table.fieldDef(i).name + " " +
                     std::to_string(table.field(i).asInteger()) + ")";
    return where;
}

} // namespace

Json fieldToJson(const Field& field) {
    if (field.isNull()) return nullptr;
    switch (field.def().type) {
    case FieldType::Text:
        return field.asString();
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::AutoInc:
        return field.asInteger();
    case FieldType::Float: {
        // EndCode holds whole numbers: 1, not 1.0.
        const double v = field.asFloat();
        if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 9e15)
            return static_cast<std::int64_t>(v);
        return v;
    }
    case FieldType::Boolean:
        return field.asBoolean();
    case FieldType::Date:
        return isoDate(field.asDateTime());
    case FieldType::Time:
        return isoTime(field.asDateTime());
    }
    return nullptr;
}

Json fieldToJson(Table& table, int index, const std::string& tableFile) {
    Json value = fieldToJson(table.field(index));
    if (!value.is_string()) return value;
    const std::string& text = value.get_ref<const std::string&>();
    const std::size_t bad = text::invalidUtf8At(text);
    if (bad == std::string::npos) return value;
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[bad]));
    throw CommandError(
        ExitDataError,
        tableRecordPlace(table, tableFile) + ", field \"" + table.fieldDef(index).name +
            "\": the text is not UTF-8 (byte " + byte + " after character " +
            std::to_string(text::utf8Length(text.substr(0, bad))) + "), which JSON cannot carry");
}

Json recordToJson(Table& table, bool withCalculated, const std::string& tableFile) {
    Json record = Json::object();
    for (int i = 0; i < table.fieldCount(); ++i) {
        const FieldDef& def = table.fieldDef(i);
        if (def.calculated && !withCalculated) continue;
        record[def.name] = fieldToJson(table, i, tableFile);
    }
    return record;
}

ParsedDocument parseDocument(std::string_view text) {
    DocumentBuilder builder(text);
    // Not strict about comments; strict about anything after the document.
    const bool ok = Json::sax_parse(text, &builder, Json::input_format_t::json, true);
    ParsedDocument parsed;
    parsed.failure = std::move(builder.failure());
    if (!ok && !parsed.failure)
        parsed.failure = DocumentFailure{"the document", "not a JSON document"};
    if (!parsed.failure) parsed.document = std::move(builder.document());
    return parsed;
}

std::string recordPlace(std::string_view part, std::size_t number, const Json* record) {
    std::string where = std::string(part) + " record " + std::to_string(number);
    if (record && record->is_object()) {
        const auto name = record->find("AppName");
        if (name != record->end() && name->is_string())
            where += " (AppName " + shortened(*name) + ")";
    }
    return where;
}

std::string shortened(const Json& value) {
    if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        const std::size_t length = text::utf8Length(text);
        if (length <= ShownCharacters) return dumped(value);
        return dumped(Json(std::string(firstCharacters(text, ShownCharacters)))) + "... (" +
               std::to_string(length) + " characters)";
    }
    const std::string text = dumped(value);
    const std::size_t length = text::utf8Length(text);
    if (length <= ShownCharacters) return text;
    return std::string(firstCharacters(text, ShownCharacters)) + "... (" + std::to_string(length) +
           " characters)";
}

std::string quotedName(std::string_view name) {
    return shortened(Json(std::string(name)));
}

} // namespace vektrin::ctl
