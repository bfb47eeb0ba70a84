// The main of every GoogleTest executable: runs the tests and fails any test that leaves the
// process environment changed, since the tests after it in the same process would then run in
// another world than their own (set variables through ScopedEnv).

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <string>

extern char** environ;

namespace {

using Variables = std::map<std::string, std::string>;

Variables currentEnvironment() {
    Variables v;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const auto eq = entry.find('=');
        if (eq != std::string::npos) v[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    return v;
}

class EnvironmentKeeper : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { before_ = currentEnvironment(); }

    void OnTestEnd(const ::testing::TestInfo&) override {
        const Variables after = currentEnvironment();
        if (after == before_) return;
        std::string changes;
        for (const auto& [name, value] : before_) {
            const auto now = after.find(name);
            if (now == after.end())
                changes += "\n  " + name + " was \"" + value + "\", is unset";
            else if (now->second != value)
                changes += "\n  " + name + " was \"" + value + "\", is \"" + now->second + "\"";
        }
        for (const auto& [name, value] : after)
            if (!before_.count(name)) changes += "\n  " + name + " was unset, is \"" + value + "\"";
        ADD_FAILURE() << "the test left the environment changed:" << changes;
        // Put it back, so that one leak fails one test, not every test after it.
        for (const auto& [name, value] : after)
            if (!before_.count(name)) unsetenv(name.c_str());
        for (const auto& [name, value] : before_)
            setenv(name.c_str(), value.c_str(), 1);
        tzset();
    }

    Variables before_;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new EnvironmentKeeper);
    return RUN_ALL_TESTS();
}
