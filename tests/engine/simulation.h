#pragma once
// The real scheduler played over simulated days on the fake clock and fake processes, on real
// table files, with random tasks, operator actions and faults, all drawn from one seed. After
// every step it checks that each due launch happened or was explained, that no moment was launched
// twice, that no operator's change was lost, that no two running tasks share a resource and that
// catch-up made up each missed moment at most once. A seed replays exactly. On a database the
// other workstations' schedulers play beside it, and the server is restarted or cut away now and
// then.

#include <cstdint>
#include <string>

namespace vektrin::test {

struct SimulationStats {
    long passes = 0;
    long dueMoments = 0; // task and minute pairs a pass found due
    long launches = 0;
    long madeUp = 0;
    long slotWaits = 0;
    long restarts = 0;
    long tablesHeldSaid = 0; // episodes of held tables the protocol told
    long faults = 0;         // sleeps, clock steps, held tables, missing programs, bursts
    long elsewhere = 0;      // on a database: due moments another workstation took or held
};

struct SimulationResult {
    std::string failure; // empty when every invariant held; else "seed=N step=S ...: what"
    SimulationStats stats;
};

// stations > 1: the tables in a new database of the tests' server, and the other workstations'
// schedulers beside this one (each moment once, every workstation's resources apart).
SimulationResult simulate(std::uint64_t seed, int days, int tasks, int stations = 1);

} // namespace vektrin::test
