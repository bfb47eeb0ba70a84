#!/usr/bin/env bash
# The first run's demo (scripts/demo, used by scripts/run) in fresh home directories: the alias
# and the two demo tasks appear only where no alias Control is defined and the tables are new,
# in the aliases file that vektrin reads; nothing else is changed.
# Usage: first_run_test.sh SOURCE_DIR VEKTRINCTL
set -uo pipefail
demo_script=$1/scripts/demo
ctl=$(realpath "$2")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# case | setup before the run | aliases file read afterwards | tasks expected in it
cases=(
  "fresh home||.config/vektrin/aliases.ini|2"
  "aliases file of \$VEKTRIN_ALIASES without Control|printf '[Orlimb]\npath=/srv/o\n' >own.ini|own.ini|2"
  "demo tables left from before, emptied by the user|mkdir -p .config/vektrin/demo && printf '[Control]\npath=%s\n' \"\$PWD/.config/vektrin/demo\" >old.ini && printf '{\"Format\": \"vektrin-tables\"}' >empty.json && \"\$ctl\" --aliases old.ini import empty.json|.config/vektrin/aliases.ini|0"
  "Control already defined by the user|mkdir -p .config/vektrin tables && printf '[Control]\npath=%s\n' \"\$PWD/tables\" >.config/vektrin/aliases.ini|.config/vektrin/aliases.ini|0"
  "Control defined in \$XDG_CONFIG_DIRS|mkdir -p xdg2/vektrin tables && printf '[Control]\npath=%s\n' \"\$PWD/tables\" >xdg2/vektrin/aliases.ini|xdg2/vektrin/aliases.ini|0"
)
n=0
for c in "${cases[@]}"; do
  IFS='|' read -r name setup file tasks <<<"$c"
  n=$((n + 1))
  home=$work/home$n
  mkdir -p "$home"
  (cd "$home" && eval "$setup")
  envs=(HOME="$home" XDG_CONFIG_DIRS="$home/xdg1:$home/xdg2")
  [ "$file" = own.ini ] && envs+=(VEKTRIN_ALIASES="$home/own.ini")
  before=$(cd "$home" && find . -type f ! -path ./.config/vektrin/aliases.ini ! -path ./own.ini -print0 |
    sort -z | xargs -0 -r md5sum)

  for round in 1 2; do
    out=$(cd "$home" && env -u XDG_CONFIG_HOME -u VEKTRIN_ALIASES "${envs[@]}" \
      "$demo_script" "$ctl" "$home/state" 2>&1)
    rc=$?
    [ $rc = 0 ] || fail "$name (run $round): exit $rc: $out"
    if [ "$round" = 2 ]; then
      [ -z "$out" ] || fail "$name: the second run said: $out"
    elif [ "$tasks" = 2 ]; then
      grep -q "^The protocol: $home/state/Vektrin.log; the demo output: $home/.config/vektrin/demo/every-minute.txt" \
        <<<"$out" || fail "$name: did not say where to look: $out"
    fi
  done

  # Nothing but the aliases file and the demo directory is touched.
  after=$(cd "$home" && find . -type f ! -path ./.config/vektrin/aliases.ini ! -path ./own.ini \
    ! -path './.config/vektrin/demo/*' -print0 | sort -z | xargs -0 -r md5sum)
  [ "$(grep -v '/demo/' <<<"$before")" = "$after" ] || fail "$name: other files changed"

  listed=$("$ctl" --aliases "$home/$file" tasks 2>&1)
  count=$(grep -vc -e '^$' -e $'^AppID\tAppName\t' <<<"$listed")
  [ "$count" = "$tasks" ] || fail "$name: $count tasks, expected $tasks: $listed"
  if [ "$tasks" = 2 ]; then
    # Each a shell command that writes into the demo directory; the first due every minute.
    grep -q $'\tDemo: the date every minute\tEvery minute\.' <<<"$listed" || fail "$name: no minute task: $listed"
    grep -q $'\tEvery day, beginning from 12:00:00' <<<"$listed" || fail "$name: no daily task: $listed"
    due=$("$ctl" --aliases "$home/$file" --at "2026-12-08 10:15:00" due)
    grep -q $'^1\tDemo: the date every minute\tdue$' <<<"$due" || fail "$name: the minute task is not due: $due"
    grep -c '\[Control\]' "$home/$file" | grep -qx 1 || fail "$name: Control defined more than once"
  fi
  [ "$file" = own.ini ] && { grep -q '^\[Orlimb\]' "$home/own.ini" || fail "$name: lost the [Orlimb] section"; }
done

if ((failures)); then
  echo "first_run: $failures check(s) failed"
  exit 1
fi
echo "first_run: all checks passed"
