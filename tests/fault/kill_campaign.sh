#!/usr/bin/env bash
# Kills the utility (and orva-controller reg import) with SIGKILL at random
# moments of registry saves, save-and-reboot, factory restores, image writes
# and imports, N times in all (the five in turn), on one simulated controller,
# and checks the controller after every kill:
#   - it opens, and each registry copy passes its check (orva-controller
#     exports each one without a word on standard error);
#   - the live and the saved copy each hold one generation of the campaign's
#     values wholly (every value of key Campaign carries the same number), and
#     a generation that the interrupted work may have left there;
#   - an image write is never reported complete ("Update OS image succeed")
#     unless the flash holds the whole image.
# Run by hand, not in CI:
#   tests/fault/kill_campaign.sh N        (BUILD=build, SEED=number to repeat a run)
# Exit code 0 when every check held, 1 otherwise; the counts are printed.
set -euo pipefail
total=${1:?usage: tests/fault/kill_campaign.sh N}
case "$total" in ''|*[!0-9]*) echo "kill_campaign.sh: N must be a number" >&2; exit 2 ;; esac
cd "$(dirname "$0")/../.."
build=${BUILD:-build}
if [ ! -x "$build/bin/orva-utility" ] || [ ! -x "$build/bin/orva-controller" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target orva-utility orva-controller >/dev/null
fi
util=$PWD/$build/bin/orva-utility
tool=$PWD/$build/bin/orva-controller
work=$(mktemp -d "${TMPDIR:-/tmp}/orva-kill-XXXXXX")
kept=$work.kept
trap 'rm -rf "$work"' EXIT
ctl=$work/ctl
seed=${SEED:-$$}
RANDOM=$seed
values=2000                # values in key Campaign: a save copies them all
image_segments=100
image_bytes=$((image_segments * 262144))

scenarios=(save save_reboot factory image import)
declare -A points=() killed=() ended=() failed=() unusable=() mixed=() unexpected=() false_complete=() duration=()
declare -A in_txn=() changed=()
for s in "${scenarios[@]}"; do
  points[$s]=0 killed[$s]=0 ended[$s]=0 failed[$s]=0 unusable[$s]=0 mixed[$s]=0 unexpected[$s]=0 false_complete[$s]=0
  in_txn[$s]=0 changed[$s]=0
done
partial_images=0

printf 'answer YES YES NO\ncancel\n' >"$work/save.txt"
# The number resources/resource.h gives a control: scripts name what they press.
idc() { awk -v name="$1" '$1 == "#define" && $2 == name { print $3 }' resources/resource.h; }
printf 'answer YES YES\nclick %s\n' "$(idc IDC_SAVE_AND_REBOOT)" >"$work/save_reboot.txt"
printf 'answer YES YES\nclick %s\n' "$(idc IDC_FACTORY_RESTORE)" >"$work/factory.txt"
printf 'tab 4\ntype %s "\\\\Temp\\\\image.bin"\nanswer OK NO\nclick %s\nanswer NO\ncancel\n' \
    "$(idc IDC_IMAGE_PATH)" "$(idc IDC_WRITE_FLASH)" >"$work/image.txt"

fresh_controller() {
  rm -rf "$ctl"
  "$tool" init "$ctl" --segment-size 262144 >/dev/null
}

# gen.reg: every value of Campaign set to generation $1.
write_generation() {
  awk -v g="$1" -v n="$values" 'BEGIN {
    printf "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Campaign]\n"
    for (i = 0; i < n; i++) printf "\"v%d\"=dword:%08x\n", i, g
  }' >"$work/gen.reg"
}

# The generation a copy ("" live, --saved) holds: its number in hex, "none"
# when it holds no value of Campaign, "mixed" when they differ or some are
# missing, "broken" when it cannot be read.
generation() {
  local out
  if ! out=$("$tool" -C "$ctl" reg $1 export Campaign --utf8 2>"$work/gen.err"); then
    if grep -q 'no key' "$work/gen.err"; then echo none; else echo broken; fi
    return
  fi
  printf '%s\n' "$out" | awk -v n="$values" '
    /^"v[0-9]+"=dword:/ { split($0, a, ":"); if (!(a[2] in seen)) { seen[a[2]] = 1; kinds++; g = a[2] } total++ }
    END { if (total == 0) print "none"; else if (kinds != 1 || total != n) print "mixed"; else print g }'
}

