#pragma once
// Table records as JSON: field names as keys, dates and times as ISO 8601 text, empty fields as
// null. And the reading of a document an operator hands us, whatever its text.

#include "store/table.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace vektrin::ctl {

using Json = nlohmann::ordered_json;

Json fieldToJson(const Field& field);
// The field at index of the current record; throws CommandError when it is text that is not
// UTF-8 (JSON cannot carry it), naming the table file, the record and the field.
Json fieldToJson(Table& table, int index, const std::string& tableFile);
// Every stored field of the current record, in the table's order; calculated ones on request;
// checked as above.
Json recordToJson(Table& table, bool withCalculated, const std::string& tableFile);

// A document nests its records two levels deep; anything much deeper is not one of ours, and the
// library's writing and comparing recurse.
constexpr std::size_t MaxDocumentDepth = 64;

struct DocumentFailure {
    std::string place;   // "the document", "Tasks record 2 (AppName \"x\"), field \"EndCode\""...
    std::string problem; // ends with the line and column
};

struct ParsedDocument {
    Json document;
    std::optional<DocumentFailure> failure;
};

// Parses without recursion and in time linear in the text: a key repeated in an object is kept
// twice (the caller refuses it) instead of being looked up on every insertion.
ParsedDocument parseDocument(std::string_view text);

// The place of a record in a document: "Tasks record 3", with the AppName when the record has one.
std::string recordPlace(std::string_view part, std::size_t number, const Json* record);
// A value as JSON text for a message; beyond 60 characters, its first 60 and its length.
std::string shortened(const Json& value);
// A key or name as quoted JSON text (control characters escaped), shortened as above.
std::string quotedName(std::string_view name);

} // namespace vektrin::ctl
