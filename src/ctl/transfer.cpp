// export and import: the three tables as one JSON document, and back again in one transaction.

#include "ctl/crontab.h"
#include "ctl/fields.h"
#include "ctl/json.h"
#include "ctl/tables.h"
#include "engine/schedule.h"
#include "engine/task_fields.h"
#include "platform/text.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <limits>
#include <set>
#include <unistd.h>
#include <unordered_set>

#include <CLI/CLI.hpp>

#include <memory>

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

constexpr const char* NothingImported = "Nothing was imported.";
// A document with a problem in every key of a wide record need not scroll a terminal for
// minutes: the first problems say what is wrong.
constexpr std::size_t ShownProblems = 100;
// Far beyond any table set; keeps `import /dev/zero` from eating the memory.
constexpr std::size_t MaxDocumentBytes = std::size_t{256} << 20;

// What is wrong with a value for a field, or empty when it may be stored.
std::string problemWith(const FieldDef& def, const Json& value) {
    if (value.is_null()) return {};
    switch (def.type) {
    case FieldType::Text:
        if (!value.is_string()) return "expected a text";
        if (text::utf8Length(value.get_ref<const std::string&>()) > static_cast<size_t>(def.width))
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

bool fitsInt64(const Json& value) {
    return value.is_number_integer() &&
           !(value.is_number_unsigned() &&
             value.get<std::uint64_t>() >
                 static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()));
}

// Collects every problem of the document before anything is written.
class Validator {
  public:
    Validator(TDataCtrl& dm, bool replace, const Context& context)
        : dm_(dm), replace_(replace), context_(context), conditions_(context) {
        if (replace_) return;
        for (dm.Table1.first(); !dm.Table1.eof(); dm.Table1.next())
            appIds_.insert(dm.Table1AppID.asInteger());
        for (dm.Table2.first(); !dm.Table2.eof(); dm.Table2.next())
            resourceNos_.insert(dm.Table2ResourceNo.asInteger());
    }

    void check(const Json& document) {
        if (!document.is_object()) {
            problems_.push_back("the document: not a JSON object but " +
                                std::string(document.type_name()));
            return;
        }
        std::unordered_set<std::string_view> parts;
        for (auto it = document.begin(); it != document.end(); ++it) {
            const std::string& key = it.key();
            if (!parts.insert(key).second) {
                problems_.push_back("the document: the part " + quotedName(key) +
                                    " is given more than once");
                continue;
            }
            if (key == "Format" || key == "Version" || key == "Tasks" || key == "Resources" ||
                key == "SilencePeriods")
                continue;
            problems_.push_back("the document: unknown part " + quotedName(key));
        }
        const auto format = document.find("Format");
        if (format == document.end() || *format != FormatName)
            problems_.push_back(std::string("the document: no \"Format\": \"") + FormatName + "\"" +
                                (format == document.end() ? "" : ", but " + shortened(*format)));
        const auto version = document.find("Version");
        if (version != document.end() && *version != FormatVersion)
            problems_.push_back("the document: Version " + shortened(*version) + " is not " +
                                std::to_string(FormatVersion));
        for (const Section& s : sectionsOf(dm_)) {
            const auto records = document.find(s.key);
            if (records == document.end()) continue;
            if (!records->is_array()) {
                problems_.push_back(std::string("the document: \"") + s.key +
                                    "\" is not an array but " + records->type_name());
                continue;
            }
            for (std::size_t i = 0; i < records->size(); ++i)
                checkRecord(s, (*records)[i], i + 1);
        }
    }

    const std::vector<std::string>& problems() const { return problems_; }

  private:
    void checkRecord(const Section& s, const Json& record, std::size_t number) {
        const std::string where = recordPlace(s.key, number, &record);
        if (!record.is_object()) {
            problems_.push_back(where + ": not a JSON object but " + record.type_name());
            return;
        }
        // The parser keeps a repeated key; which of the two to store is anybody's guess.
        std::unordered_set<std::string_view> fields;
        for (auto it = record.begin(); it != record.end(); ++it) {
            const std::string field = where + ", field " + quotedName(it.key());
            if (!fields.insert(it.key()).second) {
                problems_.push_back(field + ": given more than once");
                continue;
            }
            const FieldDef* def = nullptr;
            for (int f = 0; f < s.table.fieldCount(); ++f)
                if (s.table.fieldDef(f).name == it.key()) def = &s.table.fieldDef(f);
            if (!def || def->calculated) {
                problems_.push_back(field + ": no such stored field");
                continue;
            }
            std::string problem = problemWith(*def, it.value());
            if (problem.empty()) problem = contentProblem(s.table, *def, it.value());
            if (!problem.empty())
                problems_.push_back(field + ": " + problem + ", not " + shortened(it.value()));
            else if (&s.table == &dm_.Table1 && def->name == "Application" &&
                     it.value().is_string())
                warn(context_, field, fields::commandWarning(it.value().get<std::string>()));
        }
        if (&s.table == &dm_.Table1) checkAppId(where, record);
        if (&s.table == &dm_.Table2) checkResourceNo(where, record);
    }

    // What add and set refuse in a value of the right type: the same rules, whatever way in.
    std::string contentProblem(const Table& table, const FieldDef& def, const Json& value) {
        if (value.is_string() && def.type == FieldType::Text) {
            const std::string& text = value.get_ref<const std::string&>();
            const TaskSetting* setting =
                &table == &dm_.Table1 ? taskSettingOfColumn(def.name) : nullptr;
            if (setting && setting->is(TaskSetting::HostName)) return hostProblem(text);
            if (setting && setting->is(TaskSetting::Condition))
                return conditions_.problem(text, def.width);
            std::string problem = fields::textProblem(text, def.width);
            if (problem.empty() && setting && setting->key == "command")
                problem = fields::commandProblem(text);
            return problem;
        }
        if (value.is_number()) return fields::numberProblem(def.name, value.get<double>());
        return {};
    }

    void checkAppId(const std::string& where, const Json& record) {
        const auto value = record.find("AppID");
        if (value == record.end() || !fitsInt64(*value)) return; // reported as the wrong type
        const std::int64_t id = value->get<std::int64_t>();
        if (id < 1)
            problems_.push_back(where + ", field \"AppID\": must be 1 or more, not " +
                                std::to_string(id));
        else if (!appIds_.insert(id).second)
            problems_.push_back(where + ", field \"AppID\": " + std::to_string(id) +
                                " is already taken (leave AppID out for a new one)");
    }

    void checkResourceNo(const std::string& where, const Json& record) {
        const auto value = record.find("ResourceNo");
        if (value == record.end() || value->is_null()) {
            problems_.push_back(where + ", field \"ResourceNo\": required");
            return;
        }
        // A number of the wrong type or range is reported with the other fields.
        if (!fitsInt64(*value) ||
            !fields::numberProblem("ResourceNo", value->get<double>()).empty())
            return;
        const std::int64_t no = value->get<std::int64_t>();
        if (!resourceNos_.insert(no).second)
            problems_.push_back(where + ", field \"ResourceNo\": " + std::to_string(no) +
                                " is already used");
    }

    TDataCtrl& dm_;
    bool replace_;
    const Context& context_;
    ConditionCheck conditions_;
    std::set<std::int64_t> appIds_;
    std::set<std::int64_t> resourceNos_;
    std::vector<std::string> problems_;
};

int runExport(const Context& context, const std::string& outputFile) {
    auto dm = openTables(context, OpenMode::ReadOnly);
    Json document = Json::object();
    document["Format"] = FormatName;
    document["Version"] = FormatVersion;
    for (const Section& s : sectionsOf(*dm)) {
        Json records = Json::array();
        const std::string file = tableFilePath(*dm, s.table);
        for (s.table.first(); !s.table.eof(); s.table.next())
            records.push_back(recordToJson(s.table, false, file));
        document[s.key] = std::move(records);
    }
    const std::string text = document.dump(2) + "\n";
    if (outputFile.empty() || outputFile == "-") {
        std::cout << text;
        return ExitOk;
    }
    errno = 0;
    std::ofstream out(outputFile, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        throw CommandError(ExitDataError,
                           "Cannot write " + outputFile +
                               (errno ? ": " + std::string(std::strerror(errno)) : ""));
    return ExitOk;
}

CommandError refused(const std::string& message) {
    return CommandError(ExitDataError, message + "\n" + NothingImported);
}

} // namespace

std::string readDocument(const std::string& inputFile, const std::string& label) {
    const int fd = inputFile == "-" ? 0 : ::open(inputFile.c_str(), O_RDONLY | O_CLOEXEC);
    const auto failed = [&] {
        return refused("Cannot read " + label + ": " + std::strerror(errno));
    };
    if (fd < 0) throw failed();
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const CommandError error = failed();
            if (fd != 0) ::close(fd);
            throw error;
        }
        if (n == 0) break;
        if (text.size() + static_cast<std::size_t>(n) > MaxDocumentBytes) {
            if (fd != 0) ::close(fd);
            throw refused(label + ": larger than " + std::to_string(MaxDocumentBytes >> 20) +
                          " MiB, far beyond any table set");
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (fd != 0) ::close(fd);
    return text;
}

namespace {

int runImport(const Context& context, const std::string& inputFile, bool replace) {
    const std::string label = inputFile == "-" ? std::string("standard input") : inputFile;
    const std::string text = readDocument(inputFile, label);
    ParsedDocument parsed = parseDocument(text);
    if (parsed.failure)
        throw refused(label + ": " + parsed.failure->place + ": " + parsed.failure->problem);
    const Json& document = parsed.document;

    std::unique_ptr<TDataCtrl> dm;
    try {
        dm = openTables(context, OpenMode::ReadWrite);
    } catch (const CommandError& e) {
        throw refused(e.what());
    }
    Validator validator(*dm, replace, context);
    validator.check(document);
    const std::vector<std::string>& problems = validator.problems();
    if (!problems.empty()) {
        for (std::size_t i = 0; i < problems.size() && i < ShownProblems; ++i)
            std::cerr << label << ": " << problems[i] << '\n';
        if (problems.size() > ShownProblems)
            std::cerr << label << ": " << problems.size() - ShownProblems
                      << " more problems not shown\n";
        std::cerr << NothingImported << '\n';
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
            const auto records = document.find(s.key);
            if (records == document.end()) continue;
            for (const Json& record : *records) {
                s.table.append();
                for (auto it = record.begin(); it != record.end(); ++it)
                    setField(s.table.field(it.key()), it.value());
                // A weekly task's day is the week day every view shows of it.
                if (&s.table == &dm->Table1)
                    Schedule::storeShownWeekDay(ScheduleColumns::ofTasks(*dm));
                s.table.post();
                ++added;
            }
        }
        transaction.commit();
    } catch (const std::exception& e) {
        throw refused(tableFailure(dm->database().directory(), e).what());
    }
    std::cerr << added << " records imported\n";
    return ExitOk;
}

struct ImportOptions {
    std::string file;
    bool replace = false;
    CrontabImport crontab;
};

} // namespace

std::vector<Command> transferCommands() {
    return {
        {"export", "Write tasks, resources and silence periods as one JSON document",
         withOptions<std::string>(
             [](CLI::App& cmd, std::string& file) {
                 cmd.add_option("-o,--output", file, "the file (standard output without)");
             },
             runExport)},
        {"import",
         "Add an exported document's records, or a crontab's entries as tasks, all or none",
         withOptions<ImportOptions>(
             [](CLI::App& cmd, ImportOptions& v) {
                 cmd.add_option("FILE", v.file,
                                "the JSON document, or the crontab (- for standard input)");
                 CLI::Option* replace =
                     cmd.add_flag("--replace", v.replace,
                                  "Replace everything in the three tables by the document");
                 replace->excludes(addCrontabOptions(cmd, v.crontab));
                 cmd.parse_complete_callback([&v] {
                     if (v.file.empty() && !v.crontab.crontab) throw CLI::RequiredError("FILE");
                 });
             },
             [](const Context& context, const ImportOptions& v) {
                 if (v.crontab.crontab) return runCrontabImport(context, v.file, v.crontab);
                 return runImport(context, v.file, v.replace);
             })},
    };
}

} // namespace vektrin::ctl
