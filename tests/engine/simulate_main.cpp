// vektrin_simulate SEED DAYS [TASKS [WORKSTATIONS]]: the scheduler simulation over a long stretch
// (with several workstations on a database of a private server); exits 1 with the failure (which
// names its seed) when an invariant breaks.

#include "simulation.h"

#include <cstdio>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: %s SEED DAYS [TASKS [WORKSTATIONS]]\n", argv[0]);
        return 2;
    }
    const std::uint64_t seed = std::stoull(argv[1]);
    const int days = std::stoi(argv[2]);
    const int tasks = argc > 3 ? std::stoi(argv[3]) : 100;
    const int stations = argc > 4 ? std::stoi(argv[4]) : 1;
    const std::clock_t began = std::clock();
    const vektrin::test::SimulationResult r = vektrin::test::simulate(seed, days, tasks, stations);
    const double cpu = static_cast<double>(std::clock() - began) / CLOCKS_PER_SEC;
    const auto& s = r.stats;
    std::printf("seed=%llu days=%d tasks=%d: %ld passes, %ld due moments, %ld launches, %ld made "
                "up, %ld slot waits, %ld restarts, %ld held tables said, %ld other faults, %ld "
                "moments another workstation's\n"
                "%.2f s CPU, %.2f simulated days per CPU second\n",
                static_cast<unsigned long long>(seed), days, tasks, s.passes, s.dueMoments,
                s.launches, s.madeUp, s.slotWaits, s.restarts, s.tablesHeldSaid, s.faults,
                s.elsewhere, cpu, cpu > 0 ? days / cpu : 0.0);
    if (r.failure.empty()) return 0;
    std::fprintf(stderr, "%s\n", r.failure.c_str());
    return 1;
}
