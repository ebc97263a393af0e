#!/usr/bin/env bash
# One digest cycle over a slow network, against the same local Dovecot and aiosmtpd the
# integration tests use, with POP3 behind bench/delay_proxy.py. For every round trip and
# mailbox size: the pipelined floor (bench/pop3_floor.py), Tarnpost with POP3 delayed,
# Tarnpost with POP3 and SMTP delayed, and fetchmail (POP3 delayed). Prints a Markdown
# table on stdout and progress on stderr. Every cell is its own cycle_bench process.
#
# A cell expected to take more than CAP seconds is not run: it is extrapolated linearly
# per mail from smaller cells of the same column and round trip (measuring one of about
# CAP/2 seconds first when the ones already run are too short to extrapolate from).
#
#   bash bench/network.sh                          the full table (about 15-20 minutes)
#   RTTS="50" COUNTS="10 200" bash bench/network.sh  a part of it
set -euo pipefail
cd "$(dirname "$0")/.."
RTTS=${RTTS:-"0 20 50 100"}
COUNTS=${COUNTS:-"10 200 1000"}
CAP=${CAP:-120}
if [ "$(id -u)" = 0 ] && ! command -v fetchmail >/dev/null; then
  apt-get install -y -q fetchmail >/dev/null
fi
cmake --preset default >/dev/null
cmake --build --preset default --target cycle_bench >/dev/null
cycle=build/bench/cycle_bench
started=$(date +%s)

calc() { awk "BEGIN { printf \"%.2f\", $* }"; }
above() { awk "BEGIN { exit !($1 > $2) }"; }

# Seconds of one cycle_bench run (its arguments, the count last), or nothing when it failed.
measure() {
  local output
  output=$("$cycle" "$@" 2>/dev/null) || true
  awk '$3 == "mails" { print $4 }' <<<"$output"
}

# Estimated seconds for N mails from the measured cells "count:seconds ..." of a column:
# the line through the two largest, or proportional to the only one.
predict() {
  local n=$1 points=$2
  awk -v n="$n" -v points="$points" 'BEGIN {
    k = split(points, p, " ");
    split(p[k], b, ":");
    if (k == 1) { printf "%.2f", b[2] * n / b[1]; exit }
    split(p[k - 1], a, ":");
    printf "%.2f", b[2] + (n - b[1]) * (b[2] - a[2]) / (b[1] - a[1]) }'
}

# The largest count whose prediction stays under the given seconds (at least 20).
count_within() {
  local seconds=$1 points=$2 m=20
  while [ $m -lt 10000 ] && ! above "$(predict $((m + 10)) "$points")" "$seconds"; do m=$((m + 10)); done
  echo $m
}

declare -A points cell
# One cell of a column: measured, or extrapolated when it would take longer than CAP.
run_cell() {
  local column=$1 rtt=$2 n=$3
  shift 3
  local key="$column:$rtt" have=${points["$column:$rtt"]:-}
  if [ -n "$have" ]; then
    local estimate largest
    estimate=$(predict "$n" "$have")
    if above "$estimate" "$CAP"; then
      largest=${have##* }
      if [ "${have// /}" = "$have" ] || ! above "${largest#*:}" "$(calc "$CAP / 4")"; then
        local m
        m=$(count_within "$(calc "$CAP / 2")" "$have")
        if [ "$m" -gt "${largest%%:*}" ] && [ "$m" -lt "$n" ]; then
          local t
          t=$(measure "$@" "$m")
          echo "  $column rtt $rtt: $m mails (for $n) ${t:-failed}${t:+ s}" >&2
          [ -n "$t" ] && have="$have $m:$t" && points[$key]=$have
        fi
      fi
      local previous=${have% *} last=${have##* }
      previous=${previous##* }
      cell["$key:$n"]="~$(predict "$n" "$have") s (from ${previous%%:*} and ${last%%:*})"
      return
    fi
  fi
  local t
  t=$(measure "$@" "$n")
  echo "  $column rtt $rtt: $n mails ${t:-failed}${t:+ s}" >&2
  if [ -z "$t" ]; then
    cell["$key:$n"]="failed"
    return
  fi
  points[$key]="${have:+$have }$n:$t"
  cell["$key:$n"]="$t s"
}

for rtt in $RTTS; do
  for n in $COUNTS; do
    echo "-- round trip $rtt ms, $n mails" >&2
    for column in floor tarnpost tarnpost_smtp fetchmail; do
      case $column in
        floor) mode=pipelined extra="" ;;
        tarnpost) mode=digest extra="" ;;
        tarnpost_smtp) mode=digest extra="--smtp-delayed" ;;
        fetchmail) mode=fetchmail extra="" ;;
      esac
      run_cell "$column" "$rtt" "$n" "$mode" --rtt "$rtt" $extra
    done
  done
done

ratio() {
  local a=${cell["$1"]:-} b=${cell["$2"]:-}
  local about=""
  [[ $a == \~* || $b == \~* ]] && about="~"
  a=${a#\~} b=${b#\~}
  a=${a%% *} b=${b%% *}
  if [[ $a =~ ^[0-9.]+$ && $b =~ ^[0-9.]+$ ]] && above "$b" 0; then
    awk -v a="$a" -v b="$b" -v about="$about" 'BEGIN { printf "%s%.1f×", about, a / b }'
  fi
}

echo "$(date -u +%Y-%m-%d), $(nproc) cores, load average at the end $(cut -d' ' -f1-3 /proc/loadavg)," \
  "run time $(( ($(date +%s) - started) / 60 )) min $(( ($(date +%s) - started) % 60 )) s"
echo
echo "| round trip | mails | pipelined floor | Tarnpost | Tarnpost, POP3+SMTP delayed | fetchmail | Tarnpost / floor | fetchmail / Tarnpost |"
echo "|---|---|---|---|---|---|---|---|"
for rtt in $RTTS; do
  for n in $COUNTS; do
    echo "| $rtt ms | $n | ${cell["floor:$rtt:$n"]} | ${cell["tarnpost:$rtt:$n"]} |" \
      "${cell["tarnpost_smtp:$rtt:$n"]} | ${cell["fetchmail:$rtt:$n"]} |" \
      "$(ratio "tarnpost:$rtt:$n" "floor:$rtt:$n") | $(ratio "fetchmail:$rtt:$n" "tarnpost:$rtt:$n") |"
  done
done
echo
echo "~: not run; extrapolated linearly per mail through the cells of that column and round trip measured at the two counts named."
