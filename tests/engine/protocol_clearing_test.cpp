#include "engine/protocol_file.h"
#include "support/engine_fixture.h"
#include "support/file_size_limit.h"

#include "platform/regional_locales.h"

#include <atomic>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vektrin {
namespace {

using test::EngineTest;
using test::readFile;
using test::writeFile;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

DateTime day(int y, int m, int d) {
    return *tryEncodeDate(y, m, d);
}

// ------------------------------------------------------------------ the date of a line

struct DateCase {
    const char* format;
    const char* line;
    DateTime expected;
};

TEST(ProtocolDateReader, ReadsTheLeadingTokenInTheFormatThatWroteIt) {
    const DateCase cases[] = {
        // Ten-character dates are read whole, not cut after eight characters.
        {"dd.mm.yyyy", "07.12.2026 10:00:30 The Vektrin program started ...", day(2026, 12, 7)},
        {"dd.mm.yyyy", "07.12.2026", day(2026, 12, 7)},
        {"dd.mm.yyyy", "07.12.2026\r", day(2026, 12, 7)},
        {"dd.mm.yyyy", "07.12.20 10:00:30 short year", 0},
        {"dd.mm.yyyy", "07.12.20261 10:00:30", 0},
        {"dd.mm.yyyy", "7.12.2026 10:00:30 one-digit day", 0},
        {"dd.mm.yyyy", "31.11.2026 10:00:30 no such day", 0},
        {"dd.mm.yyyy", "29.02.2028 00:00:00 leap day", day(2028, 2, 29)},
        {"dd.mm.yyyy", "Task <a> continues on a second line", 0},
        {"dd.mm.yyyy", "", 0},
        {"dd.mm.yyyy", "07-12-2026 10:00:30 other separator", 0},
        // The C locale's eight characters, month first, two-digit years around the pivot.
        {"mm/dd/yy", "12/07/26 10:00:30 AM x", day(2026, 12, 7)},
        {"mm/dd/yy", "01/02/80 00:00:00", day(1980, 1, 2)},
        {"mm/dd/yy", "01/02/75 00:00:00", day(2075, 1, 2)},
        {"mm/dd/yy", "07.12.2026 10:00:30", 0},
        // Unpadded day and month vary the length.
        {"d.m.yyyy", "7.1.2026 10:00:30", day(2026, 1, 7)},
        {"d.m.yyyy", "17.11.2026 10:00:30", day(2026, 11, 17)},
        {"yyyy-mm-dd", "2026-12-07 10:00:30", day(2026, 12, 7)},
    };
    for (const auto& c : cases) {
        const ProtocolDateReader read(c.format, 2026);
        EXPECT_EQ(read(c.line), c.expected) << c.format << " | " << c.line;
    }
}

TEST(ProtocolLineDates, TheCurrentFormatFirstThenTheFirstOtherThatReadsTheToken) {
    // As on a machine with the C locale, one with day-first two-digit years, en_US and de_DE.
    const std::vector<std::string> others{"mm/dd/yy", "dd/mm/yy", "mm/dd/yyyy", "dd.mm.yyyy"};
    struct Case {
        const char* current;
        const char* line;
        std::optional<DateTime> expected;
    };
    const Case cases[] = {
        {"dd.mm.yyyy", "07.12.2026 10:00:30 current", day(2026, 12, 7)},
        {"dd.mm.yyyy", "12/25/26 10:00:30 only month-first reads it", day(2026, 12, 25)},
        {"dd.mm.yyyy", "25/12/26 10:00:30 only day-first reads it", day(2026, 12, 25)},
        {"dd.mm.yyyy", "12/07/26 10:00:30 both read it: the earlier in the list", day(2026, 12, 7)},
        {"dd.mm.yyyy", "12/07/2026 10:00:30 AM four-digit year", day(2026, 12, 7)},
        {"dd/mm/yy", "12/07/26 10:00:30 both read it: the current format", day(2026, 7, 12)},
        {"mm/dd/yy", "07.12.2026 10:00:30", day(2026, 12, 7)},
        {"mm/dd/yy", "01/02/80 00:00:00 pivot", day(1980, 1, 2)},
        // No format reads these.
        {"dd.mm.yyyy", "Task <a> continues on a second line", std::nullopt},
        {"dd.mm.yyyy", "", std::nullopt},
        {"dd.mm.yyyy", "07.12.2026x", std::nullopt},
        {"dd.mm.yyyy", "31.11.2026 10:00:30 no such day", std::nullopt},
        {"dd.mm.yyyy", "13/45/26 10:00:30 no such day either way", std::nullopt},
        {"dd.mm.yyyy", "10:00:30 a time alone", std::nullopt},
        {"dd.mm.yyyy", "2026-12-07 10:00:30 a format not on the machine", std::nullopt},
    };
    for (const auto& c : cases) {
        const ProtocolLineDates dates(c.current, 2026, others);
        EXPECT_EQ(dates.read(c.line), c.expected) << c.current << " | " << c.line;
    }
}

// ------------------------------------------------------------------ clearing

class ProtocolClearingTest : public EngineTest {
  protected:
    std::string log() const { return dir.file("Vektrin.log"); }
    std::string tmp() const { return dir.file("Vektrin.tmp"); }

