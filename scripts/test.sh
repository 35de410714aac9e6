#!/usr/bin/env bash
# Checks the sources' format, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test. Installs what it needs on a
# bare Debian 12 machine.
set -euo pipefail
cd "$(dirname "$0")/.."
# How long it took (and the build's part), at the end and on a failure alike.
started=$SECONDS
built=
minutes() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }
report_time() {
    local status=$? what="passed"
    [ "$status" -eq 0 ] || what="failed (exit code $status)"
    printf 'test.sh: %s in %s' "$what" "$(minutes $((SECONDS - started)))" >&2
    if [ -n "$built" ]; then printf ' (the build %s)' "$(minutes $((built - started)))" >&2; fi
    printf '\n' >&2
}
trap report_time EXIT
scripts/install-deps.sh
scripts/check-format.sh
build=build-test
# Line tables are all a sanitizer's report needs (-g1), and gold links the
# many test programs faster than the default linker: together about a fifth
# of the build's time.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DORVA_SANITIZE=ON -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
    -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=gold >/dev/null
cmake --build "$build" -j2
built=$SECONDS
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j2 --timeout 300
