#!/usr/bin/env bash
# Installs what is missing, builds Tarnpost and starts it. Tarnpost.ini is read from and
# written next to the binary: build/app/Tarnpost.ini.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then bash scripts/deps.sh; fi
cmake --preset default
cmake --build --preset default -j"$(nproc)" --target tarnpost
exec build/app/tarnpost "$@"
