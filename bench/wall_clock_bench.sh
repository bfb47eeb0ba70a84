#!/bin/sh
# The scheduling timer on the wall clock, measured on the headless scheduler:
#  - delay: from second 1 of each minute to the start of an every-minute task (the pass's wake-up
#    plus the launch), over MINUTES minutes;
#  - resume: the process is stopped (SIGSTOP) before a minute boundary and continued (SIGCONT)
#    half a second into the minute after the next, as a machine that slept across two boundaries
#    would be; the time from the continue to the task's start;
#  - idle: the CPU time the scheduler uses with no task at all over IDLE seconds, in percent of
#    one core.
# Usage: bench/wall_clock_bench.sh BUILD_DIR [MINUTES] [IDLE]   (see docs/performance.md)
set -eu
build=$(cd "${1:?build directory}" && pwd)
minutes=${2:-3}
idle=${3:-180}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tables" "$work/idle" "$work/run" "$work/config"
chmod 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
    LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
printf '[Control]\npath=%s\n' "$work/tables" > "$work/aliases.ini"
printf '[Control]\npath=%s\n' "$work/idle" > "$work/idle.ini"
VEKTRIN_ALIASES="$work/aliases.ini" "$build/vektrinctl" add pulse --every-minute \
    --command "sh -c 'date +%s.%N >> $work/starts'" > /dev/null

python3 - "$build/vektrin" "$work" "$minutes" "$idle" <<'PY'
import os, signal, statistics, subprocess, sys, time
vektrin, work, minutes, idle = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
starts = os.path.join(work, "starts")

def launches():
    try:
        return [float(l) for l in open(starts)]
    except FileNotFoundError:
        return []

def until(moment):
    time.sleep(max(0, moment - time.time()))

def start(aliases, directory):
    env = dict(os.environ, VEKTRIN_ALIASES=os.path.join(work, aliases))
    return subprocess.Popen([vektrin, "--headless"], cwd=directory, env=env,
                            stderr=subprocess.DEVNULL)

p = start("aliases.ini", os.path.join(work, "tables"))
minute = lambda t: t - t % 60
# Started; Timer1 starts the scheduling timer at the next second 1, the first pass a minute later.
first = minute(time.time()) + 120
until(first + minutes * 60 + 30)
delays = [(t - minute(t) - 1) * 1000 for t in launches()[:minutes]]
print("delay after second 1: median %.1f ms, max %.1f ms over %d passes"
      % (statistics.median(delays), max(delays), len(delays)))

now = time.time()
stop = minute(now) + 55 if now % 60 < 50 else minute(now) + 115
until(stop)
before = len(launches())
p.send_signal(signal.SIGSTOP)
until(minute(stop) + 120.5)
cont = time.time()
p.send_signal(signal.SIGCONT)
until(cont + 5)
after = launches()[before:]
print("stopped at second %.1f, continued %.1f s later: the task started %.1f ms after the "
      "continue" % (stop % 60, cont - stop, (after[0] - cont) * 1000 if after else float("nan")))
p.terminate()
p.wait()

q = start("idle.ini", os.path.join(work, "idle"))
time.sleep(5)
ticks = os.sysconf("SC_CLK_TCK")
cpu = lambda: sum(int(x) for x in open("/proc/%d/stat" % q.pid).read().rsplit(")", 1)[1].split()[11:13])
c0, t0 = cpu(), time.time()
time.sleep(idle)
c1, t1 = cpu(), time.time()
print("idle: %.3f %% of a core over %d s (%d ticks of 1/%d s)"
      % (100.0 * (c1 - c0) / ticks / (t1 - t0), t1 - t0, c1 - c0, ticks))
q.terminate()
q.wait()
PY
