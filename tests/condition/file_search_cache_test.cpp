#include "condition/evaluator.h"
#include "condition/file_search_cache.h"
#include "condition_test_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vektrin {
namespace {

class FileSearchCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(root() + "/Data");
        std::filesystem::create_directories(root() + "/DATA");
        test::writeFile(root() + "/Data/a.dat", "1");
        test::writeFile(root() + "/DATA/b.dat", "22");
    }
    std::string root() const { return dir.path(); }

    std::vector<std::string> names(std::string_view pattern) {
        std::vector<std::string> out;
        const FileListing listing = cache.find(pattern);
        for (const FoundEntry& e : *listing)
            out.push_back(e.name);
        return out;
    }

    test::TempDir dir;
    FileSearchCache cache;
};

TEST_F(FileSearchCacheTest, OneReadingPerSearchWhileAScopeIsOpen) {
    using V = std::vector<std::string>;
    struct Step {
        std::string pattern; // after the root
        V found;
        std::size_t readings; // after the step
    };
    const Step steps[] = {
        {"/Data/*.DAT", V{"a.dat"}, 1},
        {"\\Data\\*.DAT", V{"a.dat"}, 1},
        {"//Data//\\*.DAT", V{"a.dat"}, 1},
        // Case is part of the search: these directories differ in case only.
        {"/DATA/*.DAT", V{"b.dat"}, 2},
        {"/Data/*.dat", V{"a.dat"}, 3},
        {"/Missing/*", V{}, 4},
        {"/Data/", V{}, 5}, // finds nothing without reading: never kept
    };
    {
        const FileSearchCache::Scope pass(cache);
        for (const Step& s : steps) {
            EXPECT_EQ(names(root() + s.pattern), s.found) << s.pattern;
            EXPECT_EQ(cache.readings(), s.readings) << s.pattern;
        }
        // What the disk holds now changes nothing until the scope ends, a missing directory
        // included.
        test::writeFile(root() + "/Data/c.dat", "333");
        std::filesystem::create_directories(root() + "/Missing");
        test::writeFile(root() + "/Missing/m", "");
        {
            const FileSearchCache::Scope nested(cache);
            EXPECT_EQ(names(root() + "/Data/*.DAT"), V{"a.dat"});
        }
        EXPECT_EQ(names(root() + "\\Data\\*.DAT"), V{"a.dat"});
        EXPECT_EQ(names(root() + "/Missing/*"), V{});
        EXPECT_EQ(cache.readings(), 5u);
    }
    EXPECT_FALSE(cache.open());
    // Without a scope every search reads the disk.
    EXPECT_EQ(names(root() + "/Data/*.DAT"), (V{"a.dat", "c.dat"}));
    EXPECT_EQ(names(root() + "/Data/*.DAT"), (V{"a.dat", "c.dat"}));
    EXPECT_EQ(names(root() + "/Missing/*"), V{"m"});
    EXPECT_EQ(cache.readings(), 8u);
}

TEST_F(FileSearchCacheTest, TheScopeEndsWithAnError) {
    try {
        const FileSearchCache::Scope pass(cache);
        EXPECT_TRUE(names(root() + "/Data/*").size() == 1);
        throw std::runtime_error("the pass failed");
    } catch (const std::runtime_error&) {
    }
    test::writeFile(root() + "/Data/c.dat", "333");
    const FileSearchCache::Scope next(cache);
    EXPECT_EQ(names(root() + "/Data/*").size(), 2u);
}

// vektrinctl eval and the task editor's check evaluate in surroundings that keep nothing.
TEST_F(FileSearchCacheTest, EvaluationsOutsideThePassReadTheDiskEachTime) {
    test::RecordingEnvironment env;
    ConditionEvaluator evaluator(env);
    const std::string text = "FC('" + root() + "/DATA/*')+FSB('" + root() + "/DATA/*')";
    EXPECT_EQ(evaluator.EvaluateCondition(text), 1 + 2);
    test::writeFile(root() + "/DATA/c.dat", "333");
    EXPECT_EQ(evaluator.EvaluateCondition(text), 2 + 5);
}

} // namespace
} // namespace vektrin
