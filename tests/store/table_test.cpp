#include "store/data_ctrl.h"
#include "store/status_text.h"
#include "support/fake_messages.h"
#include "support/pg_server.h"
#include "support/temp_dir.h"

#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vektrin {
namespace {

// The tables in a directory, or with VEKTRIN_TEST_STORE=server in a database of a private server:
// the store promises the same of both.
class DataCtrlTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    test::RecordingMessages messages;
    std::string location = dir.path();
    std::unique_ptr<TDataCtrl> dm;

    void SetUp() override {
        const char* store = std::getenv("VEKTRIN_TEST_STORE");
        if (store && std::string(store) == "server") {
            std::string reason;
            test::PgServer* server = test::PgServer::shared(reason);
            if (!server) GTEST_SKIP() << reason;
            location = server->createDatabase();
        }
        dm = std::make_unique<TDataCtrl>(location, messages);
    }

    void addTask(const std::string& name, double endCode = 0, std::int64_t conflicts = 0) {
        dm->Table1.append();
        dm->Table1AppName.setString(name);
        if (endCode != 0) dm->Table1EndCode.setFloat(endCode);
        if (conflicts) dm->Table1Conflicts.setInteger(conflicts);
        dm->Table1.post();
    }
    void addResource(std::int64_t no, const std::string& name, double maxWait = 0) {
        dm->Table2.append();
        dm->Table2ResourceNo.setInteger(no);
        dm->Table2ResourceName.setString(name);
        dm->Table2MaxWait.setFloat(maxWait);
        dm->Table2.post();
    }
    std::vector<std::string> taskNames() {
        std::vector<std::string> names;
        for (dm->Table1.first(); !dm->Table1.eof(); dm->Table1.next())
            names.push_back(dm->Table1AppName.asString());
        return names;
    }
};

TEST_F(DataCtrlTest, CreatesTheThreeFilesAndReadsEmptyFieldsAsZero) {
    for (const char* f : {TaskFileName, ResourceFileName, SilenceFileName})
        EXPECT_FALSE(test::readFile(dir.file(f)).empty()) << f;
    dm->Table1.append();
    dm->Table1.post();
    EXPECT_EQ(dm->Table1Interval.asInteger(), 0);
    EXPECT_FALSE(dm->Table1Stopped.asBoolean());
    EXPECT_EQ(dm->Table1AppName.asString(), "");
    EXPECT_EQ(dm->Table1EndCode.asFloat(), 0.0);
    EXPECT_EQ(dm->Table1Sost.asString(), "Have not executed yet");
}

TEST_F(DataCtrlTest, AutoIncrementNeverReusesAnIdentifier) {
    addTask("a");
    addTask("b");
    const auto second = dm->Table1AppID.asInteger();
    dm->Table1.deleteRecord();
    addTask("c");
    EXPECT_EQ(dm->Table1AppID.asInteger(), second + 1);
}

// A text is refused whole at every way into a field, never cut to fit; the width counts
// characters, so forty two-byte letters fit where the forty-first does not.
TEST_F(DataCtrlTest, TextsLongerThanTheFieldAreRefusedNotCut) {
    const auto repeated = [](const std::string& letter, int times) {
        std::string text;
        for (int i = 0; i < times; ++i)
            text += letter;
        return text;
    };
    addTask("kept");
    addResource(1, "kept");
    Table& tasks = dm->Table1;
    const Table::Bookmark task = tasks.getBookmark();
    struct Case {
        const char* path;
        Table& table;
        std::function<void()> enter;
        const char* refusal;
    };
    const Case cases[] = {
        {"setString", tasks, [&] { dm->Table1AppName.setString(std::string(41, 'x')); },
         "Field 'AppName' takes at most 40 characters"},
        {"setString, two-byte letters", tasks,
         [&] { dm->Table1AppName.setString(repeated("Ж", 41)); },
         "Field 'AppName' takes at most 40 characters"},
        {"setString, a condition", tasks,
         [&] { dm->Table1StartCondition.setString(std::string(255, 'c')); },
         "Field 'StartCondition' takes at most 254 characters"},
        {"setString, a resource", dm->Table2,
         [&] { dm->Table2ResourceName.setString(std::string(81, 'r')); },
         "Field 'ResourceName' takes at most 80 characters"},
        {"writeFields", tasks,
         [&] {
             tasks.writeFields(task, {{"Application", std::string(121, 'a')}});
         },
         "Field 'Application' takes at most 120 characters"},
    };
    for (const Case& c : cases) {
        c.table.edit();
        try {
            c.enter();
            ADD_FAILURE() << c.path << ": taken";
        } catch (const DatabaseError& e) {
            EXPECT_STREQ(e.what(), c.refusal) << c.path;
        }
        c.table.post();
        c.table.refresh();
        EXPECT_EQ(dm->Table1AppName.asString(), "kept") << c.path;
        EXPECT_EQ(dm->Table1Application.asString(), "") << c.path;
        EXPECT_EQ(dm->Table1StartCondition.asString(), "") << c.path;
        EXPECT_EQ(dm->Table2ResourceName.asString(), "kept") << c.path;
    }
    tasks.edit();
    dm->Table1AppName.setString(repeated("Ж", 40));
    tasks.post();
    tasks.refresh();
    EXPECT_EQ(dm->Table1AppName.asString(), repeated("Ж", 40));
}

