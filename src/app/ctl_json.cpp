#include "app/ctl_json.h"

#include "app/ctl_tables.h"

#include <cmath>

namespace vektrin::ctl {

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

Json recordToJson(Table& table, bool withCalculated) {
    Json record = Json::object();
    for (int i = 0; i < table.fieldCount(); ++i) {
        const FieldDef& def = table.fieldDef(i);
        if (def.calculated && !withCalculated) continue;
        record[def.name] = fieldToJson(table.field(i));
    }
    return record;
}

} // namespace vektrin::ctl
