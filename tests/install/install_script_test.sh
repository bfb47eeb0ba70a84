#!/usr/bin/env bash
# scripts/install from a built tree (--build-dir) into a home directory's ~/.local, as a user
# would: install, install again over it, remove; the user's own files and other programs' files
# in the prefix stay byte for byte. A prefix without write access is refused before anything
# is written.
# Usage: install_script_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build=$2
script=$source_dir/scripts/install

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

home=$work/home
prefix=$home/.local
run() { # args... : scripts/install as the user of $home
  env -u XDG_DATA_HOME HOME="$home" PATH="$prefix/bin:$PATH" "$script" "$@" >"$work/out" 2>&1
}

# The user's own files, and another program's file in the same prefix.
mkdir -p "$home/.config/vektrin" "$home/.local/state/vektrin" "$home/tables" \
  "$home/.config/autostart" "$prefix/share/applications"
printf '[Control]\npath=%s\n' "$home/tables" >"$home/.config/vektrin/aliases.ini"
printf '[Software\\Borland\\Locales]\n/usr/bin/vektrin=RUS\n' >"$home/.config/vektrin/settings.ini"
printf 'not really a table\n' >"$home/tables/Vektrin.db"
printf '01.12.2026 10:00:00 The Vektrin program started ...\r\n' >"$home/.local/state/vektrin/Vektrin.log"
printf '[Desktop Entry]\nHidden=true\n' >"$home/.config/autostart/vektrin.desktop"
printf '[Desktop Entry]\nName=Other\n' >"$prefix/share/applications/other.desktop"
keep() { (cd "$home" && find .config tables .local/state "$prefix/share/applications/other.desktop" -type f -print0 |
  sort -z | xargs -0 md5sum); }
keep >"$work/kept.before"

for round in first again; do
  if ! run --build-dir "$build" --prefix "$prefix"; then
    fail "install ($round): $(cat "$work/out")"
    continue
  fi
  manifest=$prefix/share/vektrin/installed-files.txt
  [ -f "$manifest" ] || { fail "install ($round): no $manifest"; continue; }
  while IFS= read -r f; do
    case $f in */) [ -d "$f" ] || fail "install ($round): directory listed but missing: $f" ;;
      *) [ -f "$f" ] || fail "install ($round): listed but missing: $f" ;; esac
    case $f in "$prefix"/*) ;; *) fail "install ($round): listed outside the prefix: $f" ;; esac
  done <"$manifest"
  for f in bin/vektrinctl share/man/man1/vektrinctl.1.gz share/doc/vektrin/copyright share/man/; do
    grep -qx "$prefix/$f" "$manifest" || fail "install ($round): $f is not listed"
  done
  if [ -e "$prefix/bin/vektrin" ]; then
    # The user manager reads units from ~/.local/share/systemd/user, not from ~/.local/lib.
    [ -f "$prefix/share/systemd/user/vektrin.service" ] ||
      fail "install ($round): no unit in ~/.local/share/systemd/user"
  fi
  keep | diff "$work/kept.before" - >/dev/null || fail "install ($round) changed the user's files"
done

if run --uninstall --prefix "$prefix"; then
  left=$(cd "$prefix" && find . -type f ! -path ./share/applications/other.desktop ! -path "./state/*")
  [ -z "$left" ] || fail "uninstall left: $left"
  [ ! -e "$prefix/share/vektrin" ] || fail "uninstall left share/vektrin"
  # The directories it made go with it; those that were there before stay.
  for d in bin share/man share/doc libexec; do
    [ ! -e "$prefix/$d" ] || fail "uninstall left the empty $d it made"
  done
  [ -d "$prefix/share/applications" ] || fail "uninstall removed share/applications"
  keep | diff "$work/kept.before" - >/dev/null || fail "uninstall changed the user's files"
else
  fail "uninstall: $(cat "$work/out")"
fi
run --uninstall --prefix "$prefix"
rc=$?
[ $rc = 1 ] && grep -q 'nothing to remove' "$work/out" ||
  fail "a second uninstall exited $rc: $(cat "$work/out")"

# ------------------------------------------------------------------ no write access
# Root may write anywhere: the refusal is seen as an unprivileged user, in a directory of root's.
chmod 755 "$work"
mkdir -m 755 "$work/system"
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  if ! command -v setpriv >/dev/null || ! "${as_user[@]}" test -x "$script"; then
    echo "SKIP: no write-access check (setpriv missing, or $script not reachable for nobody)"
    as_user=()
  fi
else
  chmod 555 "$work/system"
  as_user=(env)
fi
if ((${#as_user[@]})); then
  "${as_user[@]}" env HOME="$work/system" "$script" --build-dir "$build" --prefix "$work/system/usr" \
    >"$work/out" 2>&1
  rc=$?
  [ $rc = 1 ] || fail "install without write access exited $rc"
  grep -q "no write access to $work/system" "$work/out" ||
    fail "install without write access did not say so: $(cat "$work/out")"
  [ -z "$(ls -A "$work/system")" ] || fail "install without write access wrote: $(ls -A "$work/system")"
  chmod 755 "$work/system"
fi

if ((failures)); then
  echo "install_script: $failures check(s) failed"
  exit 1
fi
echo "install_script: all checks passed"
