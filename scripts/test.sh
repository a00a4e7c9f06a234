#!/bin/bash
# Builds the installer and the tests, then runs every test under Wine on Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=ON >/dev/null
cmake --build "$root/build" -j2
source "$root/scripts/display.sh"
# The two templates are made side by side: each is mostly waiting on Wine.
bash "$root/tests/scripts/make-template.sh" "$root/build/wine-template-win64" win64 &
bash "$root/tests/scripts/make-template.sh" "$root/build/wine-template"
wait $!
cd "$root/build"
ctest -j2 --output-on-failure --timeout 600 --repeat until-pass:2 "$@"
