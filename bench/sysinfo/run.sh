#!/bin/sh
# Times the "System Config" page's fill: the whole program run through the
# script frontend with page 2 opened, less the same run without it, averaged
# over N runs, for a module that answers at once, a silent module and a port
# that cannot be opened.
# usage: bench/sysinfo/run.sh [BUILD_DIR] [N]
set -eu
BUILD=${1:-build}
N=${2:-20}
BIN=$BUILD/bin
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

controller() {  # DIR, then sed expressions for controller.toml
    dir=$WORK/$1; shift
    "$BIN/orva-controller" init "$dir" >/dev/null
    for e in "$@"; do sed -i "$e" "$dir/controller.toml"; done
    echo "$dir"
}

# Mean wall time of one run in microseconds.
mean_us() {  # DIR SCRIPT
    start=$(date +%s%N)
    i=0
    while [ $i -lt "$N" ]; do
        printf '%b' "$2" | "$BIN/orva-utility" --controller "$1" --frontend script - >/dev/null 2>&1
        i=$((i + 1))
    done
    end=$(date +%s%N)
    echo $(((end - start) / N / 1000))
}

answering=$(controller answering)
silent=$(controller silent 's/^silent = false/silent = true/')
missing=$(controller missing 's|^COM0 = "module"|COM0 = "/nonexistent/ttyS9"|')

for case in answering silent missing; do
    eval dir=\$$case
    base=$(mean_us "$dir" 'answer NO\ncancel\n')
    page=$(mean_us "$dir" 'tab 2\nanswer NO\ncancel\n')
    echo "$case: program without the page ${base} us, with the page ${page} us, fill about $((page - base)) us"
done
