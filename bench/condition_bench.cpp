// Evaluations per second of typical conditions, each writing its trace line to a real protocol
// file as the scheduler does: one write(2) of stamp, message and CR LF per line.

#include "condition/condition_errors.h"
#include "condition/evaluator.h"
#include "engine/command_string.h"
#include "platform/clock.h"

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace vektrin;

// A scratch directory with 1,000 small files and the protocol file, removed at exit.
class Scratch {
  public:
    Scratch() {
        char tmpl[] = "/tmp/vkbench.XXXXXX";
        if (!mkdtemp(tmpl)) std::abort();
        root_ = tmpl;
        std::filesystem::create_directories(root_ + "/in");
        for (int i = 0; i < 1000; ++i) {
            const std::string name = root_ + "/in/f" + std::to_string(i) + ".dat";
            const int fd = open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd < 0 || ftruncate(fd, 100) != 0) std::abort();
            close(fd);
        }
    }
    ~Scratch() { std::filesystem::remove_all(root_); }

    std::string protocolPath() const { return root_ + "/Vektrin.log"; }
    // As an operator writes it; the evaluation upper-cases it anyway.
    std::string filesPattern() const {
        std::string s = root_ + "/in/*.DAT";
        for (char& c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }

  private:
    std::string root_;
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

// An empty path drops the trace line, to show what the protocol write costs.
class ProtocolFileEnvironment final : public ConditionEnvironment {
  public:
    explicit ProtocolFileEnvironment(const std::string& path)
        : fd_(path.empty() ? -1
                           : open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {
        if (!path.empty() && fd_ < 0) std::abort();
    }
    ~ProtocolFileEnvironment() override {
        if (fd_ >= 0) close(fd_);
    }

    std::string unpackCommandString(std::string_view text) override {
        const DateTime now = clock_.now();
        return UnpackCommandString(text, datePart(now), datePart(now), now);
    }
    void writeProtocol(std::string_view message) override {
        if (fd_ < 0) return;
        std::string line = settings_.formatProtocolStamp(clock_.now());
        line.append(message);
        line.append("\r\n");
        if (write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::abort();
    }
    void showTooComplex() override {}
    const RegionalSettings& regional() const override { return settings_; }

  private:
    int fd_;
    SystemClock clock_;
    RegionalSettings settings_;
};

void evaluate(benchmark::State& state, const std::string& condition, bool trace = true) {
    ProtocolFileEnvironment env(trace ? scratch().protocolPath() : std::string());
    ConditionEvaluator evaluator(env);
    for (auto _ : state)
        benchmark::DoNotOptimize(evaluator.EvaluateCondition(condition));
    if (evaluator.ConditionError()) state.SkipWithError("the condition is malformed");
    state.SetItemsProcessed(state.iterations());
}

void BM_Arithmetic(benchmark::State& state) {
    evaluate(state, "GT(1-2)|EQ(3-3)");
}
void BM_ArithmeticWithoutTrace(benchmark::State& state) {
    evaluate(state, "GT(1-2)|EQ(3-3)", false);
}
void BM_DiskFree(benchmark::State& state) {
    evaluate(state, "GE(DFREE('/')-100)");
}
void BM_ThousandFiles(benchmark::State& state) {
    const std::string p = scratch().filesPattern();
    evaluate(state, "FE('" + p + "')&LT(FSK('" + p + "')-500)");
}

BENCHMARK(BM_Arithmetic);
BENCHMARK(BM_ArithmeticWithoutTrace);
BENCHMARK(BM_DiskFree);
BENCHMARK(BM_ThousandFiles)->Unit(benchmark::kMillisecond);

} // namespace
