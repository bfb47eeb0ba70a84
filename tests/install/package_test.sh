#!/usr/bin/env bash
# The Debian package made by CPack from the build tree: its name and version, Depends worked out
# from the shared libraries, no maintainer scripts, exactly the files "cmake --install" puts under
# /usr; and, as root, dpkg installs it, installs it again over itself and removes it in a
# throw-away root, leaving the administrator's and the users' files alone.
# Usage: package_test.sh BUILD_DIR WITH_UI VERSION
set -uo pipefail
build=$1
with_ui=$2
version=$3

for tool in cpack dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing (scripts/deps)"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$work/out/vektrin_${version}_$arch.deb
[ -f "$deb" ] || { ls "$work/out"; echo "FAIL: no $deb"; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vektrin ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), expected $version"
depends=$(field Depends)
wanted=(libc6 libstdc++6 libsqlite3-0 libxcb1)
[ "$with_ui" = ON ] && wanted+=(libqt6core6 libqt6widgets6 libqt6printsupport6)
for lib in "${wanted[@]}"; do
  tr -d ' ' <<<"$depends" | tr ',' '\n' | sed 's/(.*//' | grep -qxF "$lib" || fail "Depends lacks $lib: $depends"
done
# The test libraries never reach the programs.
grep -Eq 'gtest|gmock|benchmark' <<<"$depends" && fail "Depends names test libraries: $depends"

# What Debian asks of a package: no error and no warning of lintian.
if command -v lintian >/dev/null; then
  out=$(lintian --allow-root "$deb" 2>&1)
  [ -z "$out" ] || fail "lintian: $out"
else
  echo "SKIP: lintian missing (scripts/deps)"
fi

control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||;/^$/d' | sort | tr '\n' ' ')
[ "$control" = "control md5sums " ] || fail "control archive holds more than control and md5sums: $control"

# The package's files are exactly what an install under /usr gives.
DESTDIR=$work/dest cmake --install "$build" --prefix /usr >/dev/null || fail "cmake --install"
(cd "$work/dest" && find . ! -type d | sort) >"$work/installed"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/packaged"
diff -u "$work/installed" "$work/packaged" || fail "package files differ from cmake --install (- installed, + packaged)"
dpkg-deb -c "$deb" | awk '{print $2}' | grep -qv '^root/root$' && fail "files not owned by root in the package"

# ------------------------------------------------------------------ dpkg in a throw-away root
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: dpkg --root needs root"
else
  r=$work/root
  mkdir -p "$r/var/lib/dpkg/info" "$r/var/lib/dpkg/updates" "$r/var/lib/dpkg/triggers" \
    "$r/etc/xdg/vektrin" "$r/home/op/.config/vektrin" "$r/home/op/.local/state/vektrin"
  touch "$r/var/lib/dpkg/status"
  printf '[Control]\npath=/srv/vektrin\n' >"$r/etc/xdg/vektrin/aliases.ini"
  printf '[Control]\npath=/home/op/tables\n' >"$r/home/op/.config/vektrin/aliases.ini"
  printf 'protocol line\r\n' >"$r/home/op/.local/state/vektrin/Vektrin.log"
  keep() { (cd "$r" && find etc home -type f -print0 | sort -z | xargs -0 md5sum); }
  keep >"$work/kept"
  dpkg_root() { dpkg --root="$r" --force-depends --force-script-chrootless "$@" >>"$work/dpkg.log" 2>&1; }
  dpkg_root -i "$deb" || fail "dpkg -i: $(cat "$work/dpkg.log")"
  [ -x "$r/usr/bin/vektrinctl" ] || fail "dpkg -i did not install vektrinctl"
  dpkg_root -i "$deb" || fail "dpkg -i over the installed package: $(cat "$work/dpkg.log")"
  keep | diff "$work/kept" - >/dev/null || fail "installing changed the administrator's or users' files"
  dpkg_root -r vektrin || fail "dpkg -r: $(cat "$work/dpkg.log")"
  left=$(cd "$r" && find usr -mindepth 1 2>/dev/null)
  [ -z "$left" ] || fail "dpkg -r left: $left"
  keep | diff "$work/kept" - >/dev/null || fail "removing changed the administrator's or users' files"
fi

if ((failures)); then
  echo "package: $failures check(s) failed"
  exit 1
fi
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes, Installed-Size $(field Installed-Size) KiB"
echo "package: all checks passed"
