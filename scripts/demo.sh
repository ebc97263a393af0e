#!/usr/bin/env bash
# A demo a newcomer can run: starts a local Dovecot and SMTP server holding a few sample
# Japanese mails, writes a ready Tarnpost.ini next to a copy of Tarnpost and starts it.
# Within a few seconds a Digest mail arrives and the window shows "…を転送しました".
# Needs a desktop (or: xvfb-run bash scripts/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" = 0 ]; then bash scripts/deps.sh; fi
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target tarnpost demo_servers >/dev/null

folder="$(mktemp -d)"
cp build/app/tarnpost "$folder/"
coproc servers { build/demo/demo_servers "$folder"; }
trap 'kill "$servers_PID" 2>/dev/null || true; rm -rf "$folder"' EXIT
read -r ready <&"${servers[0]}"
read -r _ ca <&"${servers[0]}"
read -r _ spool <&"${servers[0]}"
[ "$ready" = ready ] || { echo "the demo servers did not start" >&2; exit 1; }
echo "Tarnpost runs from $folder with its Tarnpost.ini."
echo "Forwarded mail arrives as .eml files in: $spool"
echo "Close the window to end the demo."
SSL_CERT_FILE="$ca" "$folder/tarnpost"
