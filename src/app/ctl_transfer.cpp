// export and import: the three tables as one JSON document, and back again in one transaction.

#include "app/ctl_json.h"
#include "app/ctl_run.h"
#include "app/ctl_tables.h"

#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <set>
#include <sstream>

namespace vektrin::ctl {
namespace {

constexpr const char* FormatName = "vektrin-tables";
constexpr int FormatVersion = 1;

struct Section {
    const char* key;
    Table& table;
};

std::vector<Section> sectionsOf(TDataCtrl& dm) {
    return {{"Tasks", dm.Table1}, {"Resources", dm.Table2}, {"SilencePeriods", dm.Table3}};
}

std::size_t characterCount(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// What is wrong with a value for a field, or empty when it may be stored.
std::string problemWith(const FieldDef& def, const Json& value) {
    if (value.is_null()) return {};
    switch (def.type) {
    case FieldType::Text:
        if (!value.is_string()) return "expected a text";
        if (characterCount(value.get_ref<const std::string&>()) > static_cast<size_t>(def.width))
            return "longer than " + std::to_string(def.width) + " characters";
        return {};
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::AutoInc: {
        if (!value.is_number_integer()) return "expected a whole number";
        const bool narrow = def.type == FieldType::Int16;
        const std::int64_t lo = narrow ? -32768 : std::numeric_limits<std::int32_t>::min();
        const std::int64_t hi = narrow ? 32767 : std::numeric_limits<std::int32_t>::max();
        if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<uint64_t>(hi))
            return "out of range " + std::to_string(lo) + " to " + std::to_string(hi);
        const std::int64_t v = value.get<std::int64_t>();
        if (v < lo || v > hi)
            return "out of range " + std::to_string(lo) + " to " + std::to_string(hi);
        return {};
    }
    case FieldType::Float:
        if (!value.is_number() || !std::isfinite(value.get<double>())) return "expected a number";
        return {};
    case FieldType::Boolean:
        if (!value.is_boolean()) return "expected true or false";
        return {};
    case FieldType::Date:
        if (!value.is_string() || !parseIsoDate(value.get_ref<const std::string&>()))
            return "expected a date YYYY-MM-DD";
        return {};
    case FieldType::Time:
        if (!value.is_string() || !parseIsoTime(value.get_ref<const std::string&>()))
            return "expected a time HH:MM:SS or HH:MM:SS.mmm";
        return {};
    }
    return "unknown field type";
}

void setField(Field& field, const Json& value) {
    if (value.is_null()) return;
    switch (field.def().type) {
    case FieldType::Text:
        field.setString(value.get_ref<const std::string&>());
        break;
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::AutoInc:
        field.setInteger(value.get<std::int64_t>());
        break;
    case FieldType::Float:
        field.setFloat(value.get<double>());
        break;
    case FieldType::Boolean:
        field.setBoolean(value.get<bool>());
        break;
    case FieldType::Date:
        field.setDateTime(*parseIsoDate(value.get_ref<const std::string&>()));
        break;
    case FieldType::Time:
        field.setDateTime(*parseIsoTime(value.get_ref<const std::string&>()));
        break;
    }
}

std::string describeValue(const Json& value) {
    std::string text = value.dump();
    if (text.size() > 60) text = text.substr(0, 57) + "...";
    return text;
}

// Collects every problem of the document before anything is written.
class Validator {
  public:
    explicit Validator(TDataCtrl& dm, bool replace) : dm_(dm), replace_(replace) {
        if (replace_) return;
        for (dm.Table1.first(); !dm.Table1.eof(); dm.Table1.next())
            appIds_.insert(dm.Table1AppID.asInteger());
        for (dm.Table2.first(); !dm.Table2.eof(); dm.Table2.next())
            resourceNos_.insert(dm.Table2ResourceNo.asInteger());
    }

    void check(const Json& document) {
        if (!document.is_object()) {
            problems_.push_back("The document is not a JSON object");
            return;
        }
        if (document.value("Format", std::string()) != FormatName)
            problems_.push_back(std::string("The document has no \"Format\": \"") + FormatName +
                                "\"");
        for (auto it = document.begin(); it != document.end(); ++it) {
            const std::string& key = it.key();
            if (key == "Format" || key == "Version" || key == "Tasks" || key == "Resources" ||
                key == "SilencePeriods")
                continue;
            problems_.push_back("The document has an unknown part \"" + key + "\"");
        }
        if (document.contains("Version") && document["Version"] != FormatVersion)
            problems_.push_back("The document's Version " + describeValue(document["Version"]) +
                                " is not " + std::to_string(FormatVersion));
        for (const Section& s : sectionsOf(dm_)) {
            if (!document.contains(s.key)) continue;
            const Json& records = document[s.key];
            if (!records.is_array()) {
                problems_.push_back(std::string("\"") + s.key + "\" is not an array");
                continue;
            }
            for (std::size_t i = 0; i < records.size(); ++i)
                checkRecord(s, records[i], i + 1);
        }
    }

    const std::vector<std::string>& problems() const { return problems_; }

