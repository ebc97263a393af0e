#!/usr/bin/env bash
# Idle CPU of the real program over 60 s in Awaiting settings and in Polling, and the
# time from start to the window on screen (Xvfb); then the headless mode (--headless,
# no display) polling the same servers. Prints one line each. Target: below 0.05 s CPU
# per idle minute in every state.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
work="$(mktemp -d)"
display=":$((150 + RANDOM % 40))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset & xvfb=$!
coproc servers { build/demo/demo_servers "$work/polling"; }
trap 'kill $xvfb "$servers_PID" 2>/dev/null || true; pkill -f "$work/" || true; rm -rf "$work"' EXIT
mkdir -p "$work/awaiting" "$work/polling" "$work/headless"
read -r _ <&"${servers[0]}"; read -r _ ca <&"${servers[0]}"; read -r _ <&"${servers[0]}"
sed -i "s/^INTERVAL,.*/INTERVAL,${INTERVAL:-60}/" "$work/polling/Tarnpost.ini"  # 60: the default a user saves
sleep 1

cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
measure() {  # name folder
  cp build/app/tarnpost "$2/"
  local start=$(date +%s.%N)
  DISPLAY="$display" SSL_CERT_FILE="$ca" "$2/tarnpost" >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 1000); do  # up to 20 s, looking every 20 ms
    DISPLAY="$display" xdotool search --onlyvisible --name '^Tarnpost' >/dev/null 2>&1 && break
    sleep 0.02
  done
  local shown=$(date +%s.%N)
  sleep 5  # past start-up and the first check
  local before=$(cpu $pid)
  sleep "$seconds"
  local after=$(cpu $pid)
  kill -TERM $pid; wait $pid || true
  printf '%-18s window shown after %.2f s; CPU %.2f s over %d s idle\n' "$1" \
    "$(echo "$shown - $start" | bc)" "$(echo "($after - $before) / $(getconf CLK_TCK)" | bc -l)" "$seconds"
}
measure "Awaiting settings" "$work/awaiting"
measure "Polling" "$work/polling"

# Headless: no display at all; the same polling settings, given explicitly.
cp "$work/polling/Tarnpost.ini" "$work/headless/"
cp build/app/tarnpost "$work/headless/"
env -u DISPLAY SSL_CERT_FILE="$ca" "$work/headless/tarnpost" --headless \
  --settings "$work/headless/Tarnpost.ini" >/dev/null 2>&1 &
pid=$!
sleep 5  # past start-up and the first check
before=$(cpu $pid)
sleep "$seconds"
after=$(cpu $pid)
kill -TERM $pid; wait $pid || true
grep -q "check started" "$work/headless/tarnpost.log" || echo "headless: no check ran" >&2
printf '%-18s CPU %.2f s over %d s idle\n' "Headless polling" \
  "$(echo "($after - $before) / $(getconf CLK_TCK)" | bc -l)" "$seconds"
