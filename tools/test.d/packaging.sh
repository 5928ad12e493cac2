#!/usr/bin/env bash
# Builds the .deb (build/linux) and the Windows ZIP (build/windows) with cpack and checks
# them: contents, an install/remove/purge cycle in a private dpkg root, the unit file, the
# ZIP's line ends. Builds what is missing first (only the packaged targets).
set -u
cd "$(dirname "$0")/../.."
status=0
DEB= ZIP=
if [ -d build/linux ] && cmake --build build/linux --target korvane_monitor reload_service >/dev/null &&
   (cd build/linux && rm -rf packages && cpack -G DEB >/dev/null); then
  DEB=$(ls build/linux/packages/*.deb | head -1)
else
  echo "FAIL: .deb not built"; status=1
fi
if [ -d build/windows ] && cmake --build build/windows --target korvane_monitor reload_service >/dev/null &&
   (cd build/windows && rm -f packages/*.zip && cpack -G ZIP >/dev/null); then
  ZIP=$(ls build/windows/packages/*.zip | head -1)
else
  echo "FAIL: Windows ZIP not built"; status=1
fi
echo "packages: ${DEB:-none} ${ZIP:-none}"
KV_DEB=$DEB KV_ZIP=$ZIP timeout 170 python3 tests/packaging/test_packages.py -v || status=1
exit $status