    std::string line(DateTime date, const std::string& text) const {
        return regional.formatProtocolStamp(date + 10.5 / 24) + text + "\r\n";
    }

    // A scheduler whose protocol is open on the given content, as it is after start-up.
    void openOn(const std::string& content) {
        writeFile(log(), content);
        make();
        ASSERT_TRUE(scheduler->protocolFile().open());
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        const std::string all = readFile(log());
        for (size_t pos = 0; pos < all.size();) {
            size_t end = all.find("\r\n", pos);
            if (end == std::string::npos) end = all.size();
            const std::string l = all.substr(pos, end - pos);
            const auto mark = l.find('#');
            out.push_back(mark == std::string::npos ? l : l.substr(mark));
            pos = end + 2;
        }
        return out;
    }

    // The protocol is open for appending at its path: a new line lands in the file.
    void expectAppendable() {
        ASSERT_TRUE(scheduler->protocolFile().isOpen());
        scheduler->WriteProtocol("#appended");
        EXPECT_EQ(texts().back(), "#appended");
        // and it is the locked one: a second scheduler could not take it
        ProtocolLog other(log());
        EXPECT_FALSE(other.open());
    }
};

struct ClearCase {
    const char* name;
    int days;
    DateTime reference;
    std::vector<std::string> kept;
};

TEST_F(ProtocolClearingTest, KeepsExactlyTheLinesWhoseDatePlusDaysIsAfterTheReference) {
    const std::string content =
        line(day(2026, 11, 26), "#a 11-26") + line(day(2026, 11, 27), "#b 11-27") +
        "#c dateless continuation\r\n" + line(day(2026, 11, 29), "#d 11-29") +
        line(day(2026, 12, 1), "#e 12-01") + line(day(2026, 12, 6), "#f 12-06") +
        line(day(2026, 12, 7), "#g 12-07");
    const std::vector<std::string> all{"#a 11-26", "#b 11-27", "#c dateless continuation",
                                       "#d 11-29", "#e 12-01", "#f 12-06",
                                       "#g 12-07"};
    // clang-format off
    const ClearCase cases[] = {
        {"ten days keep ten calendar days including the reference", 10, day(2026, 12, 6),
         {"#b 11-27", "#c dateless continuation", "#d 11-29", "#e 12-01", "#f 12-06", "#g 12-07"}},
        {"the newest line, not today, as reference", 3, day(2026, 12, 1),
         {"#c dateless continuation", "#d 11-29", "#e 12-01", "#f 12-06", "#g 12-07"}},
        {"one day keeps the reference day and later", 1, day(2026, 12, 6),
         {"#c dateless continuation", "#f 12-06", "#g 12-07"}},
        {"zero days with the newest date keep only the dateless", 0, day(2026, 12, 7),
         {"#c dateless continuation"}},
        {"a dateless line is kept: nothing says it is old", 30, day(2026, 12, 7), all},
        {"without any dated line a day keeps everything", 1, 0, all},
        {"without any dated line zero days still keep the dateless", 0, 0, all},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openOn(content);
        scheduler->ProtocolClearing(c.days, c.reference);
        EXPECT_THAT(texts(), ElementsAreArray(c.kept));
        EXPECT_THAT(port.messages, IsEmpty());
        EXPECT_NE(access(tmp().c_str(), F_OK), 0);
        expectAppendable();
        scheduler.reset();
    }
}

TEST_F(ProtocolClearingTest, KeptLinesStayByteForByteInTheirOrder) {
    const std::string content = line(day(2026, 12, 6), "#x  trailing blank ") +
                                line(day(2026, 12, 5), "#older but later in the file") +
                                line(day(2026, 12, 7), "#Очень сложное выражение.");
    openOn(content);
    scheduler->ProtocolClearing(10, day(2026, 12, 7));
    EXPECT_EQ(readFile(log()), content);
}

TEST_F(ProtocolClearingTest, EmptyLogStaysEmpty) {
    for (int days : {0, 1, 10}) {
        openOn("");
        scheduler->ProtocolClearing(days, 0);
        EXPECT_EQ(readFile(log()), "");
        scheduler.reset();
    }
}

TEST_F(ProtocolClearingTest, UnfinishedLastLineGetsItsLineEnd) {
    openOn(line(day(2026, 12, 7), "#first") + regional.formatProtocolStamp(day(2026, 12, 7)) +
           "#cut short");
    scheduler->ProtocolClearing(10, day(2026, 12, 7));
    scheduler->WriteProtocol("#next");
    EXPECT_THAT(texts(), ElementsAre("#first", "#cut short", "#next"));
}

TEST_F(ProtocolClearingTest, LongLinesAcrossReadChunksAreKeptWhole) {
    const std::string longText = "#" + std::string(200000, 'x');
    openOn(line(day(2026, 1, 1), "#old " + std::string(70000, 'o')) +
           line(day(2026, 12, 7), longText) + line(day(2026, 12, 7), "#short"));
    scheduler->ProtocolClearing(10, day(2026, 12, 7));
    EXPECT_THAT(texts(), ElementsAre(longText, "#short"));
}

TEST_F(ProtocolClearingTest, StaleTmpFileIsRemovedFirst) {
    writeFile(tmp(), "stale lines of an earlier failure\r\n");
    openOn(line(day(2026, 12, 7), "#today"));
    scheduler->ProtocolClearing(10, day(2026, 12, 7));
    EXPECT_THAT(texts(), ElementsAre("#today"));
    EXPECT_NE(access(tmp().c_str(), F_OK), 0);
    EXPECT_THAT(port.messages, IsEmpty());
}

TEST_F(ProtocolClearingTest, EightAndTenCharacterDateFormats) {
    struct FormatCase {
        const char* format;
        char separator;
    };
    for (const FormatCase& f : {FormatCase{"mm/dd/yy", '/'}, FormatCase{"dd.mm.yyyy", '.'},
                                FormatCase{"d.m.yyyy", '.'}}) {
        SCOPED_TRACE(f.format);
        regional.shortDateFormat = f.format;
        regional.dateSeparator = f.separator;
        openOn(line(day(2026, 11, 20), "#old") + line(day(2026, 11, 27), "#kept") +
               line(day(2026, 12, 7), "#today"));
        scheduler->ProtocolClearing(10, day(2026, 12, 6));
        EXPECT_THAT(texts(), ElementsAre("#kept", "#today"));
        scheduler.reset();
    }
}

// The formats the real locales write, and the scheduler's own reading of them: every locale's
// line of a kept day stays, every old one goes, whatever the locale clearing runs under.
TEST_F(ProtocolClearingTest, LinesWrittenUnderEveryLocaleAreReadInTheirOwnFormat) {
    const char* const locales[] = {"C", "en_US.UTF-8", "de_DE.UTF-8", "ru_RU.UTF-8"};
    for (const char* name : locales) {
        const locale_t loc = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(0));
        if (loc == static_cast<locale_t>(0)) GTEST_SKIP() << name << " is not installed";
        freelocale(loc);
    }
    // Dated 11-26 goes, 11-27 stays (10 days back from 12-06); 12-05 and 12-06 are also read
    // wrongly, and dropped, when a month-first date is taken for day-first or the other way.
    const struct {
        int month, day;
        bool kept;
    } dates[] = {{11, 26, false}, {11, 27, true}, {12, 5, true}, {12, 6, true}, {11, 1, false}};
    std::string content = "#no date: a continuation\r\n";
    std::vector<std::string> kept{"#no date: a continuation"};
    for (const auto& d : dates) {
        for (const char* writer : locales) {
            const std::string text = "#" + std::string(writer) + " " + std::to_string(d.month) +
                                     "-" + std::to_string(d.day);
            content += RegionalSettings::fromLocale(writer).formatProtocolStamp(
                           day(2026, d.month, d.day) + 10.5 / 24) +
                       text + "\r\n";
            if (d.kept) kept.push_back(text);
        }
        content += "13/45/26 10:30:00 #unreadable " + std::to_string(d.day) + "\r\n";
        kept.push_back("#unreadable " + std::to_string(d.day));
    }
    for (const char* current : locales) {
        SCOPED_TRACE(current);
        regional = RegionalSettings::fromLocale(current);
        openOn(content);
        scheduler->ProtocolClearing(10, day(2026, 12, 6));
        EXPECT_THAT(texts(), ElementsAreArray(kept));
        EXPECT_THAT(port.messages, IsEmpty());
        expectAppendable();
        scheduler.reset();
    }
}

