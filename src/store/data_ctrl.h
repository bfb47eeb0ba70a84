#pragma once
// The data module: the task, resource and silence-period tables, opened together for the whole run.

#include "store/database.h"
#include "store/message_port.h"
#include "store/running_tasks.h"
#include "store/table.h"

#include <memory>
#include <string>

namespace vektrin {

// What grids and bound controls attach to; detaching stops them following the cursor.
struct DataSource {
    Table* DataSet = nullptr;
    bool Enabled = true;
};

inline constexpr const char* TaskFileName = "Vektrin.db";
inline constexpr const char* ResourceFileName = "VKResrcs.db";
inline constexpr const char* SilenceFileName = "SYSEXCPT.DB";

class TDataCtrl {
  public:
    // Opens (creating when missing) the three table files in directory, or the tables in the
    // database a server location names (store/location.h). Read-only: nothing is created or
    // written, a missing table reads as empty.
    // taskFileIsNew: the caller created the task table file empty itself (its lock).
    TDataCtrl(const std::string& directory, MessagePort& messages,
              OpenMode mode = OpenMode::ReadWrite, bool taskFileIsNew = false);
    // Throws StoreOpenError, naming the path and the problem, for a directory or a table file that
    // a read-write opening would refuse; creates and writes nothing.
    static void verify(const std::string& directory);
    ~TDataCtrl();

    StoreBackend& database() { return *database_; }
    // The run-time resource table whose masks a resource deletion also clears.
    void setResourceTable(ResourceTable* table) { resourceTable_ = table; }

    void Table1CalcFields(Table& dataSet);
    void Table2PostError(Table& dataSet, const DatabaseError& e, PostErrorAction& action);
    void Table2BeforeDelete(Table& dataSet);

  private:
    std::unique_ptr<StoreBackend> database_;
    MessagePort& messages_;
    ResourceTable* resourceTable_ = nullptr;

  public:
    std::unique_ptr<Table> table1_, table2_, table3_;
    Table& Table1;
    Table& Table2;
    Table& Table3;
    DataSource DataSource1, DataSource2, DataSource3;

    Field& Table1Sost;
    Field& Table1AppID;
    Field& Table1AppName;
    Field& Table1Application;
    Field& Table1AppDirectory;
    Field& Table1Interval;
    Field& Table1StartDate;
    Field& Table1StartTime;
    Field& Table1EndDate;
    Field& Table1EndTime;
    Field& Table1RepeatInterval;
    Field& Table1Priority;
    Field& Table1StartCondition;
    Field& Table1EndCondition;
    Field& Table1RunType;
    Field& Table1Stopped;
    Field& Table1Interupt;
    Field& Table1LastDate;
    Field& Table1LastTime;
    Field& Table1EndCode;
    Field& Table1ExitCode;
    Field& Table1Conflicts;
    Field& Table1WaitResources;
    Field& Table1IntResources;
    Field& Table1WaitBeginning;
    Field& Table1WaitRes;
    Field& Table1CatchUp; // a launch missed while nothing could be launched is made up
    Field& Table1Host;    // which workstation runs the task (engine/task_host.h)
    Field& Table1LastHost;

    Field& Table2ResourceNo;
    Field& Table2ResourceName;
    Field& Table2MaxWait;

    Field& Table3Interval;
    Field& Table3StartDate;
    Field& Table3StartTime;
    Field& Table3EndDate;
    Field& Table3EndTime;
};

} // namespace vektrin
