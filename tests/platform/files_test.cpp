#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace vektrin {
namespace {

class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vkfiles.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        std::filesystem::create_directories(root + "/Data/Inner");
        std::filesystem::create_directories(root + "/Data/dir.dat");
        for (const char* name : {"Data/a.dat", "Data/.hidden.dat", "Data/B.Dat", "Data/c.txt",
                                 "Data/noext", "Data/[x].dat", "Data/Inner/deep.dat"})
            makeFile(name, 10);
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    void makeFile(const std::string& relative, off_t size) {
        const int fd = open((root + "/" + relative).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }
    std::vector<std::string> names(const std::string& pattern) const {
        std::vector<std::string> out;
        for (const FoundEntry& e : findFiles(pattern))
            out.push_back(e.directory ? e.name + "/" : e.name);
        return out;
    }

    std::string root;
};

TEST_F(FilesTest, PatternsMatchTheLastComponentWithoutRegardToCase) {
    using V = std::vector<std::string>;
    struct Case {
        std::string pattern; // after the root
        V expected;          // sorted by name; directories end in "/"
    };
    const Case cases[] = {
        {"/DATA/*.DAT", V{".hidden.dat", "B.Dat", "[x].dat", "a.dat", "dir.dat/"}},
        {"\\DATA\\?.DAT", V{"B.Dat", "a.dat"}},
        {"/data/[X].DAT", V{"[x].dat"}},
        {"/DATA/*.*",
         V{".hidden.dat", "B.Dat", "Inner/", "[x].dat", "a.dat", "c.txt", "dir.dat/", "noext"}},
        {"/DATA/NOEXT", V{"noext"}},
        {"/DATA/INNER/DEEP.DAT", V{"deep.dat"}},
        {"//DATA//INNER//*", V{"deep.dat"}},
        {"/DATA", V{"Data/"}},
        {"/DATA/", V{}},
        {"/DATA/NOEXT/*", V{}},
        {"/MISSING/*", V{}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(names(root + c.pattern), c.expected) << c.pattern;
}

TEST_F(FilesTest, UnusablePatternsFindNothing) {
    for (const std::string& p :
         {std::string(), std::string("D:") + root + "/DATA/*", std::string("c:\\DATA\\*"),
          root + std::string("/DATA/\0*", 8), root + "/DATA/", std::string("/")}) {
        EXPECT_TRUE(findFiles(p).empty()) << p;
        EXPECT_FALSE(searchKey(p)) << p;
    }
}

TEST_F(FilesTest, RelativePatternsStartInTheCurrentDirectory) {
    const std::string previous = std::filesystem::current_path();
    ASSERT_EQ(chdir(root.c_str()), 0);
    const auto found = names("DATA\\INNER\\*.DAT");
    const auto dotted = names("./DATA/../DATA/INNER/*");
    ASSERT_EQ(chdir(previous.c_str()), 0);
    EXPECT_EQ(found, std::vector<std::string>{"deep.dat"});
    EXPECT_EQ(dotted, std::vector<std::string>{"deep.dat"});
}

TEST_F(FilesTest, ExactNameWinsOverACaseVariant) {
    std::filesystem::create_directories(root + "/CASE/x");
    std::filesystem::create_directories(root + "/case/y");
    makeFile("case/y/f", 1);
    makeFile("CASE/x/g", 1);
    EXPECT_EQ(names(root + "/case/y/*"), std::vector<std::string>{"f"});
    EXPECT_EQ(names(root + "/CASE/X/*"), std::vector<std::string>{"g"});
    EXPECT_EQ(resolvePath(root + "/CaSe"), root + "/CASE"); // smallest name when none is exact
}

TEST_F(FilesTest, SizesAreSixtyFourBits) {
    constexpr off_t ThreeGiB = off_t{3} << 30;
    makeFile("Data/big.bin", ThreeGiB); // sparse: no disk space needed
    const auto found = findFiles(root + "/DATA/BIG.BIN");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].size, static_cast<std::uint64_t>(ThreeGiB));
}

TEST_F(FilesTest, DiskSpaceOfThePathsFileSystem) {
    struct statvfs vfs {};
    ASSERT_EQ(statvfs(root.c_str(), &vfs), 0);
    const DiskSpace space = diskSpace(root + "/DATA/A.DAT");
    EXPECT_EQ(space.totalBytes, static_cast<std::int64_t>(vfs.f_blocks * vfs.f_frsize));
    EXPECT_GE(space.freeBytes, 0);
    for (const std::string& p : {std::string("Q:\\"), root + "/NONE", std::string(), root + "/*"})
        EXPECT_EQ(diskSpace(p).freeBytes, -1) << p;
    EXPECT_EQ(diskSpace("/").totalBytes > 0, true);
}

TEST(DosTime, LocalTimeAtTwoSecondsWithinTheDosYears) {
    struct tm local {};
    local.tm_year = 1999 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 31;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 59;
    local.tm_isdst = -1;
    const time_t t = mktime(&local);
    EXPECT_DOUBLE_EQ(*dosLocalDateTime(t),
                     *tryEncodeDate(1999, 12, 31) + *tryEncodeTime(23, 59, 58));
    EXPECT_FALSE(dosLocalDateTime(0).has_value());                        // 1970
    EXPECT_FALSE(dosLocalDateTime(4354819200LL + 86400 * 2).has_value()); // 2108
}

} // namespace
} // namespace vektrin
