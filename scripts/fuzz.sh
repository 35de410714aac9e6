#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang in build-fuzz/ and runs
# them, as many at a time as the machine has cores (FUZZ_JOBS to choose), each
# for the whole SECONDS on a core of its own: each starts from its seed
# corpus in tests/fuzz/corpus/TARGET (so every seed, and every input that once
# found a fault, is replayed first) and keeps what it learns in
# build-fuzz/corpus/. A finding makes the script end with exit code 1 and
# leaves the input in build-fuzz/findings/TARGET/.
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]     (default: all, 60 seconds each)
#   TARGETS: reg_file script config paths slot_reply
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(reg_file script config paths slot_reply)
which=${1:-all}
seconds=${2:-60}
if [ "$which" != all ]; then
  case " ${targets[*]} " in *" $which "*) targets=("$which") ;; *)
    echo "fuzz.sh: unknown target $which (${targets[*]} or all)" >&2; exit 2 ;; esac
fi
case "$seconds" in ''|*[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number" >&2; exit 2 ;; esac
jobs=${FUZZ_JOBS:-$(nproc)}
case "$jobs" in ''|*[!0-9]*|0) echo "fuzz.sh: FUZZ_JOBS must be a whole number above 0" >&2; exit 2 ;; esac

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DORVA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/%/_fuzz}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# One target's run, its output in build-fuzz/fuzz-TARGET.log and its exit
# code in build-fuzz/fuzz-TARGET.status.
run_target() {
  local t=$1 work="$build/corpus/$1" findings="$build/findings/$1"
  mkdir -p "$work" "$findings"
  local status=0
  "$build/bin/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "tests/fuzz/corpus/$t" >"$build/fuzz-$t.log" 2>&1 || status=$?
  echo "$status" >"$build/fuzz-$t.status"
}

echo "== ${targets[*]}: ${seconds} s each, $jobs at a time"
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  rm -f "$build/fuzz-$t.status"
  run_target "$t" &
done
wait

status=0
for t in "${targets[@]}"; do
  log="$build/fuzz-$t.log"
  findings="$build/findings/$t"
  if [ "$(cat "$build/fuzz-$t.status" 2>/dev/null)" = 0 ]; then
    echo "== $t: ${seconds} s"
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | sed 's/^/   /' || true
    grep -E '^#[0-9]+ +DONE' "$log" | tail -1 | sed 's/^/   /' || true
  else
    status=1
    echo "== $t: FINDING (input in $findings/)" >&2
    grep -E 'ERROR|SUMMARY|_fuzz: |runtime error' "$log" | head -20 >&2 || true
    echo "   whole log: $log" >&2
  fi
done
exit $status
