#!/usr/bin/env bash
# scripts/run.sh on a tree of its own, with a cmake that only pretends to
# build: it says what it does before the first build, shows the build's
# progress, shows a failed build's errors and exit code, runs the program
# once it is built, and leaves it to the build to say whether anything
# changed.
#
# usage: run_script_test.sh SOURCE-DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
. "$source_dir/tests/install/common.sh"

work=$(mktemp -d /tmp/orva-run-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/scripts" "$work/stubs"
cp "$source_dir/scripts/run.sh" "$work/tree/scripts/"
printf '#!/bin/sh\nexit 0\n' >"$work/tree/scripts/install-deps.sh"
# The pretend cmake: configuring succeeds; building prints progress and then
# fails with a compiler error, or (with $STUB_BUILD_OK) makes a program. Once
# the program is there, it has nothing to do unless $STUB_CHANGED.
cat >"$work/stubs/cmake" <<'STUB'
#!/bin/sh
case " $* " in
*" --build "*)
    if [ -x build/bin/orva-utility ] && [ -z "${STUB_CHANGED:-}" ]; then
        echo "[ 50%] Built target orva_simulator"
        echo "[100%] Built target orva-utility"
        exit 0
    fi
    echo "[ 10%] Building CXX object simulator/CMakeFiles/orva_simulator.dir/flash.cpp.o"
    echo "[ 50%] Building CXX object app/CMakeFiles/orva-utility.dir/main.cpp.o"
    if [ -z "${STUB_BUILD_OK:-}" ]; then
        echo "app/main.cpp:12:5: error: 'oops' was not declared in this scope"
        echo "gmake[2]: *** [app/CMakeFiles/orva-utility.dir/build.make:76: main.o] Error 1"
        exit 2
    fi
    mkdir -p build/bin
    printf '#!/bin/sh\necho "orva-utility ran with $*"\n' >build/bin/orva-utility
    chmod +x build/bin/orva-utility
    echo "[100%] Built target orva-utility"
    ;;
*) echo "-- Configuring done" ;;
esac
STUB
chmod +x "$work/stubs/cmake" "$work/tree/scripts/install-deps.sh"
export PATH="$work/stubs:$PATH"

status=0
"$work/tree/scripts/run.sh" --version >"$work/out" 2>"$work/err" </dev/null || status=$?
[ $status -eq 2 ] || fail "a failed build gave exit code $status: $(cat "$work/err")"
for line in "Building orva-utility (first run only, a few minutes)..." \
    "[ 50%] Building CXX object app/CMakeFiles/orva-utility.dir/main.cpp.o" \
    "The build failed (exit code 2):" \
    "app/main.cpp:12:5: error: 'oops' was not declared in this scope" \
    "The whole build log: build/build.log"; do
    grep -qxF "$line" "$work/err" || fail "run.sh did not say: $line; it said: $(cat "$work/err")"
done
[ ! -s "$work/out" ] || fail "a failed build ran something: $(cat "$work/out")"

out=$(STUB_BUILD_OK=1 "$work/tree/scripts/run.sh" --version 2>"$work/err" </dev/null) ||
    fail "run.sh after a good build: $(cat "$work/err")"
[ "$out" = "orva-utility ran with --version" ] || fail "run.sh did not run the program with its arguments: $out"
grep -qxF "[100%] Built target orva-utility" "$work/err" || fail "no progress shown: $(cat "$work/err")"
# Built once: the next run says nothing and builds nothing.
out=$("$work/tree/scripts/run.sh" --help 2>"$work/err" </dev/null)
[ "$out" = "orva-utility ran with --help" ] && [ ! -s "$work/err" ] || fail "the second run: $out $(cat "$work/err")"
# Whatever the build finds changed (an asset, a CMake file) is rebuilt.
out=$(STUB_CHANGED=1 STUB_BUILD_OK=1 "$work/tree/scripts/run.sh" --help 2>"$work/err" </dev/null)
[ "$out" = "orva-utility ran with --help" ] || fail "the run after a change: $out $(cat "$work/err")"
for line in "Rebuilding orva-utility (the sources changed)..." \
    "[ 50%] Building CXX object app/CMakeFiles/orva-utility.dir/main.cpp.o"; do
    grep -qxF "$line" "$work/err" || fail "run.sh did not rebuild: $line; it said: $(cat "$work/err")"
done
echo "run.sh test: passed"
