#!/usr/bin/env bash
# Prints the benchmark table: the mail component against Dovecot and aiosmtpd on this
# machine, with curl's command line doing the same POP3 retrievals as the reference.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target mail_bench >/dev/null
bench=build/bench/mail_bench
echo "$(date -u +%Y-%m-%d) $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)"
"$bench" pop3 1000
"$bench" curl 1000
"$bench" smtp 1000
"$bench" decode 10000