# Whether the controller opens and each copy passes its check.
copies_pass() {
  local opt
  for opt in "" --saved --factory; do
    "$tool" -C "$ctl" reg $opt export >/dev/null 2>"$work/check.err" || return 1
    [ -s "$work/check.err" ] && return 1
  done
  return 0
}

# Runs a command, kills it after $1 ms (never when $1 is -1); sets rc.
run_killed() {
  local delay=$1
  shift
  "$@" >"$work/out" 2>"$work/err" &
  local pid=$!
  if [ "$delay" -ge 0 ]; then
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rc=0
  wait "$pid" 2>/dev/null || rc=$?
}

# What scenario $1 works on, for generation $2: the live copy holds it
# before a save, the image file is a new one before an image write.
prepare_scenario() {
  case $1 in
    save|save_reboot|factory)
      write_generation "$2"
      "$tool" -C "$ctl" reg import "$work/gen.reg" ;;
    image) head -c "$image_bytes" /dev/urandom >"$ctl/fs/Temp/image.bin" ;;
    import) write_generation "$2" ;;
  esac
}

# Scenario $1, killed after $2 ms (-1: not killed).
run_scenario() {
  case $1 in
    import) run_killed "$2" "$tool" -C "$ctl" reg import "$work/gen.reg" ;;
    *) run_killed "$2" "$util" --controller "$ctl" "$work/$1.txt" ;;
  esac
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

keep() {  # keeps the controller of a failed check for a look
  mkdir -p "$kept"
  cp -a "$ctl" "$kept/$1"
  cp "$work/out" "$kept/$1.out" 2>/dev/null || true
  cp "$work/err" "$kept/$1.err" 2>/dev/null || true
}

fresh_controller
# How long each scenario takes when it is not killed (the middle of three
# runs): kills fall anywhere in it.
for s in "${scenarios[@]}"; do
  runs=()
  for k in 1 2 3; do
    prepare_scenario "$s" 1
    t0=$(now_ms)
    run_scenario "$s" -1
    runs+=($(( $(now_ms) - t0 )))
    [ "$rc" -eq 0 ] || { echo "kill_campaign.sh: $s fails without a kill:" >&2; cat "$work/err" >&2; exit 1; }
  done
  duration[$s]=$(printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p)
done
fresh_controller
echo "seed $seed; unkilled durations (ms): $(for s in "${scenarios[@]}"; do printf '%s=%s ' "$s" "${duration[$s]}"; done)"

