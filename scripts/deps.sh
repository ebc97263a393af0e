#!/usr/bin/env bash
# The one list of Debian packages that building, running and testing Tarnpost need.
# Installs them (as root) on a Debian 12 machine; does nothing when all are present.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  qt6-base-dev libgl-dev
  libgmime-3.0-dev libxml2-dev libuchardet-dev
  libgtest-dev libgmock-dev
  # OAuth2 sign-in: the code flow and the keyring
  qt6-networkauth-dev qtkeychain-qt6-dev
  # the window's Japanese font ("ＭＳ Ｐゴシック" falls back to IPAPGothic)
  fonts-ipafont-gothic
  # the carrier emoji mapping (EmojiSources.txt), read at build time
  unicode-data
  # test servers and tools
  dovecot-core dovecot-pop3d python3 python3-aiosmtpd python3-cryptography openssl curl
  xvfb xauth xdotool
  # token log-in tests: a private keyring on its own bus, a real browser
  gnome-keyring dbus chromium
  # packaging: the .deb and its checks
  dpkg-dev lintian desktop-file-utils appstream
  # fuzzing
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
