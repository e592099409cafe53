#!/usr/bin/env bash
# Runs a test as the ordinary user qurel-test when started as root (as CI does): the embedded
# browser runs only with its sandbox, which cannot run as root. The test's own folders (its
# settings, data, cache and runtime folders, which the harness points into one test home) are
# handed to that user first. Started as anyone else, it runs the test as that user.
#   as-ordinary-user.sh TEST_HOME COMMAND...
set -euo pipefail
home="$1"
shift
if [ "$(id -u)" -ne 0 ]; then exec "$@"; fi
user=qurel-test
if ! id -u "$user" >/dev/null 2>&1; then
  echo "as-ordinary-user: no user $user (scripts/setup adds it)" >&2
  exit 1
fi
mkdir -p "$home/runtime"
chown -R "$user:" "$home"
chmod 700 "$home/runtime"
exec runuser -u "$user" -- env HOME="$home" "$@"
