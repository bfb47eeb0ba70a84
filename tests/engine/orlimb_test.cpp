#include "engine/orlimb.h"
#include "support/engine_fixture.h"

#include <gmock/gmock.h>

namespace vektrin {
namespace {

TEST(OrlimbDatesTest, ColumnsGiveTheTwoDates) {
    const auto both = parseOrlimbDates("1998010119980131");
    EXPECT_EQ(both.begin, *tryEncodeDate(1998, 1, 1));
    EXPECT_EQ(both.end, *tryEncodeDate(1998, 1, 31));
    const auto open = parseOrlimbDates("20240301        trailing text");
    EXPECT_EQ(open.begin, *tryEncodeDate(2024, 3, 1));
    EXPECT_EQ(open.end, *tryEncodeDate(1997, 12, 31));
    for (const char* bad :
         {"", "1998", "19980101", "1998010", "19981301        ", "1998023019980301",
          "199801O1        ", "19980101 1998013", "+9980101        "})
        EXPECT_THROW(parseOrlimbDates(bad), OrlimbDateError) << bad;
}

TEST(OrlimbPathTest, AbsoluteOrFromTheCompanionDirectory) {
    EXPECT_EQ(ResolveOrlimbPath("/srv/orl", "DATA"), "/srv/orl/DATA");
    EXPECT_EQ(ResolveOrlimbPath("/srv/orl/", "DATA\\SUB"), "/srv/orl/DATA/SUB");
    EXPECT_EQ(ResolveOrlimbPath("/srv/orl", "\\DATA"), "/DATA");
    EXPECT_EQ(ResolveOrlimbPath("/srv/orl", "/data"), "/data");
}

TEST(OrlimbKeyTest, FirstExactMatchInTheOemCodePage) {
    test::TempDir dir;
    // "Наименование_филиала" in CP866, and a line with a blank before its ";".
    const std::string cp866Key =
        "\x8d\xa0\xa8\xac\xa5\xad\xae\xa2\xa0\xad\xa8\xa5_\xe4\xa8\xab\xa8\xa0\xab\xa0";
    test::writeFile(dir.file("Orlimb.ini"),
                    "; comment=1\r\n ;dbf_path=comment\r\nDBF_PATH=upper\r\n"
                    "no equals sign\r\n  dbf_path =  DATA \r\ndbf_path=second\r\n" +
                        cp866Key + "=\x8c\xae\xe1\xaa\xa2\xa0\r\n");
    const auto k = ReadOrlimbKey(dir.file("Orlimb.ini"), "dbf_path");
    EXPECT_TRUE(k.found);
    EXPECT_EQ(k.value, "DATA");
    const auto branch = ReadOrlimbKey(dir.file("Orlimb.ini"), "Наименование_филиала");
    EXPECT_TRUE(branch.found);
    EXPECT_EQ(branch.value, "Москва");
    EXPECT_FALSE(ReadOrlimbKey(dir.file("Orlimb.ini"), "history_dbf").found);
    EXPECT_FALSE(ReadOrlimbKey(dir.file("missing.ini"), "dbf_path").fileOpened);
}

class CompanionTest : public test::EngineTest {
  protected:
    std::string orlimb() const { return dir.path() + "/orl"; }
    void SetUp() override {
        EngineTest::SetUp();
        mkdir(orlimb().c_str(), 0755);
        mkdir((orlimb() + "/DATA").c_str(), 0755);
        test::writeFile(dir.file("aliases.ini"),
                        "[Control]\npath=" + tables() + "\n[Orlimb]\npath=" + orlimb() + "\n");
        start();
        scheduler->Timer1Timer();
    }
    void settings(const std::string& ini, const std::string& reg) {
        test::writeFile(orlimb() + "/Orlimb.ini", ini);
        test::writeFile(orlimb() + "/DATA/Orlimb.reg", reg);
    }
    std::string complete = "dbf_path=DATA\nhistory_dbf=h\nServiceData=s\nbanks_list_path=b\n";
};

TEST_F(CompanionTest, PeriodDatesFeedTheNAndKPlaceholders) {
    settings(complete, "1997120119971231\r\n");
    const auto id = addTask(
        "t", [](TDataCtrl& d) { d.Table1Application.setString("run %NDD%-%KDD%-%NCY% %TCY%"); });
    clock.set(2026, 12, 8, 9, 0, 1);
    scheduler->Timer2Timer();
    EXPECT_TRUE(scheduler->OrlimbActive);
    runNow(id);
    EXPECT_EQ(processes.launches.back().commandLine, "run 01-31-1997 2026");
}

TEST_F(CompanionTest, WithoutTheAliasNothingIsRead) {
    test::writeFile(dir.file("aliases.ini"), "[Control]\npath=" + tables() + "\n");
    EXPECT_FALSE(scheduler->LoadOrlimbSettings());
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(CompanionTest, MissingSettingsEndTheProgramWithTheirMessages) {
    const std::string reg = "1998010119980131";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"history_dbf=h\nServiceData=s\nbanks_list_path=b\n",
         "Не определена переменная dbf_path в Orlimb.ini!!!"},
        {"dbf_path=DATA\nServiceData=s\nbanks_list_path=b\n",
         "Не определена переменная history_dbf в Orlimb.ini!!!"},
        {"dbf_path=DATA\nhistory_dbf=h\nbanks_list_path=b\n",
         "Не определена переменная ServiceData в Orlimb.ini!!!"},
        {"dbf_path=DATA\nhistory_dbf=h\nServiceData=s\n",
         "Не определена переменная banks_list_path в Orlimb.ini!!!"},
    };
    for (const auto& [ini, message] : cases) {
        settings(ini, reg);
        EXPECT_THROW(scheduler->LoadOrlimbSettings(), FatalExit);
        EXPECT_EQ(port.messages.back(), message);
    }
    ::unlink((orlimb() + "/Orlimb.ini").c_str());
    EXPECT_THROW(scheduler->LoadOrlimbSettings(), FatalExit);
    EXPECT_THAT(std::vector<std::string>(port.messages.end() - 2, port.messages.end()),
                ::testing::ElementsAre("Невозможно открыть " + orlimb() + "/Orlimb.ini",
                                       "Не определена переменная dbf_path в Orlimb.ini!!!"));
    settings(complete, reg);
    ::unlink((orlimb() + "/DATA/Orlimb.reg").c_str());
    EXPECT_THROW(scheduler->LoadOrlimbSettings(), FatalExit);
    EXPECT_EQ(port.messages.back(), "Невозможно открыть файл " + orlimb() + "/DATA/Orlimb.reg");
}

TEST_F(CompanionTest, AnUnreadableDateEndsThePassBeforeAnyTaskAndTheNextPassTriesAgain) {
    settings(complete, "19980A01");
    const auto id = addTask("minutely");
    clock.set(2026, 12, 8, 9, 0, 1);
    EXPECT_THROW(scheduler->Timer2Timer(), OrlimbDateError);
    EXPECT_EQ(code(id), 0);
    EXPECT_TRUE(processes.launches.empty());
    settings(complete, "1998010119980131");
    clock.set(2026, 12, 8, 9, 1, 1);
    scheduler->Timer2Timer();
    EXPECT_EQ(processes.launches.size(), 1u);
}

} // namespace
} // namespace vektrin
