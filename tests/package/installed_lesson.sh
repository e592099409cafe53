#!/usr/bin/env bash
# The package as an installation: unpacked into a scratch root, its program folder read-only,
# the client started through the unpacked /usr/bin/qurel by an ordinary user (qurel-test when
# run as root) for one short lesson on the simulated recorder. The recording, its .axt and .jpg
# land in the user's default recordings folder, the user's copy of temp.ppt in the per-user
# data folder, qurelctl writes and removes the user's autostart entry, and nothing under the
# unpacked package changes.
#   installed_lesson.sh PACKAGE RECORDER_SIM ADDRESS
set -euo pipefail
deb="${QUREL_DEB:-$1}"; sim="$2"; address="$3"
[ -f "$deb" ] || { echo "no package at $deb (scripts/package builds it)"; exit 77; }

scratch="$(mktemp -d /tmp/qurel-package.XXXXXX)"
pids=()
cleanup() {
  # The client runs as another user below runuser, which does not pass the signal on.
  local client
  client="$(cat "$scratch/home/client.pid" 2>/dev/null || true)"
  [ -n "$client" ] && pids+=("$client")
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  # The keeper the client started outlives it (SIGTERM finishes its files).
  pids+=($(pgrep -f "^$program/qureld" || true))
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  wait 2>/dev/null || true
  chmod -R u+w "$scratch" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for log in "$scratch"/*.log; do echo "--- $log"; cat "$log"; done; exit 1; }

root="$scratch/root"
home="$scratch/home"
program="$root/usr/lib/qurel"
dpkg-deb -x "$deb" "$root"
chmod 755 "$scratch"
# As installed: nobody but root may write there (and root is not who runs the client below).
chmod -R a-w "$root"
snapshot() { (cd "$root" && find . -printf '%p %y %s %m %T@ %l\n' | sort && find . -type f -exec sha256sum {} + | sort); }
snapshot >"$scratch/before.txt"

mkdir -p "$home/.config" "$home/runtime"
chmod 700 "$home/runtime"
as=()
if [ "$(id -u)" -eq 0 ]; then
  user=qurel-test
  id -u "$user" >/dev/null 2>&1 || fail "no user $user (scripts/setup adds it)"
  chown -R "$user:" "$home"
  as=(runuser -u "$user" --)
fi
run_as() {
  "${as[@]}" env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/runtime" \
    QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 "$@"
}

# The simulated recorder: the lesson starts 2 s after the client connects and lasts 8 s.
"$sim" --address "$address" --http-port 0 --rtsp-port 0 --user admin --password= \
  --lesson "2,10,安装测试课" </dev/null >"$scratch/recorder-sim.log" 2>&1 &
pids+=($!)
port=""
for _ in $(seq 100); do
  port="$(sed -n 's|.*HTTP http://[0-9.]*:\([0-9]*\)/.*|\1|p' "$scratch/recorder-sim.log" | head -n1)"
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the simulated recorder did not start"

# The user's settings: the recorder only; no recordings folder, so the default one is used.
run_as sh -c "printf '[Series_A]\nAddress=$address\nHttpPort=$port\nUserName=admin\n' >\"\$HOME/.config/ZEL_Qurel.ini\""

run_as sh -c 'echo $$ >"$HOME/client.pid"; exec "$0"' "$root/usr/bin/qurel" >"$scratch/client.log" 2>&1 &
pids+=($!)
data="$home/.local/share/ZEL_Qurel"
recordings="$data/Resource"
for _ in $(seq 120); do
  compgen -G "$recordings/Image/*.jpg" >/dev/null && break
  kill -0 "${pids[1]}" 2>/dev/null || fail "the client ended early"
  sleep 0.5
done
compgen -G "$recordings/Image/*.jpg" >/dev/null || fail "no thumbnail in $recordings/Image"

shopt -s nullglob
mp4s=("$recordings"/安装测试课_*.mp4)
[ "${#mp4s[@]}" -eq 1 ] || fail "expected one recording in $recordings: ${mp4s[*]}"
base="$(basename "${mp4s[0]}" .mp4)"
[ -s "${mp4s[0]}" ] || fail "empty recording"
[ -s "$recordings/Image/$base.axt" ] || fail "no $base.axt"
[ -s "$recordings/Image/$base.jpg" ] || fail "no $base.jpg"
cmp -s "$data/temp.ppt" "$program/temp.ppt" || fail "no user copy of temp.ppt in $data"
run_as test -w "$data/temp.ppt" || fail "the user cannot change the copy of temp.ppt"

# Start with the session, through the unpacked qurelctl.
run_as "$root/usr/bin/qurelctl" autostart on >"$scratch/autostart.log"
entry="$home/.config/autostart/$(basename "$(ls "$root"/usr/share/applications/*.desktop)")"
grep -qx "Exec=$program/qurel" "$entry" || fail "autostart entry $entry does not start $program/qurel"
run_as "$root/usr/bin/qurelctl" autostart off >>"$scratch/autostart.log"
[ ! -e "$entry" ] || fail "autostart entry left after off"

snapshot >"$scratch/after.txt"
diff "$scratch/before.txt" "$scratch/after.txt" >"$scratch/changes.log" || fail "the installed files changed"
echo "recording $base: $(stat -c %s "${mp4s[0]}") bytes; user files: $(cd "$data" && find . -type f | sort | tr '\n' ' ')"
