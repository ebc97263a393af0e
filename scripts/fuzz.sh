#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (default
# 60 s) over its seed corpus. A crash fails the run; its input is kept in
# fuzz/crashes/ to be added to the seeds as a regression case.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
mkdir -p fuzz/crashes
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

run() {
  local target="$1"
  shift
  mkdir -p "$work/$target"
  echo "fuzzing $target for ${seconds}s"
  build-fuzz/fuzz/"$target" -max_total_time="$seconds" -max_len=200000 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix=fuzz/crashes/"$target"- -print_final_stats=1 \
    "$work/$target" "$@" 2>&1 | tail -n 12
}
run FuzzMessageReader tests/corpus tests/realmail/mails
run FuzzPop3Reply fuzz/seeds/pop3
run FuzzSmtpReply fuzz/seeds/smtp
run FuzzHeaderText fuzz/seeds/headers
run FuzzOutgoing fuzz/seeds/headers
run FuzzSettings fuzz/seeds/settings
run FuzzTimeText fuzz/seeds/dates
