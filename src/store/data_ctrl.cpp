#include "store/data_ctrl.h"

#include "platform/location.h"
#include "platform/strings.h"
#include "store/pg_database.h"
#include "store/status_text.h"

namespace vektrin {
namespace {

// A table's fields, from a list whose length the compiler knows: a table with more fields than
// an edit can track does not compile.
template <std::size_t N> std::vector<FieldDef> fieldList(const FieldDef (&fields)[N]) {
    static_assert(N <= MaxFields, "more fields than an edit can track");
    return {std::begin(fields), std::end(fields)};
}

// The fields under the labels their editor shows them with, which a refused value names.
std::vector<FieldDef>
labelled(std::vector<FieldDef> fields,
         std::initializer_list<std::pair<const char*, std::string_view>> labels) {
    for (FieldDef& f : fields)
        for (const auto& [name, label] : labels)
            if (f.name == name) f.label = label;
    return fields;
}

std::vector<FieldDef> taskFields() {
    const FieldDef fields[] = {
        {"Sost", FieldType::Text, 200, true},
        {"AppID", FieldType::AutoInc},
        {"AppName", FieldType::Text, 40},
        {"Application", FieldType::Text, 120},
        {"AppDirectory", FieldType::Text, 120},
        {"Interval", FieldType::Int16},
        {"StartDate", FieldType::Date},
        {"StartTime", FieldType::Time},
        {"EndDate", FieldType::Date},
        {"EndTime", FieldType::Time},
        {"RepeatInterval", FieldType::Int16},
        {"Priority", FieldType::Int16},
        {"StartCondition", FieldType::Text, 254},
        {"EndCondition", FieldType::Text, 254},
        {"RunType", FieldType::Int16},
        {"Stopped", FieldType::Boolean},
        {"Interupt", FieldType::Boolean},
        {"LastDate", FieldType::Date},
        {"LastTime", FieldType::Time},
        {"EndCode", FieldType::Float},
        {"ExitCode", FieldType::Int32},
        {"Conflicts", FieldType::Int32},
        {"WaitResources", FieldType::Int32},
        {"IntResources", FieldType::Int32},
        {"WaitBeginning", FieldType::Time},
        {"WaitRes", FieldType::Boolean},
        // Added later: tables of an older layout get it with every row off.
        {"CatchUp", FieldType::Boolean},
        // The workstation that runs the task: empty for any one, a host name, or * for each.
        {"Host", FieldType::Text, 64},
        {"LastHost", FieldType::Text, 64}, // where the last launch ran
    };
    return labelled(fieldList(fields), {{"AppName", str::ParamTaskName},
                                        {"Application", str::ParamCommandString},
                                        {"AppDirectory", str::ParamStartupDirectory},
                                        {"Interval", str::ParamLaunchInterval},
                                        {"StartDate", str::ParamYearStart},
                                        {"StartTime", str::ParamYearStart},
                                        {"EndDate", str::ParamYearEnd},
                                        {"EndTime", str::ParamYearEnd},
                                        {"RepeatInterval", str::ParamRepeatInterval},
                                        {"Priority", str::ParamRunPriority},
                                        {"StartCondition", str::ParamLaunchCondition},
                                        {"EndCondition", str::ParamTerminateCondition},
                                        {"RunType", str::ParamRunType},
                                        {"Stopped", str::ParamStopped},
                                        {"Interupt", str::ParamInterruptPending},
                                        {"Conflicts", str::ParamConflictingResources},
                                        {"WaitRes", str::ParamWaitIfBusy},
                                        {"CatchUp", str::ParamCatchUp}});
}

std::vector<FieldDef> resourceFields() {
    const FieldDef fields[] = {{"ResourceNo", FieldType::Int16, 0, false, true, 31, true},
                               {"ResourceName", FieldType::Text, 80},
                               {"MaxWait", FieldType::Time}};
    return labelled(fieldList(fields), {{"ResourceNo", str::ResourceNumberLabel},
                                        {"ResourceName", str::ResourceNameLabel},
                                        {"MaxWait", str::ResourceMaxWaitLabel}});
}

std::vector<FieldDef> silenceFields() {
    const FieldDef fields[] = {{"Interval", FieldType::Int16},
                               {"StartDate", FieldType::Date},
                               {"StartTime", FieldType::Time},
                               {"EndDate", FieldType::Date},
                               {"EndTime", FieldType::Time}};
    return labelled(fieldList(fields), {{"Interval", str::ExceptInterval},
                                        {"StartDate", str::ExceptYearStart},
                                        {"StartTime", str::ExceptYearStart},
                                        {"EndDate", str::ExceptYearEnd},
                                        {"EndTime", str::ExceptYearEnd}});
}

AttachedFile tableFile(std::string schema, std::string fileName, std::string table,
                       const std::vector<FieldDef>& fields) {
    return {std::move(schema), std::move(fileName), std::move(table), storedColumns(fields)};
}

std::vector<AttachedFile> tableFiles() {
    return {tableFile("main", TaskFileName, "Vektrin", taskFields()),
            tableFile("resources", ResourceFileName, "VKResrcs", resourceFields()),
            tableFile("silence", SilenceFileName, "SYSEXCPT", silenceFields())};
}

std::unique_ptr<StoreBackend> openBackend(const std::string& location, OpenMode mode,
                                          bool taskFileIsNew) {
    if (isServerLocation(location)) return std::make_unique<PgDatabase>(location, mode);
    return std::make_unique<Database>(location, tableFiles(), mode,
                                      taskFileIsNew ? std::vector<std::string>{TaskFileName}
                                                    : std::vector<std::string>{});
}

} // namespace

void TDataCtrl::verify(const std::string& directory) {
    // A server is asked when the tables are opened; there are no files to look at first.
    if (isServerLocation(directory)) return;
    Database::verify(directory, tableFiles());
}

TDataCtrl::TDataCtrl(const std::string& directory, MessagePort& messages, OpenMode mode,
                     bool taskFileIsNew)
    : database_(openBackend(directory, mode, taskFileIsNew)), messages_(messages),
      table1_(std::make_unique<Table>(*database_, "main", "Vektrin", taskFields())),
      table2_(std::make_unique<Table>(*database_, "resources", "VKResrcs", resourceFields(),
                                      "ResourceNo")),
      table3_(std::make_unique<Table>(*database_, "silence", "SYSEXCPT", silenceFields())),
      Table1(*table1_), Table2(*table2_),
      Table3(*table3_), DataSource1{&Table1}, DataSource2{&Table2}, DataSource3{&Table3},
      Table1Sost(Table1.field("Sost")), Table1AppID(Table1.field("AppID")),
      Table1AppName(Table1.field("AppName")), Table1Application(Table1.field("Application")),
      Table1AppDirectory(Table1.field("AppDirectory")), Table1Interval(Table1.field("Interval")),
      Table1StartDate(Table1.field("StartDate")), Table1StartTime(Table1.field("StartTime")),
      Table1EndDate(Table1.field("EndDate")), Table1EndTime(Table1.field("EndTime")),
      Table1RepeatInterval(Table1.field("RepeatInterval")),
      Table1Priority(Table1.field("Priority")),
      Table1StartCondition(Table1.field("StartCondition")),
      Table1EndCondition(Table1.field("EndCondition")), Table1RunType(Table1.field("RunType")),
      Table1Stopped(Table1.field("Stopped")), Table1Interupt(Table1.field("Interupt")),
      Table1LastDate(Table1.field("LastDate")), Table1LastTime(Table1.field("LastTime")),
      Table1EndCode(Table1.field("EndCode")), Table1ExitCode(Table1.field("ExitCode")),
      Table1Conflicts(Table1.field("Conflicts")),
      Table1WaitResources(Table1.field("WaitResources")),
      Table1IntResources(Table1.field("IntResources")),
      Table1WaitBeginning(Table1.field("WaitBeginning")), Table1WaitRes(Table1.field("WaitRes")),
      Table1CatchUp(Table1.field("CatchUp")), Table1Host(Table1.field("Host")),
      Table1LastHost(Table1.field("LastHost")), Table2ResourceNo(Table2.field("ResourceNo")),
      Table2ResourceName(Table2.field("ResourceName")), Table2MaxWait(Table2.field("MaxWait")),
      Table3Interval(Table3.field("Interval")), Table3StartDate(Table3.field("StartDate")),
      Table3StartTime(Table3.field("StartTime")), Table3EndDate(Table3.field("EndDate")),
      Table3EndTime(Table3.field("EndTime")) {
    Table1.onCalcFields = [this](Table& t) { Table1CalcFields(t); };
    auto postError = [this](Table& t, const DatabaseError& e, PostErrorAction& a) {
        Table2PostError(t, e, a);
    };
    Table2.onPostError = postError;
    Table3.onPostError = postError;
    Table2.beforeDelete = [this](Table& t) { Table2BeforeDelete(t); };
}

TDataCtrl::~TDataCtrl() = default;

void TDataCtrl::Table1CalcFields(Table&) {
    Table1Sost.setString(statusText(Table1Stopped.asBoolean(), Table1EndCode.asFloat(),
                                    static_cast<std::int32_t>(Table1ExitCode.asInteger())));
}

void TDataCtrl::Table2PostError(Table&, const DatabaseError& e, PostErrorAction& action) {
    action = PostErrorAction::Abort;
    if (e.code() == KeyViolationCode) return messages_.showMessage(str::ResourceNotUnique);
    if (e.code() == MaxValueErrorCode) return messages_.showMessage(str::ResourceAboveMaximum);
    if (e.shown()) return messages_.showText(*e.shown());
    messages_.showMessage(std::string(str::YouHaveAProblem) + e.what());
}

void TDataCtrl::Table2BeforeDelete(Table& dataSet) {
    const ResourceMask bit = resourceBit(dataSet.field("ResourceNo").asInteger());
    for (Table1.first(); !Table1.eof(); Table1.next()) {
        EditGuard guard(Table1);
        Table1.edit();
        Table1Conflicts.setInteger(static_cast<std::int32_t>(
            static_cast<ResourceMask>(Table1Conflicts.asInteger()) & ~bit));
        Table1.post();
    }
    if (resourceTable_)
        for (int n = 1; n <= ResourceEntries; ++n)
            resourceTable_->entry(n).Mask &= ~bit;
}

} // namespace vektrin
