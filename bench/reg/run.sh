#!/usr/bin/env bash
# .reg files of a large registry through orva-controller: import and export
# of 5,000 and 50,000 keys with four values each (a string, a dword, 12
# bytes of REG_BINARY, a REG_MULTI_SZ: 20,000 and 200,000 values), from
# UTF-8 and from UTF-16LE (the export's own form); a 1 MiB REG_BINARY value
# in continuation lines as regedit writes it; and the largest UTF-8 and
# UTF-16 files that fit under the 64 MiB limit of reg import. Each figure is
# the median of RUNS runs: wall time and CPU time (user + system; the wall
# time of a busy machine waits for a processor), and for an import its peak
# RSS against the file's size. Run by hand (not in CI).
# Usage: bench/reg/run.sh [BUILD_DIR] [RUNS] [WORKDIR]
#   BUILD_DIR  default build (a Release build gives the figures worth quoting)
#   RUNS       default 3
#   WORKDIR    default /var/tmp (a disk, not a tmpfs)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-3}
tool=$(realpath "$build/bin/orva-controller")
work=$(mktemp -d -p "${3:-/var/tmp}" orva-reg-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
timer=/usr/bin/time
[ -x "$timer" ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }
limit=$((64 * 1048576))

# A UTF-8 .reg file of KEYS keys, or of as many as fit in BUDGET bytes (as
# UTF-16 with a byte order mark and CR LF when the third argument is utf16).
generate() {  # KEYS BUDGET [utf16]
  awk -v keys="$1" -v budget="$2" -v wide="${3:-}" '
    function put(s) { text = text s "\n"; cost += wide ? 2 * (length(s) + 2) : length(s) + 1 }
    BEGIN {
      cost = wide ? 2 : 0
      put("Windows Registry Editor Version 5.00"); put(""); printf "%s", text; text = ""
      for (k = 0; k < keys; k++) {
        put(sprintf("[HKEY_LOCAL_MACHINE\\Bench\\Group%03d\\Key%06d]", k % 500, k))
        put(sprintf("\"Name\"=\"Device %d on line %d\"", k, k * 7))
        put(sprintf("\"Count\"=dword:%08x", k))
        put(sprintf("\"Mask\"=hex:%02x,%02x,00,ff,10,20,30,40,50,60,70,80", k % 256, int(k / 256) % 256))
        put(sprintf("\"Paths\"=hex(7):43,00,3a,00,5c,00,%02x,00,00,00,00,00", 65 + k % 26))
        put("")
        if (cost > budget) exit
        printf "%s", text; text = ""
      }
    }'
}

# UTF-8 with LF to UTF-16LE with a byte order mark and CR LF.
to_utf16() { printf '\xff\xfe'; sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; }

# One key holding a 1 MiB REG_BINARY value, 25 bytes a line as regedit writes it.
big_value() {
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Bench]\n"Big"=hex:'
  head -c 1048576 /dev/urandom | od -An -v -tx1 |
    awk -v total=1048576 '{ for (i = 1; i <= NF; i++) { n++; printf "%s", $i
                                                       if (n < total) printf (n % 25 == 0 ? ",\\\n  " : ",") } }
                          END { print "" }'
}

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# Runs the rest of the line RUNS times: the medians "WALL CPU PEAK_KIB".
# With "fresh", each run starts from a new controller.
measure() {  # fresh|same COMMAND...
  local how=$1 w=() c=() m=() i wall user sys peak
  shift
  for i in $(seq "$runs"); do
    [ "$how" = fresh ] && "$tool" init --force "$work/c" >/dev/null
    "$timer" -f '%e %U %S %M' -o "$work/time" "$@" >"$work/out"
    read -r wall user sys peak <"$work/time"
    w+=("$wall"); c+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')"); m+=("$peak")
  done
  echo "$(printf '%s\n' "${w[@]}" | median) $(printf '%s\n' "${c[@]}" | median) $(printf '%s\n' "${m[@]}" | median)"
}

# Prints one import's line; its wall time goes to $work/LABEL.
import_line() {  # LABEL FILE
  local size wall cpu peak
  size=$(stat -c %s "$2")
  read -r wall cpu peak < <(measure fresh "$tool" -C "$work/c" reg import "$2")
  echo "$cpu" >"$work/$1"
  awk -v l="import $1" -v w="$wall" -v c="$cpu" -v p="$peak" -v b="$size" 'BEGIN {
    printf "%-30s %6.2f s wall %6.2f s CPU  peak %6.1f MiB = %.2f x the file of %.1f MiB\n",
      l, w, c, p / 1024, p * 1024 / b, b / 1048576 }'
}

export_line() {  # LABEL [--utf8]
  local label=$1 wall cpu peak
  shift
  read -r wall cpu peak < <(measure same "$tool" -C "$work/c" reg export Bench "$@")
  awk -v l="export $label" -v w="$wall" -v c="$cpu" -v p="$peak" 'BEGIN {
    printf "%-30s %6.2f s wall %6.2f s CPU  peak %6.1f MiB\n", l, w, c, p / 1024 }'
}

echo "orva-controller: $tool; $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg); median of $runs runs"
for keys in 5000 50000; do
  generate "$keys" 1e18 >"$work/k$keys-8.reg"
  import_line "$keys keys, UTF-8" "$work/k$keys-8.reg"
  export_line "$keys keys, UTF-16"
  export_line "$keys keys, UTF-8 (--utf8)" --utf8
  "$tool" -C "$work/c" reg export Bench >"$work/k$keys-16.reg"
  import_line "$keys keys, UTF-16" "$work/k$keys-16.reg"
done
for enc in UTF-8 UTF-16; do
  awk -v a="$(cat "$work/5000 keys, $enc")" -v b="$(cat "$work/50000 keys, $enc")" -v e="$enc" 'BEGIN {
    printf "growth 5,000 -> 50,000 keys, %s: CPU time x %.1f (linear: x 10)\n", e, b / a }'
done

big_value >"$work/big.reg"
import_line "1 MiB value, continued" "$work/big.reg"
to_utf16 <"$work/big.reg" >"$work/big-16.reg"
import_line "1 MiB value, continued, UTF-16" "$work/big-16.reg"

generate 1e9 "$limit" >"$work/max-8.reg"
import_line "largest UTF-8 under 64 MiB" "$work/max-8.reg"
generate 1e9 "$limit" utf16 | to_utf16 >"$work/max-16.reg"
import_line "largest UTF-16 under 64 MiB" "$work/max-16.reg"
