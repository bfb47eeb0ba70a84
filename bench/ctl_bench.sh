#!/bin/sh
# Times vektrinctl itself on a task table of 10,000 tasks (every kind, two silence periods):
# tasks --json, one next -n 5, and next -n 5 for 20 of the tasks one after another; then the
# import of hostile documents (one record of 100,000 keys, 50,000 levels of nesting) and of 10,000
# whole task records with and without conditions, all refused, so the figure is the reading and
# checking alone.
# Usage: bench/ctl_bench.sh BUILD_DIR   (a release build, see docs/performance.md)
set -eu
build=${1:?build directory}
ctl="$build/vektrinctl"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '[Control]\npath=%s\n' "$work" > "$work/aliases.ini"

python3 "$(dirname "$0")/task_table.py" "$work/tasks.json"
python3 - "$work/wide.json" "$work/deep.json" "$work/plain.json" "$work/conditions.json" <<'PY'
import json, sys
record = {"k%d" % i: "v" for i in range(100000)}
json.dump({"Format": "vektrin-tables", "Version": 1, "Tasks": [record]}, open(sys.argv[1], "w"))
open(sys.argv[2], "w").write("[" * 50000 + "]" * 50000)
# 10,000 whole task records, the last one refused (so nothing is written and each run is the
# same): without conditions, and with a launch and a termination condition each.
def tasks(start, end):
    t = [{"AppName": "task %d" % i, "Application": "run %d" % i, "AppDirectory": "/tmp",
          "Interval": 2, "StartTime": "08:00:00", "EndTime": "18:00:00", "RepeatInterval": 30,
          "Priority": 1, "RunType": 1, "Conflicts": 3, "StartCondition": start, "EndCondition": end}
         for i in range(10000)]
    t[-1]["Priority"] = 9
    return {"Format": "vektrin-tables", "Version": 1, "Tasks": t}
json.dump(tasks("", ""), open(sys.argv[3], "w"))
json.dump(tasks("GT(1-2)|EQ(3-3)&GE(5*2-1)", "GT(0.5)&LT(2)"), open(sys.argv[4], "w"))
PY

v() { "$ctl" --aliases "$work/aliases.ini" --at "2025-03-07 09:30:00" "$@"; }
v import "$work/tasks.json" 2>/dev/null

best() { # best of 5 wall-clock runs, in milliseconds
    min=
    for _ in 1 2 3 4 5; do
        s=$(date +%s%N); "$@" > /dev/null 2>&1 || :; e=$(date +%s%N)
        ms=$(( (e - s) / 1000000 ))
        if [ -z "$min" ] || [ "$ms" -lt "$min" ]; then min=$ms; fi
    done
    echo "$min ms"
}
hundred() { i=0; while [ $i -lt 20 ]; do v next "task $((i * 500 + 5))" -n 5; i=$((i + 1)); done; }

echo "tasks --json, 10,000 tasks:        $(best v tasks --json)"
echo "tasks, 10,000 tasks:               $(best v tasks)"
echo "next -n 5 of one task of 10,000:   $(best v next 'task 9995' -n 5)"
echo "20 x next -n 5 (separate runs):    $(best hundred)"
echo "export, 10,000 tasks:              $(best v export)"
echo "import, one record of 100,000 keys: $(best v import "$work/wide.json")"
echo "import, 50,000 levels of nesting:   $(best v import "$work/deep.json")"
echo "import checks, 10,000 whole tasks:  $(best v import "$work/plain.json")"
echo "  the same with two conditions each: $(best v import "$work/conditions.json")"
