#!/bin/sh
# The headless scheduler's footprint: its start-up time (from the spawn to the first answer of
# its control socket, median of STARTS starts) and, with 20 tasks, its resident set (VmRSS and
# PSS) once the first scheduling pass (one to two minutes after the start) has launched a task
# and seen it end; also the Qt libraries the process maps and what it wrote on standard error.
# With --desktop the same for the desktop, on the display of the environment (under xvfb-run);
# with --start-up-only the start-up time alone.
# Usage: bench/headless_bench.sh BUILD_DIR [STARTS] [--desktop] [--start-up-only]
# (see docs/performance.md)
set -eu
build=$(cd "${1:?build directory}" && pwd)
starts=${2:-10}
desktop=no
only=no
for option in "${3:-}" "${4:-}"; do
    case $option in --desktop) desktop=yes ;; --start-up-only) only=yes ;; esac
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tables" "$work/run" "$work/log" "$work/config"
chmod 700 "$work/run"
printf '[Control]\npath=%s\n' "$work/tables" > "$work/aliases.ini"
export VEKTRIN_ALIASES="$work/aliases.ini" XDG_RUNTIME_DIR="$work/run" \
    XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" LC_ALL=C.UTF-8
unset QT_QPA_PLATFORM
[ $desktop = yes ] || unset DISPLAY WAYLAND_DISPLAY

# 19 daily tasks outside their window and one every-minute task that the first pass launches.
python3 - "$work/tasks.json" <<'PY'
import json, sys
tasks = [{"AppName": "task %d" % i, "Application": "true", "Interval": 2,
          "StartTime": "03:00:00", "EndTime": "03:00:00", "RepeatInterval": 0}
         for i in range(19)]
tasks.append({"AppName": "pulse", "Application": "true", "Interval": 0, "RepeatInterval": 0})
json.dump({"Format": "vektrin-tables", "Version": 1, "Tasks": tasks}, open(sys.argv[1], "w"))
PY
"$build/vektrinctl" import "$work/tasks.json" > /dev/null

python3 - "$build/vektrin" "$work" "$starts" "$only" <<'PY'
import glob, json, os, signal, socket, statistics, subprocess, sys, time
program, work, starts, only = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4] == "yes"
log = work + "/log/Vektrin.log"

def answers(sock):
    try:
        s = socket.socket(socket.AF_UNIX)
        s.connect(sock)
        s.sendall(b'{"command": "status"}\n')
        ok = json.loads(s.makefile().readline()).get("ok")
        s.close()
        return ok
    except (OSError, ValueError):
        return False

def start():
    for f in glob.glob(work + "/run/vektrin/*"):
        os.unlink(f)
    t = time.perf_counter()
    p = subprocess.Popen([program], cwd=work + "/log", stderr=open(work + "/err", "w"))
    while True:
        socks = glob.glob(work + "/run/vektrin/*.sock")
        if socks and answers(socks[0]):
            return p, time.perf_counter() - t
        if p.poll() is not None or time.perf_counter() - t > 10:
            stop(p)
            sys.exit("vektrin did not answer: " + open(work + "/err").read())
        time.sleep(0.002)

def stop(p):
    if p.poll() is None:
        p.send_signal(signal.SIGTERM)
    p.wait()

times = []
for _ in range(starts):
    p, dt = start()
    times.append(dt)
    stop(p)
times.sort()
print("start-up to the first socket answer, 20 tasks: median %.1f ms (min %.1f, max %.1f, %d starts)"
      % (statistics.median(times) * 1000, times[0] * 1000, times[-1] * 1000, starts))

def measure(p):
    before = os.path.getsize(log) if os.path.exists(log) else 0
    deadline = time.time() + 150
    while b"Task <pulse> is completed." not in open(log, "rb").read()[before:]:
        if time.time() > deadline:
            sys.exit("no pass in 150 s: " + open(work + "/err").read())
        time.sleep(0.1)
    time.sleep(1)
    status = dict(l.split(":", 1) for l in open("/proc/%d/status" % p.pid))
    pss = [l for l in open("/proc/%d/smaps_rollup" % p.pid) if l.startswith("Pss:")][0].split()[1]
    maps = open("/proc/%d/maps" % p.pid).read()
    qt = sorted({os.path.basename(l.split()[-1]).split(".so")[0] for l in maps.splitlines()
                 if "libQt6" in l})
    print("after the first scheduling pass: VmRSS %.1f MB, PSS %.1f MB"
          % (int(status["VmRSS"].split()[0]) / 1024, int(pss) / 1024))
    print("Qt libraries mapped: " + (", ".join(qt) or "none"))
    stderr = open(work + "/err").read().strip()
    print("standard error: " + (repr(stderr) if stderr else "nothing"))

if only:
    sys.exit(0)
p, _ = start()
try:
    measure(p)
finally:
    stop(p)
PY
