#!/usr/bin/env bash
# Prints the benchmark table on this machine, against the same local Dovecot and
# aiosmtpd servers the integration tests use. Every line is its own process.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" = 0 ] && ! command -v fetchmail >/dev/null; then
  apt-get install -y -q fetchmail bc >/dev/null
fi
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target mail_bench cycle_bench memory_bench tarnpost demo_servers >/dev/null
echo "$(date -u +%Y-%m-%d) $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)"
mail=build/bench/mail_bench
cycle=build/bench/cycle_bench
quiet() { "$@" 2>&1 | grep -v -E 'XDG_RUNTIME|login_data|fetchmail: (WARNING|Server cert|Warning)' || true; }

echo "-- mail component"
quiet "$mail" pop3 1000
quiet "$mail" curl 1000
quiet "$mail" smtp 1000
quiet "$mail" decode 10000

echo "-- one forwarding cycle over mixed mail (median 18 KB, one in ten 200 KB or more)"
for n in 1000 10000; do
  quiet "$cycle" floor "$n"
  quiet "$cycle" digest "$n"
  quiet "$cycle" whole "$n"
  quiet "$cycle" sendonly "$n"
done
quiet "$cycle" fetchmail 1000

echo "-- peak memory of one check (message size limit 64 MB)"
quiet build/bench/memory_bench big 200
quiet build/bench/memory_bench endless 512

echo "-- the program idle"
quiet bash bench/idle.sh 60
