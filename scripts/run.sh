#!/usr/bin/env bash
# Builds the program (again whenever anything it is made of changed) and runs
# it on the default simulated controller, which is created with factory
# settings on first use. Arguments are passed on, e.g. --frontend terminal or
# --controller DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# The build's progress lines ("[ 45%] Building CXX object ...") as one line
# rewritten in place on a terminal, one line each otherwise. A build with
# nothing to do shows nothing: the lines are shown from the first one that
# does work, under `announce` when there is one.
show_progress() {
    local announce=$1 line on_tty=0 cols=80 working=0
    if [ -t 2 ]; then
        on_tty=1
        cols=$(tput cols 2>/dev/null || echo 80)
    fi
    while IFS= read -r line; do
        case $line in
        '['*'%] Built target '*)
            [ $working = 1 ] || continue
            ;;
        '['*'%]'*)
            if [ $working = 0 ] && [ -n "$announce" ]; then echo "$announce" >&2; fi
            working=1
            ;;
        *) continue ;;
        esac
        if [ $on_tty = 1 ]; then printf '\r\033[K%s' "${line:0:cols-1}" >&2; else printf '%s\n' "$line" >&2; fi
    done
    if [ $on_tty = 1 ] && [ $working = 1 ]; then printf '\r\033[K' >&2; fi
}

# The build system decides what is out of date (sources, the page's assets,
# the art, the manual pages, the CMake files): the build step always runs and
# is quick when nothing changed. The first build configures the tree.
mkdir -p build
log=build/build.log
announce="Rebuilding orva-utility (the sources changed)..."
configure=(true)
if [ ! -x build/bin/orva-utility ]; then
    echo "Building orva-utility (first run only, a few minutes)..." >&2
    announce=
    configure=(cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi
set +e
{ "${configure[@]}" && cmake --build build -j2 --target orva-utility orva-controller; } 2>&1 | tee "$log" |
    show_progress "$announce"
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
    echo "The build failed (exit code $status):" >&2
    grep -Ev '^\[ *[0-9]+%\]|^-- |^(gmake|make)(\[[0-9]+\])?: \*\*\*' "$log" | tail -n 60 >&2
    echo "The whole build log: $log" >&2
    exit "$status"
fi
exec build/bin/orva-utility "$@"
