#!/usr/bin/env bash
# lintian on the package: no errors. Its warnings are printed for the record.
set -uo pipefail
deb="${QUREL_DEB:-$1}"
[ -f "$deb" ] || { echo "no package at $deb (scripts/package builds it)"; exit 77; }
report="$(lintian --allow-root --tag-display-limit 0 "$deb" 2>&1)"
echo "$report"
if grep -q '^E: ' <<<"$report"; then
  echo "lintian reports errors"
  exit 1
fi