  private:
    void checkRecord(const Section& s, const Json& record, std::size_t number) {
        std::string where = std::string(s.key) + " record " + std::to_string(number);
        if (!record.is_object()) {
            problems_.push_back(where + ": not a JSON object");
            return;
        }
        if (record.contains("AppName") && record["AppName"].is_string())
            where += " (AppName \"" + record["AppName"].get<std::string>() + "\")";
        for (auto it = record.begin(); it != record.end(); ++it) {
            const FieldDef* def = nullptr;
            for (int f = 0; f < s.table.fieldCount(); ++f)
                if (s.table.fieldDef(f).name == it.key()) def = &s.table.fieldDef(f);
            if (!def || def->calculated) {
                problems_.push_back(where + ", field \"" + it.key() + "\": no such stored field");
                continue;
            }
            const std::string problem = problemWith(*def, it.value());
            if (!problem.empty())
                problems_.push_back(where + ", field \"" + it.key() + "\": " + problem + ", not " +
                                    describeValue(it.value()));
        }
        if (&s.table == &dm_.Table1) checkAppId(where, record);
        if (&s.table == &dm_.Table2) checkResourceNo(where, record);
    }

    void checkAppId(const std::string& where, const Json& record) {
        if (!record.contains("AppID") || !record["AppID"].is_number_integer()) return;
        const std::int64_t id = record["AppID"].get<std::int64_t>();
        if (id < 1)
            problems_.push_back(where + ", field \"AppID\": must be 1 or more, not " +
                                std::to_string(id));
        else if (!appIds_.insert(id).second)
            problems_.push_back(where + ", field \"AppID\": " + std::to_string(id) +
                                " is already taken (leave AppID out for a new one)");
    }

    void checkResourceNo(const std::string& where, const Json& record) {
        if (!record.contains("ResourceNo") || record["ResourceNo"].is_null()) {
            problems_.push_back(where + ", field \"ResourceNo\": required");
            return;
        }
        if (!record["ResourceNo"].is_number_integer()) return;
        const std::int64_t no = record["ResourceNo"].get<std::int64_t>();
        // Numbers outside 1..31 have no bit in a conflict mask.
        if (no < 1 || no > 31)
            problems_.push_back(where + ", field \"ResourceNo\": must be 1 to 31, not " +
                                std::to_string(no));
        else if (!resourceNos_.insert(no).second)
            problems_.push_back(where + ", field \"ResourceNo\": " + std::to_string(no) +
                                " is already used");
    }

    TDataCtrl& dm_;
    bool replace_;
    std::set<std::int64_t> appIds_;
    std::set<std::int64_t> resourceNos_;
    std::vector<std::string> problems_;
};

} // namespace

int runExport(const Context& context, const std::string& outputFile) {
    auto dm = openTables(context);
    Json document = Json::object();
    document["Format"] = FormatName;
    document["Version"] = FormatVersion;
    for (const Section& s : sectionsOf(*dm)) {
        Json records = Json::array();
        for (s.table.first(); !s.table.eof(); s.table.next())
            records.push_back(recordToJson(s.table, false));
        document[s.key] = std::move(records);
    }
    const std::string text = document.dump(2) + "\n";
    if (outputFile.empty() || outputFile == "-") {
        std::cout << text;
        return ExitOk;
    }
    std::ofstream out(outputFile, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw CommandError(ExitDataError, "Cannot write " + outputFile);
    return ExitOk;
}

int runImport(const Context& context, const std::string& inputFile, bool replace) {
    std::string text;
    if (inputFile == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
    } else {
        std::ifstream in(inputFile, std::ios::binary);
        if (!in) throw CommandError(ExitDataError, "Cannot read " + inputFile);
        std::stringstream buffer;
        buffer << in.rdbuf();
        text = buffer.str();
    }
    Json document;
    try {
        document = Json::parse(text);
    } catch (const Json::parse_error& e) {
        throw CommandError(ExitDataError, inputFile + ": not a JSON document: " + e.what());
    }

    auto dm = openTables(context);
    Validator validator(*dm, replace);
    validator.check(document);
    if (!validator.problems().empty()) {
        for (const std::string& p : validator.problems())
            std::cerr << p << '\n';
        std::cerr << "Nothing was imported\n";
        return ExitDataError;
    }

    // Replacing everything: the records that go need none of the per-record care (a resource's
    // bit cleared from every task) that the editors give a single deletion.
    dm->Table2.beforeDelete = nullptr;
    for (const Section& s : sectionsOf(*dm))
        s.table.onPostError = nullptr;

    std::size_t added = 0;
    try {
        Transaction transaction(dm->database());
        if (replace)
            for (const Section& s : sectionsOf(*dm))
                for (s.table.first(); !s.table.isEmpty();)
                    s.table.deleteRecord();
        for (const Section& s : sectionsOf(*dm)) {
            if (!document.contains(s.key)) continue;
            for (const Json& record : document[s.key]) {
                s.table.append();
                for (auto it = record.begin(); it != record.end(); ++it)
                    setField(s.table.field(it.key()), it.value());
                s.table.post();
                ++added;
            }
        }
        transaction.commit();
    } catch (const std::exception& e) {
        throw CommandError(ExitDataError, std::string("Nothing was imported: ") + e.what());
    }
    std::cerr << added << " records imported\n";
    return ExitOk;
}

} // namespace vektrin::ctl
