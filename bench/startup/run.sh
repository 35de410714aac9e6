#!/usr/bin/env bash
# Whole-program start to exit through the script frontend ("answer NO",
# "cancel"): median wall time over RUNS runs, on a fresh controller.
# Usage: bench/startup/run.sh [RUNS] [BUILD_DIR]   (default build; a Release build gives the figures worth quoting)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-30}
bin=${2:-build}/bin
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$bin/orva-controller" init "$dir/c" >/dev/null
times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  printf 'answer NO\ncancel\n' | "$bin/orva-utility" --controller "$dir/c" - >/dev/null
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000 )))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
median=${sorted[$((runs / 2))]}
echo "start to exit, median of $runs runs: $((median / 1000)).$(( (median % 1000) / 100 )) ms (min $((sorted[0] / 1000)) ms, max $((sorted[runs - 1] / 1000)) ms)"
echo "of which page 1's registry pauses: 3 x 10 ms (display mode) + 2 x 2 x 10 ms (directories) = 70 ms of Sleep"
