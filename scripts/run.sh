#!/usr/bin/env bash
# Builds the program (once) and runs it on the default simulated controller,
# which is created with factory settings on first use. Arguments are passed
# on, e.g. --frontend terminal or --controller DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ ! -x build/bin/orva-utility ] || [ -n "$(find . -path ./build -prune -o -newer build/bin/orva-utility \( -name '*.cpp' -o -name '*.h' -o -name CMakeLists.txt \) -print -quit)" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j2 --target orva-utility orva-controller >/dev/null
fi
exec build/bin/orva-utility "$@"
