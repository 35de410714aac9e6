#!/usr/bin/env bash
# Builds the program (once) and runs it on the default simulated controller,
# which is created with factory settings on first use. Arguments are passed
# on, e.g. --frontend terminal or --controller DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# The build's progress lines ("[ 45%] Building CXX object ...") as one line
# rewritten in place on a terminal, one line each otherwise.
show_progress() {
    local line on_tty=0 cols=80
    if [ -t 2 ]; then
        on_tty=1
        cols=$(tput cols 2>/dev/null || echo 80)
    fi
    while IFS= read -r line; do
        case $line in
        '['*'%]'*)
            if [ $on_tty = 1 ]; then printf '\r\033[K%s' "${line:0:cols-1}" >&2; else printf '%s\n' "$line" >&2; fi
            ;;
        esac
    done
    if [ $on_tty = 1 ]; then printf '\r\033[K' >&2; fi
}

if [ ! -x build/bin/orva-utility ] ||
    [ -n "$(find . -path './build*' -prune -o -path ./.git -prune -o -newer build/bin/orva-utility \( -name '*.cpp' -o -name '*.h' -o -name CMakeLists.txt \) -print -quit)" ]; then
    if [ -x build/bin/orva-utility ]; then
        echo "Rebuilding orva-utility (the sources changed)..." >&2
    else
        echo "Building orva-utility (first run only, a few minutes)..." >&2
    fi
    mkdir -p build
    log=build/build.log
    set +e
    { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
        cmake --build build -j2 --target orva-utility orva-controller; } 2>&1 | tee "$log" | show_progress
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -ne 0 ]; then
        echo "The build failed (exit code $status):" >&2
        grep -Ev '^\[ *[0-9]+%\]|^-- |^(gmake|make)(\[[0-9]+\])?: \*\*\*' "$log" | tail -n 60 >&2
        echo "The whole build log: $log" >&2
        exit "$status"
    fi
fi
exec build/bin/orva-utility "$@"
