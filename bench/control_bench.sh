#!/bin/sh
# Times the control socket: `vektrinctl status` and `vektrinctl run TASK` against a headless
# vektrin on 10,000 tasks (median and 99th percentile of the whole command, and of the socket's
# own round trip without the process start-up), checks that the "Executes" line is in the
# protocol by the time the answer is there, answers 200 clients at once, and reads the scheduler's
# idle CPU with the socket open.
# Usage: bench/control_bench.sh BUILD_DIR [IDLE_SECONDS]   (see docs/performance.md)
set -eu
build=$(cd "${1:?build directory}" && pwd)
idle=${2:-120}
work=$(mktemp -d)
vektrin_pid=
cleanup() {
    [ -z "$vektrin_pid" ] || kill "$vektrin_pid" 2>/dev/null || :
    [ -z "$vektrin_pid" ] || wait "$vektrin_pid" 2>/dev/null || :
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/tables" "$work/run" "$work/log"
chmod 700 "$work/run"
printf '[Control]\npath=%s\n' "$work/tables" > "$work/aliases.ini"
export VEKTRIN_ALIASES="$work/aliases.ini" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

# 10,000 tasks that the passes never launch (their year is gone), and the one that is run.
python3 - "$work/tasks.json" <<'PY'
import json, sys
tasks = [{"AppName": "task %d" % i, "Application": "true", "Interval": 5,
          "StartDate": "2001-01-01", "StartTime": "00:00:00", "EndDate": "2001-01-01",
          "EndTime": "23:59:00", "RepeatInterval": 0} for i in range(9999)]
tasks.append(dict(tasks[0], AppName="target"))
json.dump({"Format": "vektrin-tables", "Version": 1, "Tasks": tasks}, open(sys.argv[1], "w"))
PY
"$build/vektrinctl" import "$work/tasks.json" > /dev/null

(cd "$work/log" && exec "$build/vektrin" 2> "$work/vektrin.err") &
vektrin_pid=$!
i=0
until "$build/vektrinctl" status > /dev/null 2>&1; do
    i=$((i + 1)); [ $i -lt 400 ] || { echo "vektrin did not start:" >&2; cat "$work/vektrin.err" >&2; "$build/vektrinctl" status >&2 || :; exit 1; }
    sleep 0.05
done

python3 - "$build/vektrinctl" "$work/log/Vektrin.log" "$work/run/vektrin" "$vektrin_pid" "$idle" <<'PY'
import glob, json, os, socket, statistics, subprocess, sys, time
ctl, log, rundir, pid, idle = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
sock = glob.glob(rundir + "/*.sock")[0]
N = 200

def pct(values):
    values = sorted(values)
    return "median %.1f ms, p99 %.1f ms" % (statistics.median(values) * 1000,
                                             values[min(len(values) - 1, int(len(values) * 0.99))] * 1000)

def ask(request):
    s = socket.socket(socket.AF_UNIX)
    s.connect(sock)
    s.sendall(json.dumps(request).encode() + b"\n")
    s.shutdown(socket.SHUT_WR)
    answer = b""
    while not answer.endswith(b"\n"):
        chunk = s.recv(65536)
        if not chunk:
            break
        answer += chunk
    s.close()
    return json.loads(answer)

def timed(f):
    t = time.perf_counter(); r = f(); return time.perf_counter() - t, r

status_cmd, status_sock, run_cmd, run_sock, misses = [], [], [], [], 0
for _ in range(N):
    status_cmd.append(timed(lambda: subprocess.run([ctl, "status"], stdout=subprocess.DEVNULL, check=True))[0])
    status_sock.append(timed(lambda: ask({"command": "status"}))[0])
for k in range(N):
    before = os.path.getsize(log)
    if k % 2:
        dt, r = timed(lambda: subprocess.run([ctl, "run", "target"], stdout=subprocess.DEVNULL))
        run_cmd.append(dt)
    else:
        dt, r = timed(lambda: ask({"command": "run", "task": "target"}))
        run_sock.append(dt)
    # The answer comes after the line: it must be there now, not at the next second.
    with open(log, "rb") as f:
        f.seek(before)
        if b"Executes <target>." not in f.read():
            misses += 1
    ask({"command": "interrupt", "task": "target"})  # the slot is free for the next run

print("status, vektrinctl (process included):  " + pct(status_cmd))
print("status, socket round trip:              " + pct(status_sock))
print("run target, vektrinctl:                 " + pct(run_cmd))
print("run target, socket round trip:          " + pct(run_sock))
print("runs whose Executes line was not yet written when the answer came: %d of %d" % (misses, N))

# 200 clients at once, behind 40 that connect and say nothing: those beyond the 32 served at a
# time wait in the listen queue, and every one is answered.
import threading
silent = []
for _ in range(40):
    s = socket.socket(socket.AF_UNIX)
    s.connect(sock)
    silent.append(s)
answers = [None] * 200
def client(i):
    try:
        answers[i] = ask({"command": "status"})
    except Exception:
        pass
threads = [threading.Thread(target=client, args=(i,)) for i in range(200)]
t = time.perf_counter()
for th in threads:
    th.start()
for s in silent:
    s.close()
for th in threads:
    th.join()
print("200 status requests at once behind 40 silent clients: %d answered, the last after %.0f ms"
      % (sum(1 for a in answers if a and a.get("ok")), (time.perf_counter() - t) * 1000))

def ticks():
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime

time.sleep(5)
t0, c0 = time.monotonic(), ticks()
time.sleep(idle)
t1, c1 = time.monotonic(), ticks()
hz = os.sysconf("SC_CLK_TCK")
print("idle with the socket open, 10,000 tasks: %d clock ticks in %.0f s = %.3f %% of a core"
      % (c1 - c0, t1 - t0, 100.0 * (c1 - c0) / hz / (t1 - t0)))
PY
