#!/usr/bin/env bash
# The keeper as systemd and the package see it: `systemd-analyze verify` has nothing to say about
# an instance of qureld@.service, systemd-sysusers would make the user and group qurel, and
# qureld needs no window library (nor the relay, which its qurel-relay processes run).
#   units.sh UNIT SYSUSERS QURELD     the files of the source tree and the built program
#   units.sh --deb PACKAGE            the same files from the package (skipped without one)
set -uo pipefail
command -v systemd-analyze >/dev/null || { echo "no systemd-analyze (Debian package systemd)"; exit 77; }
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

if [ "$1" = --deb ]; then
  deb="${QUREL_DEB:-$2}"
  [ -f "$deb" ] || { echo "no package at $deb (scripts/package builds it)"; exit 77; }
  dpkg-deb -x "$deb" "$scratch/package"
  unit="$scratch/package/usr/lib/systemd/system/qureld@.service"
  sysusers="$scratch/package/usr/lib/sysusers.d/qurel.conf"
  qureld="$scratch/package/usr/bin/qureld"
  for file in "$unit" "$sysusers" "$qureld" "$scratch/package/usr/share/man/man1/qureld.1.gz"; do
    [ -e "$file" ] || { echo "FAIL: the package has no ${file#"$scratch/package"}"; exit 1; }
  done
else
  unit="$1"; sysusers="$2"; qureld="$3"
fi

failures=0
verdict() { # name, what is wrong (nothing: it passes)
  if [ -z "$2" ]; then
    echo "pass: $1"
  else
    printf 'FAIL: %s\n%s\n' "$1" "$2"
    failures=$((failures + 1))
  fi
}

# A root with the system's own units (for the targets the unit names), the unit, its program
# and one room's settings.
root="$scratch/root"
mkdir -p "$root/usr/lib/systemd" "$root/usr/bin" "$root/etc/qurel" "$root/usr/lib/sysusers.d"
cp -a /usr/lib/systemd/system "$root/usr/lib/systemd/"
cp "$unit" "$root/usr/lib/systemd/system/qureld@.service"
# A copy: systemd reads the program inside the root, where a link out of it leads nowhere.
cp "$(readlink -f "$qureld")" "$root/usr/bin/qureld"
touch "$root/etc/qurel/room101.ini"
# verify warns (unknown keys, bad values) with exit status 0: anything it says is a failure.
verdict "systemd-analyze verify qureld@room101.service" \
  "$(systemd-analyze --root="$root" --man=no verify qureld@room101.service 2>&1 || echo "exit status $?")"

cp /etc/passwd /etc/group "$root/etc/"
cp "$sysusers" "$root/usr/lib/sysusers.d/qurel.conf"
sysusers="$(systemd-sysusers --root="$root" --dry-run qurel.conf 2>&1)"
made="$(grep -c "Creating \(user\|group\) 'qurel'" <<<"$sysusers")"
[ "$made" -eq 2 ] || getent passwd qurel >/dev/null && sysusers=""
verdict "systemd-sysusers makes the user and group qurel" "$sysusers"

verdict "qureld needs no window library" \
  "$(readelf -d "$(readlink -f "$qureld")" | grep -E 'NEEDED.*libQt6(Gui|Widgets|OpenGL)')"
# The relay and FFmpeg behind it run in a qurel-relay process per lesson, so the keeper stays small.
verdict "qureld links neither the relay nor FFmpeg" \
  "$(readelf -d "$(readlink -f "$qureld")" | grep -E 'NEEDED.*lib(zelmicro|av[a-z]+|sw[a-z]+)\.')"
relay="$(dirname "$(readlink -f "$qureld")")/qurel-relay"
if [ -x "$relay" ]; then
  needed="$(readelf -d "$relay")"
  verdict "qurel-relay beside qureld links the relay and no Qt" \
    "$(grep -E 'NEEDED.*libQt6' <<<"$needed"; grep -q 'NEEDED.*libzelmicro' <<<"$needed" || echo "no libzelmicro")"
else
  verdict "qurel-relay beside qureld links the relay and no Qt" "there is no $relay"
fi

exit $((failures > 0))
