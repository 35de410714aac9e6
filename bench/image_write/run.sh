#!/usr/bin/env bash
# Writing a 1 GiB OS image through the "Version Update" page (script
# frontend) against dd writing the same bytes into a file of the same size
# with an fsync at the end, on the same file system in the same run: median
# wall times and their ratio; the program's fixed cost on its own; and peak
# RSS for a 1 GiB and a 16 MiB image. Run by hand (not in CI); needs about
# 3.5 GiB free under WORKDIR.
# Usage: bench/image_write/run.sh [BUILD_DIR] [RUNS] [WORKDIR]
#   BUILD_DIR  default build (a Release build gives the figures worth quoting)
#   RUNS       default 5
#   WORKDIR    default /var/tmp (a disk, not a tmpfs)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-5}
bin=$build/bin
work=$(mktemp -d -p "${3:-/var/tmp}" orva-image-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
timer=/usr/bin/time
[ -x "$timer" ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }

gib=1073741824
segment=262144

# A controller on 256 KiB flash whose image area holds SIZE bytes.
controller() {  # NAME SIZE
  local dir=$work/$1
  "$bin/orva-controller" init "$dir" >/dev/null
  sed -i "s/^image_area_size = [0-9-]*/image_area_size = $2/" "$dir/controller.toml"
  echo "$dir"
}

script='tab 4
type 1035 "\\Storage Card\\nk.bin"
answer OK NO NO
click 1038
cancel
'

now_us() { echo $(( $(date +%s%N) / 1000 )); }

median() {  # microsecond values -> median
  local sorted
  sorted=($(printf '%s\n' "$@" | sort -n))
  echo "${sorted[$(( ${#sorted[@]} / 2 ))]}"
}

ms() { printf '%d.%03d s' $(( $1 / 1000000 )) $(( ($1 / 1000) % 1000 )); }

big=$(controller big $gib)
head -c $gib /dev/urandom >"$big/fs/Storage Card/nk.bin"
image="$big/fs/Storage Card/nk.bin"
dd_target=$work/flash-dd.img
truncate -s $gib "$dd_target"

update() {  # CONTROLLER
  printf '%s' "$script" | "$bin/orva-utility" --controller "$1" --frontend script - >"$work/transcript" 2>/dev/null
  grep -q 'Update OS image succeed' "$work/transcript" || { echo "the update failed:" >&2; cat "$work/transcript" >&2; exit 1; }
}

# Warm both once: the image in the page cache, the flash file and dd's file allocated.
update "$big"
dd if="$image" of="$dd_target" bs=256k conv=notrunc,fsync status=none

program=() copy=()
for _ in $(seq "$runs"); do
  t0=$(now_us); update "$big"; t1=$(now_us)
  program+=($((t1 - t0)))
  t0=$(now_us); dd if="$image" of="$dd_target" bs=256k conv=notrunc,fsync status=none; t1=$(now_us)
  copy+=($((t1 - t0)))
done
"$bin/orva-controller" -C "$big" flash read 0 4096 | cmp -s - "$image" || { echo "flash differs from the image" >&2; exit 1; }

p=$(median "${program[@]}")
d=$(median "${copy[@]}")
echo "1 GiB image, median of $runs runs:"
echo "  orva-utility (script frontend)   $(ms "$p")   [$(for t in "${program[@]}"; do printf '%s, ' "$(ms "$t")"; done | sed 's/, $//')]"
echo "  dd bs=256k conv=notrunc,fsync    $(ms "$d")   [$(for t in "${copy[@]}"; do printf '%s, ' "$(ms "$t")"; done | sed 's/, $//')]"
echo "  ratio program / dd               $(awk -v a="$p" -v b="$d" 'BEGIN { printf "%.2f", a / b }')"

# The fixed cost: start, page 1's registry pauses and exit; and the same with
# the update page opened and an empty image written (the 16 registry erases).
small=$(controller small $((16 * 1048576)))
: >"$small/fs/Storage Card/nk.bin"
fixed=() empty=()
for _ in $(seq $((runs * 4))); do
  t0=$(now_us); printf 'answer NO\ncancel\n' | "$bin/orva-utility" --controller "$small" --frontend script - >/dev/null; t1=$(now_us)
  fixed+=($((t1 - t0)))
  t0=$(now_us); update "$small"; t1=$(now_us)
  empty+=($((t1 - t0)))
done
echo "fixed cost, median of $((runs * 4)) runs:"
echo "  start to exit (answer NO, cancel)         $(ms "$(median "${fixed[@]}")")"
echo "  start, empty image written, exit          $(ms "$(median "${empty[@]}")")"

# Peak RSS: one segment buffer whatever the image size.
head -c $((16 * 1048576)) /dev/urandom >"$small/fs/Storage Card/nk.bin"
rss() {  # CONTROLLER
  printf '%s' "$script" | "$timer" -v "$bin/orva-utility" --controller "$1" --frontend script - 2>&1 >/dev/null |
    awk -F': ' '/Maximum resident set size/ { print $2 }'
}
r_big=$(rss "$big")
r_small=$(rss "$small")
echo "peak RSS: 1 GiB image $r_big KiB, 16 MiB image $r_small KiB, difference $((r_big - r_small)) KiB"