TEST_F(ProtocolClearingTest, StartUpKeepsTheLastTenCalendarDaysIncludingToday) {
    std::string content;
    for (int back = 30; back >= 0; --back)
        content += line(day(2026, 12, 7) - back,
                        std::string("#").append(std::to_string(back)) + " days ago");
    writeFile(log(), content);
    start();
    const auto lines = texts();
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines.front(), "#9 days ago");
    EXPECT_EQ(lines[9], "#0 days ago");
    EXPECT_TRUE(protocolHas("The Vektrin program started ..."));
}

// ------------------------------------------------------------------ the lock is never given up

// A second scheduler starting at any moment of a clearing: it must never get the log, and the
// first one must lose no line and keep appending to the file at the log's path.
TEST_F(ProtocolClearingTest, NoSecondOpenerGetsTheLogWhileItIsCleared) {
    openOn("");
    // Tries to take the log in a tight loop until it goes out of scope.
    struct Racer {
        std::string path;
        std::atomic<bool> stop{false};
        std::atomic<long> tries{0}, taken{0};
        std::thread thread{[this] { run(); }};
        ~Racer() {
            stop = true;
            thread.join();
        }
        void run() {
            while (!stop) {
                ++tries;
                // As a second scheduler opens its log.
                ProtocolLog second(path);
                if (second.open()) ++taken;
                second.close();
                // A bare lock on whatever file the name leads to at this moment.
                const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0) continue;
                struct stat held {};
                struct stat named {};
                if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 &&
                    stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino)
                    ++taken;
                ::close(fd);
            }
        }
    } racer{log()};
    while (racer.tries == 0)
        std::this_thread::yield();

    std::vector<std::string> expected;
    constexpr int Rounds = 400;
    for (int round = 0; round < Rounds && racer.taken == 0; ++round) {
        // One day per round; two days are kept, so each clearing drops the lines of one round.
        clock.value = day(2026, 1, 1) + round + 0.5;
        const std::string mark = "#" + std::to_string(round);
        scheduler->WriteProtocol(mark + " before");
        expected.push_back(mark + " before");
        scheduler->ProtocolClearing(2, day(2026, 1, 1) + round);
        if (expected.size() > 4) expected.erase(expected.begin(), expected.begin() + 2);
        scheduler->WriteProtocol(mark + " after");
        expected.push_back(mark + " after");
        ASSERT_THAT(texts(), ElementsAreArray(expected)) << "round " << round;
    }
    EXPECT_EQ(racer.taken, 0) << "of " << racer.tries << " tries";
    EXPECT_THAT(port.messages, IsEmpty());
    expectAppendable();
}

