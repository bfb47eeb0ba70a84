#!/usr/bin/env bash
# Real programs: TASKS every-minute tasks of `true` under the real headless scheduler for MINUTES
# whole minutes; prints how many launches each minute had and how many distinct tasks ran in it.
#   bench/many_due_tasks.sh [BUILD_DIR] [TASKS] [MINUTES]
set -euo pipefail
build=$(realpath "${1:-build/release}")
tasks=${2:-2000}
minutes=${3:-3}
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/tables" "$work/run" "$work/state"
printf '[Control]\npath=%s\n' "$work/tables" >"$work/aliases.ini"
export VEKTRIN_ALIASES="$work/aliases.ini" XDG_RUNTIME_DIR="$work/run" XDG_STATE_HOME="$work/state"
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen LC_ALL=C TZ=UTC
python3 -c 'import json, sys
n = int(sys.argv[1])
tasks = [{"AppName": "t%d" % i, "Application": "true", "Interval": 0} for i in range(1, n + 1)]
print(json.dumps({"Format": "vektrin-tables", "Version": 1, "Tasks": tasks}))' "$tasks" \
  >"$work/tasks.json"
"$build/vektrinctl" import "$work/tasks.json" >/dev/null
cd "$work"
"$build/vektrin" --headless 2>"$work/vektrin.err" &
pid=$!
sleep $((60 * (minutes + 1) - $(date +%S)))
kill -TERM "$pid" 2>/dev/null || cat "$work/vektrin.err" >&2
wait "$pid" || true
# Whole minutes only: the first one after the start and the last one may be cut.
grep -a 'Executes <' Vektrin.log | awk '{print substr($2, 1, 5), $4}' | sort | uniq |
  awk '{n[$1]++} END {for (m in n) print m, n[m]}' | sort | sed '1d;$d' |
  awk '{print "minute " $1 ": " $2 " distinct tasks launched"}'
echo "launch lines: $(grep -ac 'Executes <' Vektrin.log), waits: $(grep -ac 'it waits for one' Vektrin.log), given up: $(grep -ac 'No slot came free' Vektrin.log)"
