#!/bin/sh
# CPU time of vektrinctl tasks and tasks --json of two builds on one table of 10,000 tasks (the one
# bench/ctl_bench.sh times, with the weekly days in the first week so that both read every row
# alike), the two builds alternating, ten runs each.
# Usage: bench/ctl_compare.sh OLD_BUILD_DIR NEW_BUILD_DIR
set -eu
base=${1:?old build directory} new=${2:?new build directory}
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
printf '[Control]\npath=%s\n' "$work" > "$work/aliases.ini"
python3 "$(dirname "$0")/task_table.py" "$work/tasks.json" --weekdays-in-first-week
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