TEST_F(ProtocolClearingTest, ClearingLeavesALogHeldByAnotherSchedulerAlone) {
    const std::string content = line(day(2026, 11, 1), "#old") + line(day(2026, 12, 7), "#new");
    writeFile(log(), content);
    ProtocolLog other(log());
    ASSERT_TRUE(other.open());
    make();
    scheduler->ProtocolClearing(10, day(2026, 12, 7));
    EXPECT_EQ(readFile(log()), content);
    ASSERT_EQ(port.kinds.size(), 1u);
    EXPECT_EQ(port.kinds.back(), MessageKind::Error);
    EXPECT_THAT(port.messages.back(), ::testing::HasSubstr("keeps all its lines"));
    EXPECT_FALSE(scheduler->protocolFile().isOpen());
}

// ------------------------------------------------------------------ failures lose nothing

class ClearingFailureTest : public ProtocolClearingTest,
                            public ::testing::WithParamInterface<RewriteStep> {
  protected:
    void TearDown() override { setRewriteStepHook({}); }
};

TEST_P(ClearingFailureTest, FailureAfterEachStepLosesNoLineAndKeepsTheLogOpen) {
    const std::string content = line(day(2026, 11, 1), "#old") + line(day(2026, 12, 7), "#new");
    openOn(content);
    const RewriteStep failing = GetParam();
    setRewriteStepHook([failing](RewriteStep step) {
        if (step == failing) throw std::runtime_error("injected failure");
    });
    scheduler->ProtocolClearing(10, day(2026, 12, 7));
    setRewriteStepHook({});

    ASSERT_EQ(port.kinds.size(), 1u);
    EXPECT_EQ(port.kinds.back(), MessageKind::Error);
    EXPECT_THAT(port.messages.back(), ::testing::HasSubstr("injected failure"));
    if (failing == RewriteStep::Renamed) {
        // The rewritten file is in place: only the line meant to go is gone.
        EXPECT_THAT(texts(), ElementsAre("#new"));
    } else {
        EXPECT_EQ(readFile(log()), content);
        EXPECT_THAT(port.messages.back(), ::testing::HasSubstr("keeps all its lines"));
    }
    EXPECT_NE(access(tmp().c_str(), F_OK), 0);
    expectAppendable();
    // A later clearing still works.
    scheduler->ProtocolClearing(10, day(2026, 12, 7));
    EXPECT_THAT(texts(), ElementsAre("#new", "#appended"));
}

