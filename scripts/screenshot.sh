#!/usr/bin/env bash
# Draws the real window on an Xvfb display and keeps the picture as
# build/artifacts/frmInfo.png, so that a person can look at it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target ui_window >/dev/null
mkdir -p build/artifacts
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset &
xvfb=$!
trap 'kill $xvfb' EXIT
sleep 1
DISPLAY="$display" QT_QPA_PLATFORM=xcb TARNPOST_SCREENSHOT="$PWD/build/artifacts/frmInfo.png" \
  build/tests/ui_window --gtest_filter='*PaintsTheWindow*'
echo "screenshot: build/artifacts/frmInfo.png"