TEST_F(DataCtrlTest, CursorWalksAndStopsAtTheEnds) {
    for (auto n : {"a", "b", "c"})
        addTask(n);
    EXPECT_EQ(taskNames(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(dm->Table1.eof());
    EXPECT_EQ(dm->Table1AppName.asString(), "c"); // eof leaves the cursor on the last record
    dm->Table1.first();
    dm->Table1.prior();
    EXPECT_TRUE(dm->Table1.bof());
    EXPECT_EQ(dm->Table1AppName.asString(), "a");
}

TEST_F(DataCtrlTest, BookmarksSurvivePostsAndDeletesOfOtherRecords) {
    for (auto n : {"a", "b", "c", "d"})
        addTask(n);
    dm->Table1.first();
    dm->Table1.next();
    dm->Table1.next();
    const auto c = dm->Table1.getBookmark();
    dm->Table1.first();
    dm->Table1.deleteRecord(); // a
    dm->Table1.edit();
    dm->Table1AppName.setString("b2");
    dm->Table1.post();
    addTask("e");
    ASSERT_TRUE(dm->Table1.gotoBookmark(c));
    EXPECT_EQ(dm->Table1AppName.asString(), "c");
    dm->Table1.deleteRecord();
    EXPECT_FALSE(dm->Table1.gotoBookmark(c));
    EXPECT_EQ(taskNames(), (std::vector<std::string>{"b2", "d", "e"}));
}

// A move never posts (over a change it is refused); a reader of every row moves nothing.
TEST_F(DataCtrlTest, MovingOnNeverPostsAnEditAndCancelDropsIt) {
    addTask("a");
    addTask("b");
    dm->Table1.first();
    dm->Table1.edit();
    dm->Table1AppName.setString("changed");
    for (auto move : {&Table::first, &Table::next, &Table::last, &Table::refresh})
        EXPECT_THROW((dm->Table1.*move)(), DatabaseError);
    std::vector<std::string> read;
    dm->Table1.forEachRow([&] { read.push_back(dm->Table1AppName.asString()); });
    EXPECT_EQ(dm->Table1AppName.asString(), "changed");
    dm->Table1.cancel();
    dm->Table1.edit();
    dm->Table1.next();
    EXPECT_EQ(taskNames(), read);
}

TEST_F(DataCtrlTest, SettingAFieldOutsideEditingIsRefused) {
    addTask("a");
    EXPECT_THROW(dm->Table1AppName.setString("x"), DatabaseError);
    dm->Table1.edit();
    EXPECT_THROW(dm->Table1Interval.setInteger(40000), DatabaseError);
    EXPECT_THROW(dm->Table1RunType.setString("abc"), DatabaseError);
    dm->Table1.cancel();
}

TEST_F(DataCtrlTest, AnotherConnectionsChangesAreSeenAtTheNextWalk) {
    addTask("mine");
    EXPECT_EQ(taskNames(), (std::vector<std::string>{"mine"}));
    {
        TDataCtrl other(location, messages);
        other.Table1.append();
        other.Table1AppName.setString("theirs");
        other.Table1.post();
        other.Table1.first();
        other.Table1.edit();
        other.Table1AppName.setString("renamed");
        other.Table1.post();
    }
    EXPECT_EQ(taskNames(), (std::vector<std::string>{"renamed", "theirs"}));
}

TEST_F(DataCtrlTest, EditingARecordAnotherConnectionDeletedFailsInsteadOfEditingAnother) {
    addTask("a");
    addTask("b");
    dm->Table1.first();
    {
        TDataCtrl other(location, messages);
        other.Table1.first();
        other.Table1.deleteRecord();
    }
    EXPECT_THROW(dm->Table1.edit(), DatabaseError);
    EXPECT_EQ(taskNames(), (std::vector<std::string>{"b"}));
}

// Two connections post different columns of one record in turns, each from the rows it read
// before the other's post: a post writes the columns it changed, so neither loses the other's.
TEST_F(DataCtrlTest, PostsOfOtherColumnsLoseNoWrite) {
    addTask("shared");
    TDataCtrl other(location, messages);
    int lost = 0;
    for (int i = 1; i <= 1000; ++i) {
        dm->Table1.first();
        other.Table1.first();
        dm->Table1.edit();
        dm->Table1Stopped.setBoolean(i % 2 == 1);
        other.Table1.edit();
        other.Table1ExitCode.setInteger(i);
        dm->Table1.post();
        other.Table1.post();
        dm->Table1.refresh();
        dm->Table1.first();
        lost +=
            dm->Table1Stopped.asBoolean() != (i % 2 == 1) || dm->Table1ExitCode.asInteger() != i;
    }
    EXPECT_EQ(lost, 0);
}

TEST_F(DataCtrlTest, ValuesSurviveReopening) {
    dm->Table1.append();
    dm->Table1AppName.setString("persist");
    dm->Table1StartTime.setDateTime(45000.75); // only the time fraction stays
    dm->Table1StartDate.setDateTime(45000.75); // only the day stays
    dm->Table1Stopped.setBoolean(true);
    dm->Table1ExitCode.setInteger(-5);
    dm->Table1.post();
    dm.reset();
    dm = std::make_unique<TDataCtrl>(location, messages);
    dm->Table1.first();
    EXPECT_EQ(dm->Table1AppName.asString(), "persist");
    EXPECT_DOUBLE_EQ(dm->Table1StartTime.asDateTime(), 0.75);
    EXPECT_DOUBLE_EQ(dm->Table1StartDate.asDateTime(), 45000.0);
    EXPECT_TRUE(dm->Table1Stopped.asBoolean());
    EXPECT_EQ(dm->Table1ExitCode.asInteger(), -5);
    EXPECT_EQ(dm->Table1Sost.asString(), "Stopped");
}

struct StatusCase {
    bool stopped;
    double code;
    std::int32_t exitCode;
    const char* text;
};

class StatusTextTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTextTest, MatchesTheOperatorText) {
    const auto& c = GetParam();
    EXPECT_EQ(statusText(c.stopped, c.code, c.exitCode), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    AllCodes, StatusTextTest,
    ::testing::Values(StatusCase{false, 0, 0, "Have not executed yet"},
                      StatusCase{false, 1, 0, "Completed successfully"},
                      StatusCase{false, 1, 2, "Completed with a code 2"},
                      StatusCase{false, 1, INT32_MIN, "Completed with a code -2147483648"},
                      StatusCase{false, 2, 0, "Runs"},
                      StatusCase{false, 3, 0, "Interrupted by person"},
                      StatusCase{false, 4, 0, "Interrupted by program"},
                      StatusCase{false, 5, 0, "Suspended"}, StatusCase{false, 6, 0, "Resumed"},
                      StatusCase{false, 7, 0, "Waiting of a resource liberation"},
                      StatusCase{false, 8, 0, "Skipped because of some of resources busy"},
                      StatusCase{false, 9, 0, "Unknown"},
                      StatusCase{false, 10, 0, "Time of a resource liberation waiting is over"},
                      StatusCase{false, 11, 0,
                                 "Waiting of a resource liberation interrupted by person"},
                      StatusCase{false, 12, 0, "Task launch error"},
                      StatusCase{false, 13, 0, "Waiting of scheduling beginning"},
                      StatusCase{false, 14, 0, "Task scheduling started"},
                      StatusCase{false, 15, 0, "Status with an unknown code 15"},
                      StatusCase{false, -1, 0, "Status with an unknown code -1"},
                      StatusCase{false, 6.6, 0, "Waiting of a resource liberation"},
                      StatusCase{true, 6, 0, "Stopped"}, StatusCase{true, 1, 3, "Stopped"}));

TEST_F(DataCtrlTest, SostFollowsTheCurrentRecord) {
    addTask("a", 2);
    addTask("b", 1);
    dm->Table1.edit();
    dm->Table1ExitCode.setInteger(7);
    EXPECT_EQ(dm->Table1Sost.asString(), "Completed with a code 7"); // from the edit buffer
    dm->Table1.post();
    dm->Table1.first();
    EXPECT_EQ(dm->Table1Sost.asString(), "Runs");
}

struct PostErrorCase {
    std::int64_t second;
    bool withNumber;
    const char* message;
};

class ResourcePostErrorTest : public DataCtrlTest,
                              public ::testing::WithParamInterface<PostErrorCase> {};

TEST_P(ResourcePostErrorTest, ShowsTheMessageAndKeepsTheRecordInEditing) {
    addResource(5, "printer");
    const auto& c = GetParam();
    dm->Table2.append();
    if (c.withNumber) dm->Table2ResourceNo.setInteger(c.second);
    dm->Table2ResourceName.setString("second");
    EXPECT_THROW(dm->Table2.post(), AbortError);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], c.message);
    EXPECT_EQ(dm->Table2.state(), Table::State::Insert);
    EXPECT_EQ(dm->Table2ResourceName.asString(), "second");
    dm->Table2.cancel();
    EXPECT_EQ(dm->Table2.recordCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ResourcePostErrorTest,
    ::testing::Values(
        PostErrorCase{5, true, "Resource number must be unique. Unable repetition !!!"},
        PostErrorCase{32, true, "May be 31 conflicting resource maximum !!!"},
        PostErrorCase{0, false, "Conflicting resource number :\r\nA value is required"}));

TEST_F(DataCtrlTest, ResourcesAreOrderedByNumber) {
    addResource(7, "seven");
    addResource(2, "two");
    addResource(31, "thirty-one");
    std::vector<std::int64_t> numbers;
    for (dm->Table2.first(); !dm->Table2.eof(); dm->Table2.next())
        numbers.push_back(dm->Table2ResourceNo.asInteger());
    EXPECT_EQ(numbers, (std::vector<std::int64_t>{2, 7, 31}));
}

TEST_F(DataCtrlTest, DeletingAResourceClearsItsBitEverywhere) {
    addResource(3, "r3", 0.01);
    addResource(5, "r5", 0.02);
    addTask("three-and-five", 0, resourceBit(3) | resourceBit(5));
    addTask("five", 0, resourceBit(5));
    addTask("thirty-one", 0, resourceBit(31));
    ResourceTable resources;
    resources.initialise();
    resources.load(dm->Table2);
    dm->setResourceTable(&resources);

    dm->Table2.first(); // resource 3
    dm->Table2.deleteRecord();

    std::vector<std::int64_t> masks;
    for (dm->Table1.first(); !dm->Table1.eof(); dm->Table1.next())
        masks.push_back(dm->Table1Conflicts.asInteger());
    EXPECT_EQ(masks, (std::vector<std::int64_t>{resourceBit(5), resourceBit(5), resourceBit(31)}));
    EXPECT_EQ(resources.entry(3).Mask, 0u);
    EXPECT_EQ(resources.entry(5).Mask, resourceBit(5));
    EXPECT_EQ(dm->Table2.recordCount(), 1);
}

TEST_F(DataCtrlTest, ResourceTableSkipsNumbersOutsideOneToThirtyOne) {
    addResource(31, "last", 0.5);
    addResource(1, "first", 0.25);
    // Rows another program wrote below 1 are ignored by the run-time table.
    static_cast<Database&>(dm->database())
        .exec("INSERT INTO resources.VKResrcs (ResourceNo, ResourceName) VALUES (0, "
              "'zero'), (-3, 'neg')");
    dm->Table2.refresh();
    ResourceTable resources;
    resources.initialise();
    resources.load(dm->Table2);
    EXPECT_EQ(resources.entry(31).Mask, 1u << 30);
    EXPECT_EQ(resources.entry(1).ResourceName, "first");
    int filled = 0;
    for (int n = 1; n <= ResourceEntries; ++n)
        filled += resources.entry(n).Mask != 0;
    EXPECT_EQ(filled, 2);
    EXPECT_DOUBLE_EQ(resources.longestWait(resourceBit(1) | resourceBit(31)), 0.5);
    EXPECT_DOUBLE_EQ(resources.longestWait(resourceBit(2)), 0.0);
}

TEST(RunningTaskTableTest, AppIndexAndUsedResources) {
    RunningTaskTable slots;
    slots.initialise();
    EXPECT_EQ(slots.AppIndex(1), 0);
    EXPECT_EQ(slots.CurrentUsedResources(), 0u);
    EXPECT_FALSE(slots.anyTaskRunning());
    EXPECT_EQ(slots.freeSlot(), 1);
    for (int n : {9, 4}) {
        slots.slot(n).AppID = 42;
        slots.slot(n).ProcessHandle = n;
        slots.slot(n).Conflicts = resourceBit(n);
    }
    slots.slot(6).AppID = 42; // free slot: stale values are never read
    slots.slot(6).Conflicts = 0xFFFF;
    EXPECT_EQ(slots.AppIndex(42), 4);
    EXPECT_EQ(slots.CurrentUsedResources(), resourceBit(4) | resourceBit(9));
    EXPECT_TRUE(slots.anyTaskRunning());
    EXPECT_EQ(slots.freeSlot(), 1);
}

TEST(DatabaseOpenTest, RefusesADamagedFileWithoutTouchingIt) {
    test::TempDir dir;
    const std::string junk = "this is not a table file, but somebody's notes\n";
    test::writeFile(dir.file(TaskFileName), junk);
    test::RecordingMessages messages;
    try {
        TDataCtrl dm(dir.path(), messages);
        FAIL() << "opened a damaged file";
    } catch (const StoreOpenError& e) {
        EXPECT_NE(std::string(e.what()).find(TaskFileName), std::string::npos);
    }
    EXPECT_EQ(test::readFile(dir.file(TaskFileName)), junk);
}

// Read-only: what the files hold is read, nothing is created, switched or written, and a missing
// file is an empty table.
TEST(DatabaseOpenTest, ReadOnlyOpeningReadsWithoutWritingAByte) {
    test::TempDir dir;
    test::RecordingMessages messages;
    {
        TDataCtrl dm(dir.path(), messages);
        dm.Table1.append();
        dm.Table1AppName.setString("kept");
        dm.Table1.post();
    }
    ::unlink(dir.file(SilenceFileName).c_str());
    {
        // A database without our table (only a header's worth of settings) reads as empty too.
        ::unlink(dir.file(ResourceFileName).c_str());
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(dir.file(ResourceFileName).c_str(), &db), SQLITE_OK);
        sqlite3_exec(db, "PRAGMA user_version=3", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    const std::string before = test::readFile(dir.file(TaskFileName));
    chmod(dir.file(TaskFileName).c_str(), 0444);
    chmod(dir.path().c_str(), 0555);
    {
        TDataCtrl dm(dir.path(), messages, OpenMode::ReadOnly);
        dm.Table1.first();
        EXPECT_EQ(dm.Table1AppName.asString(), "kept");
        dm.Table3.first();
        EXPECT_TRUE(dm.Table3.eof());
        dm.Table2.first();
        EXPECT_TRUE(dm.Table2.eof());
        dm.Table1.edit();
        dm.Table1AppName.setString("changed");
        EXPECT_THROW(dm.Table1.post(), DatabaseError);
        dm.Table1.cancel();
    }
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(test::readFile(dir.file(TaskFileName)), before);
    EXPECT_NE(access(dir.file(SilenceFileName).c_str(), F_OK), 0);
    // A read-write opening still refuses the read-only file by name.
    try {
        TDataCtrl dm(dir.path(), messages);
        FAIL() << "opened a read-only table file for writing";
    } catch (const StoreOpenError& e) {
        EXPECT_NE(std::string(e.what()).find("is read-only"), std::string::npos) << e.what();
    }
}

TEST(DatabaseOpenTest, RefusesAMissingDirectory) {
    test::TempDir dir;
    test::RecordingMessages messages;
    EXPECT_THROW(TDataCtrl(dir.file("nowhere"), messages), StoreOpenError);
}

} // namespace
} // namespace vektrin
