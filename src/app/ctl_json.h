#pragma once
// Table records as JSON: field names as keys, dates and times as ISO 8601 text, empty fields as
// null.

#include "store/table.h"

#include <nlohmann/json.hpp>

namespace vektrin::ctl {

using Json = nlohmann::ordered_json;

Json fieldToJson(const Field& field);
// Every stored field of the current record, in the table's order; calculated ones on request.
Json recordToJson(Table& table, bool withCalculated);

} // namespace vektrin::ctl