for ((i = 0; i < total; i++)); do
  s=${scenarios[$((i % ${#scenarios[@]}))]}
  g=$((i + 2))
  points[$s]=$((points[$s] + 1))
  prepare_scenario "$s" "$g"
  before_live=$(generation "")
  before_saved=$(generation --saved)
  delay=$((RANDOM * 32768 + RANDOM))
  delay=$((delay % (duration[$s] + 1)))
  [ "$s" = image ] && "$tool" -C "$ctl" flash read 0 "$image_segments" >"$work/flash.before"
  touch "$work/started"
  run_scenario "$s" "$delay"
  if [ "$rc" -eq 137 ]; then killed[$s]=$((killed[$s] + 1)); else ended[$s]=$((ended[$s] + 1)); fi
  # A journal written during the run and left beside a copy: the kill came
  # inside one of its transactions. (SQLite may leave an older journal that
  # it no longer needs; those are not counted.)
  if [ "$rc" -eq 137 ] && [ -n "$(find "$ctl" -maxdepth 1 -name 'registry-*.db-journal' -newer "$work/started")" ]; then
    in_txn[$s]=$((in_txn[$s] + 1))
  fi
  if [ "$rc" -eq 137 ] && [ "$s" = image ]; then
    "$tool" -C "$ctl" flash read 0 "$image_segments" >"$work/flash.after"
    if ! cmp -s "$work/flash.after" "$work/flash.before" && ! cmp -s "$work/flash.after" "$ctl/fs/Temp/image.bin"; then
      partial_images=$((partial_images + 1))
    fi
  fi
  if [ "$rc" -ne 137 ] && [ "$rc" -ne 0 ]; then
    failed[$s]=$((failed[$s] + 1))
    echo "point $i ($s): ended with $rc: $(head -c 300 "$work/err")" >&2
  fi
  if ! copies_pass; then
    unusable[$s]=$((unusable[$s] + 1))
    echo "point $i ($s, killed after ${delay} ms): a copy fails: $(head -c 400 "$work/check.err")" >&2
    keep "point-$i"
    fresh_controller
    continue
  fi
  live=$(generation "")
  saved=$(generation --saved)
  hex=$(printf '%08x' "$g")
  if [ "$live" = mixed ] || [ "$saved" = mixed ] || [ "$live" = broken ] || [ "$saved" = broken ]; then
    mixed[$s]=$((mixed[$s] + 1))
    echo "point $i ($s, killed after ${delay} ms): live $live, saved $saved" >&2
    keep "point-$i"
    fresh_controller
    continue
  fi
  # What the interrupted work may have left in each copy.
  case $s in
    save) ok_live=" $before_live " ok_saved=" $before_saved $hex " ;;
    save_reboot) ok_live=" $before_live $saved " ok_saved=" $before_saved $hex " ;;
    factory) ok_live=" $before_live none " ok_saved=" $before_saved " ;;
    image) ok_live=" $before_live " ok_saved=" $before_saved " ;;
    import) ok_live=" $before_live $hex " ok_saved=" $before_saved " ;;
  esac
  if [ "$rc" -eq 137 ] && { [ "$live" != "$before_live" ] || [ "$saved" != "$before_saved" ]; }; then
    changed[$s]=$((changed[$s] + 1))
  fi
  if [[ "$ok_live" != *" $live "* || "$ok_saved" != *" $saved "* ]]; then
    unexpected[$s]=$((unexpected[$s] + 1))
    echo "point $i ($s): live $live (may be:$ok_live), saved $saved (may be:$ok_saved)" >&2
  fi
  if [ "$s" = image ] && grep -q 'Update OS image succeed' "$work/out"; then
    if ! "$tool" -C "$ctl" flash read 0 "$image_segments" | cmp -s - "$ctl/fs/Temp/image.bin"; then
      false_complete[$s]=$((false_complete[$s] + 1))
      echo "point $i (image): reported complete, but the flash does not hold the image" >&2
      keep "point-$i"
    fi
  fi
done

printf '\n%-12s %7s %7s %7s %7s %9s %6s %10s %14s %8s %10s\n' scenario points killed ended failed unusable mixed unexpected \
  false-complete in-txn new-data
sum() { local t=0 s; for s in "${scenarios[@]}"; do t=$((t + $1[$s])); done; echo $t; }
bad=0
for s in "${scenarios[@]}" total; do
  if [ "$s" = total ]; then
    row=("$(sum points)" "$(sum killed)" "$(sum ended)" "$(sum failed)" "$(sum unusable)" "$(sum mixed)" "$(sum unexpected)"
         "$(sum false_complete)" "$(sum in_txn)" "$(sum changed)")
  else
    row=("${points[$s]}" "${killed[$s]}" "${ended[$s]}" "${failed[$s]}" "${unusable[$s]}" "${mixed[$s]}" "${unexpected[$s]}"
         "${false_complete[$s]}" "${in_txn[$s]}" "${changed[$s]}")
  fi
  printf '%-12s %7s %7s %7s %7s %9s %6s %10s %14s %8s %10s\n' "$s" "${row[@]}"
  [ "$s" = total ] && bad=$((row[3] + row[4] + row[5] + row[6] + row[7]))
done
echo "killed image writes that left the flash part old, part new: $partial_images"
echo "in-txn: killed inside a registry transaction (a journal was left); new-data: killed after the registry changed"
[ -d "$kept" ] && echo "controllers of failed checks kept in $kept"
[ "$bad" -eq 0 ]
