#!/bin/sh
# CPU time of vektrinctl tasks and tasks --json of two builds on one table of 10,000 tasks (as
# bench/ctl_bench.sh makes it, the weekly days 1 to 7 so that both read every row alike), the two
# builds alternating, ten runs each. Usage: bench/ctl_compare.sh OLD_BUILD_DIR NEW_BUILD_DIR
set -eu
base=${1:?old build directory} new=${2:?new build directory}
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
printf '[Control]\npath=%s\n' "$work" > "$work/aliases.ini"
python3 - "$work/tasks.json" <<'PY'
import json, random, sys
random = random.Random(7)
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
    if kind == 3:
        t.update(StartDate="0001-01-%02d" % random.randrange(1, 8))
    if kind == 4:
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
"$base/vektrinctl" --aliases "$work/aliases.ini" import "$work/tasks.json" 2>/dev/null
cpu() { # user+sys CPU seconds of one run
    /usr/bin/time -f '%U %S' "$@" >/dev/null 2>"$work/t" || :; awk '{printf "%.2f", $1 + $2}' "$work/t"
}
for round in 1 2 3 4 5 6 7 8 9 10; do
    for b in base new; do
        eval d=\$$b
        printf '%s tasks %s  tasks --json %s\n' $b \
            "$(cpu "$d/vektrinctl" --aliases "$work/aliases.ini" --at "2025-03-07 09:30:00" tasks)" \
            "$(cpu "$d/vektrinctl" --aliases "$work/aliases.ini" --at "2025-03-07 09:30:00" tasks --json)"
    done
done
