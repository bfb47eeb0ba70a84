#!/usr/bin/env bash
# From "dpkg -i" to the first task's "Executes" line on a fresh account, following the README:
# the package installed (into a throw-away root, as root), the user service's two commands as the
# unit runs them (vektrinctl init --if-missing, then vektrin --headless in the state directory),
# the README's first task added and run. Prints the time of each step and the whole.
# Usage: bench/first_hour.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
pid=
root=$work/root home=$work/home
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$home"
touch "$root/var/lib/dpkg/status"
now() { date +%s.%N; }
step() { printf '%-44s %6.3f s\n' "$1" "$(echo "$(now) - $2" | bc)"; }
user() { env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$home" LC_ALL=C.UTF-8 "$@"; }

begin=$(now)
t=$(now)
dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >/dev/null 2>&1
step "dpkg -i" "$t"
t=$(now)
user vektrinctl init --if-missing >/dev/null
step "ExecStartPre: vektrinctl init --if-missing" "$t"
t=$(now)
state=$home/.local/state/vektrin
mkdir -p "$state"
(cd "$state" && exec env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$home" LC_ALL=C.UTF-8 \
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work" vektrin --headless 2>"$work/stderr") &
pid=$!
until grep -qs "program started" "$state/Vektrin.log"; do sleep 0.01; done
step "ExecStart: vektrin --headless, started" "$t"
t=$(now)
user XDG_RUNTIME_DIR="$work" vektrinctl add hello --command "sh -c 'date >> $work/hello.txt'" >/dev/null
user XDG_RUNTIME_DIR="$work" vektrinctl run hello >/dev/null
until grep -qs "Executes <hello>" "$state/Vektrin.log"; do sleep 0.01; done
step "vektrinctl add hello; vektrinctl run hello" "$t"
step "dpkg -i to the first Executes" "$begin"
echo "stderr of the scheduler: $(wc -c <"$work/stderr") bytes"
