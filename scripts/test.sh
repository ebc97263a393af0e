#!/usr/bin/env bash
# Installs what is missing, builds Tarnpost and runs the whole test suite: unit tests,
# offscreen window tests, and integration tests against a Dovecot POP3 server and an
# SMTP server that the suite itself starts on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then bash scripts/deps.sh; fi
cmake --preset default
cmake --build --preset default -j"$(nproc)"
ctest --preset default -j2 --timeout 600 "$@"
