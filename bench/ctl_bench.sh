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

python3 - "$work/tasks.json" <<'PY'
import json, random, sys
random = random.Random(7)  # the same tables on every run
tasks = []
for i in range(10000):
    kind = i % 6
    t = {"AppName": "task %d" % i, "Interval": kind, "RepeatInterval": random.choice([0, 15, 30, 45])}
    if kind == 1:
        a, b = sorted(random.sample(range(60), 2))
        t.update(StartTime="00:%02d:00" % a, EndTime="00:%02d:00" % b)
    elif kind >= 2:
        a = random.randrange(0, 20)
        t.update(StartTime="%02d:00:00" % a, EndTime="%02d:00:00" % (a + random.randrange(0, 4)))
    if kind in (3, 4):
        t.update(StartDate="0001-01-%02d" % random.randrange(1, 29), EndDate="0001-01-%02d" % random.randrange(1, 32))
    if kind == 5:
        m = random.randrange(1, 13)
        t.update(StartDate="2025-%02d-01" % m, EndDate="2025-%02d-20" % m)
    tasks.append(t)
doc = {"Format": "vektrin-tables", "Version": 1, "Tasks": tasks,
       "SilencePeriods": [{"Interval": 2, "StartTime": "12:00:00", "EndTime": "13:00:00"},
                          {"Interval": 5, "StartDate": "2025-12-24", "StartTime": "00:00:00",
                           "EndDate": "2025-12-26", "EndTime": "23:59:00"}]}
json.dump(doc, open(sys.argv[1], "w"))
PY
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
