#!/usr/bin/env bash
# Writing an OS image through the "Version Update" page onto a board's block
# device (orva-utility --board ... update) against
#   dd if=IMAGE of=/dev/loopN bs=1M oflag=direct conv=fsync
# onto the same loop device, for a 512 MiB image. Each round runs, in turn:
# the update without its read-back (board.toml's [flash] verify = false),
# the update with it, dd, and the program's fixed cost on its own (the same
# one-shot command on an empty image); everything is synced before each.
# Printed: median wall times and, as the median of the rounds' own ratios,
#   write part      (update without read-back - fixed cost) / dd
#   read-back part  (update - update without read-back) / dd
# then the peak RSS of the update for a 16 MiB, a 128 MiB and a 512 MiB
# image. Run by hand as root (not in CI): it attaches one loop device over a
# file under WORKDIR (about 1.1 GiB) and detaches that device, and only it,
# when it ends.
# Usage: bench/board_write/run.sh [BUILD_DIR] [RUNS] [WORKDIR]
#   BUILD_DIR  default build (a Release build gives the figures worth quoting)
#   RUNS       rounds, default 7 (at least 5)
#   WORKDIR    default /var/tmp (a disk, not a tmpfs)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-7}
bin=$build/bin
timer=/usr/bin/time
[ -x "$timer" ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }
[ "$runs" -ge 5 ] || { echo "RUNS must be at least 5" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "needs root, for the loop device" >&2; exit 2; }

mib=1048576
size=512  # MiB
work=$(mktemp -d -p "${3:-/var/tmp}" orva-board-bench.XXXXXX)
backing=$work/device
truncate -s $((size * mib)) "$backing"
dev=$(losetup -f --show "$backing")
# Detaches our device only: the one whose backing file is ours.
cleanup() {
  if [ "$(losetup -n -O BACK-FILE "$dev" 2>/dev/null | sed 's/ *$//')" = "$backing" ]; then losetup -d "$dev"; fi
  rm -rf "$work"
}
trap cleanup EXIT

board() {  # NAME VERIFY -> board.toml
  mkdir -p "$work/$1"
  printf '[board]\nstate_dir = "state"\n[flash]\ndevice = "%s"\nverify = %s\n[identity]\nserial_number = "fixed:0000000000000000"\n' \
    "$dev" "$2" >"$work/$1/board.toml"
  echo "$work/$1/board.toml"
}
checked=$(board checked true)
unchecked=$(board unchecked false)
"$bin/orva-controller" --board "$checked" log >/dev/null  # the state directory, made on first use
image_of() {  # SIZE-MIB -> an image of that many random bytes in the board's files
  local file="$work/checked/state/fs/Storage Card/nk$1.bin"
  [ -f "$file" ] || head -c $(($1 * mib)) /dev/urandom >"$file"
  echo "$file"
}
image=$(image_of $size)
: >"$work/checked/state/fs/Storage Card/empty.bin"

now_us() { echo $(( $(date +%s%N) / 1000 )); }
median() {  # numbers -> median
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
secs() { awk -v t="$1" 'BEGIN { printf "%.3f s", t / 1e6 }'; }

update() {  # BOARD IMAGE-NAME
  "$bin/orva-utility" --board "$1" update "\\Storage Card\\$2" 2>"$work/err" ||
    { echo "the update failed:" >&2; cat "$work/err" >&2; exit 1; }
}
copy() { dd if="$image" of="$dev" bs=1M oflag=direct conv=fsync status=none; }
timed() {  # COMMAND ARGS... -> microseconds, everything synced first
  local t0 t1
  sync; t0=$(now_us); "$@"; t1=$(now_us)
  echo $((t1 - t0))
}

# The unchecked board writes the same device from the same files.
rm -rf "$work/unchecked/state" && cp -a "$work/checked/state" "$work/unchecked/state"
update "$checked" "nk$size.bin"; copy  # warm: the image in the page cache
declare -a t_w t_v t_dd t_fix r_w r_v
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for _ in $(seq "$runs"); do
  w=$(timed update "$unchecked" "nk$size.bin")
  v=$(timed update "$checked" "nk$size.bin")
  d=$(timed copy)
  f=$(timed update "$checked" empty.bin)
  t_w+=("$w"); t_v+=("$v"); t_dd+=("$d"); t_fix+=("$f")
  r_w+=("$(awk -v w="$w" -v d="$d" -v f="$f" 'BEGIN { print (w - f) / d }')")
  r_v+=("$(awk -v w="$w" -v v="$v" -v d="$d" 'BEGIN { print (v - w) / d }')")
done
cmp -n $((size * mib)) "$dev" "$image" || { echo "the device differs from the image" >&2; exit 1; }

echo "$size MiB image onto $dev, median of $runs rounds; load average before: $load_before, after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  update $(secs "$(median "${t_v[@]}")"), without read-back $(secs "$(median "${t_w[@]}")"), dd $(secs "$(median "${t_dd[@]}")"), fixed cost $(secs "$(median "${t_fix[@]}")")"
echo "  write part      (update without read-back - fixed) / dd   $(median "${r_w[@]}" | xargs printf '%.3f')   [$(printf '%.2f ' "${r_w[@]}")]"
echo "  read-back part  (update - update without read-back) / dd  $(median "${r_v[@]}" | xargs printf '%.3f')   [$(printf '%.2f ' "${r_v[@]}")]"

# Peak RSS: one segment buffer whatever the image size.
rss() {  # SIZE-MIB
  image_of "$1" >/dev/null
  "$timer" -v "$bin/orva-utility" --board "$checked" update "\\Storage Card\\nk$1.bin" 2>&1 >/dev/null |
    awk -F': ' '/Maximum resident set size/ { print $2 }'
}
r16=$(rss 16); r128=$(rss 128); r512=$(rss $size)
echo "peak RSS: 16 MiB image $r16 KiB, 128 MiB $r128 KiB, 512 MiB $r512 KiB (512 MiB - 16 MiB: $((r512 - r16)) KiB)"