INSTANTIATE_TEST_SUITE_P(Steps, ClearingFailureTest,
                         ::testing::Values(RewriteStep::StaleTmpRemoved, RewriteStep::LogOpened,
                                           RewriteStep::TmpCreated, RewriteStep::LinesCopied,
                                           RewriteStep::TmpSynced, RewriteStep::Renamed));

TEST_F(ProtocolClearingTest, TmpPathThatIsADirectoryFailsWithTheLogIntact) {
    const std::string content = line(day(2026, 11, 1), "#old") + line(day(2026, 12, 7), "#new");
    openOn(content);
    ASSERT_EQ(mkdir(tmp().c_str(), 0755), 0);
    writeFile(tmp() + "/inside", "x");
    scheduler->ProtocolClearing(10, day(2026, 12, 7));
    EXPECT_EQ(readFile(log()), content);
    EXPECT_EQ(readFile(tmp() + "/inside"), "x");
    ASSERT_EQ(port.kinds.size(), 1u);
    EXPECT_EQ(port.kinds.back(), MessageKind::Error);
    expectAppendable();
}

TEST_F(ProtocolClearingTest, WriteFailureWhileCopyingLeavesTheLogIntact) {
    std::string content;
    for (int i = 0; i < 200; ++i)
        content += line(day(2026, 12, 7), "#line " + std::to_string(i));
    openOn(content);
    {
        // The copy fails part-way, as on a full disk.
        test::FileSizeLimit full(1000);
        scheduler->ProtocolClearing(10, day(2026, 12, 7));
    }

    EXPECT_EQ(readFile(log()), content);
    EXPECT_NE(access(tmp().c_str(), F_OK), 0);
    ASSERT_EQ(port.kinds.size(), 1u);
    EXPECT_EQ(port.kinds.back(), MessageKind::Error);
    expectAppendable();
}

TEST_F(ProtocolClearingTest, ReadOnlyDirectoryFailsWithTheLogIntact) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    const std::string content = line(day(2026, 11, 1), "#old") + line(day(2026, 12, 7), "#new");
    openOn(content);
    chmod(dir.path().c_str(), 0555);
    scheduler->ProtocolClearing(10, day(2026, 12, 7));
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(readFile(log()), content);
    ASSERT_EQ(port.kinds.size(), 1u);
    expectAppendable();
}

} // namespace
} // namespace vektrin
