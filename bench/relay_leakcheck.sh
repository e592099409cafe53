#!/usr/bin/env bash
# 50 create/start/destroy/stop cycles of libzelmicro in one process under valgrind's leak
# checker, against the RTSP test stream on 127.0.0.15. Usage: bench/relay_leakcheck.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
"$build/sim/qurel-rtsp-sim" --address 127.0.0.15 --key leak --gop 5 > "$work/sim.out" 2>/dev/null &
sim=$!
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
url=$(head -1 "$work/sim.out")
valgrind --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
  --error-exitcode=9 --track-fds=yes --log-file="$work/valgrind.log" \
  "$build/tests/relay/qurel-relay-driver" "$url" 1 "$work/" cycle 0.3 50 > "$work/driver.log" 2>&1 || true
echo "cycles completed: $(grep -c '^stop ' "$work/driver.log") of 50"
grep -E "definitely lost|indirectly lost|possibly lost|still reachable|ERROR SUMMARY|FILE DESCRIPTORS|Open (file descriptor|AF_)" "$work/valgrind.log"
