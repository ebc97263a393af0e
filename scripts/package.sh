#!/usr/bin/env bash
# Builds the Debian package of Tarnpost (build-package/tarnpost_*.deb) and checks it:
# lintian must report no error, and the desktop entry and AppStream metadata it installs
# must pass desktop-file-validate and appstreamcli validate.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then bash scripts/deps.sh; fi
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=/usr -DTARNPOST_TESTS=OFF "${launcher[@]}"
cmake --build build-package -j"$(nproc)"
rm -f build-package/tarnpost_*.deb
(cd build-package && cpack -G DEB)
deb="$(ls build-package/tarnpost_*.deb)"

contents="$(mktemp -d)"
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
desktop-file-validate "$contents"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends
