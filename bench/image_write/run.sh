#!/usr/bin/env bash
# Writing an OS image through the "Version Update" page (script frontend)
# against dd writing the same bytes onto a file of the flash file's size with
# an fsync at the end, on the same file system, for a 512 MiB and a 1 GiB
# image. Each round runs, in turn: the update, dd, and the program's fixed
# cost on its own (start, page 1's registry pauses, exit: the same script
# without the update); the rounds of both sizes are interleaved. Printed:
# median wall times and, as the median of the rounds' own ratios,
#   write part    (update - fixed cost) / dd
#   whole update  update / dd
# then peak RSS for a 16 MiB, a 512 MiB and a 1 GiB image. Run by hand (not
# in CI); needs about 5 GiB free under WORKDIR.
# Usage: bench/image_write/run.sh [BUILD_DIR] [RUNS] [WORKDIR]
#   BUILD_DIR  default build (a Release build gives the figures worth quoting)
#   RUNS       rounds per size, default 7 (at least 5)
#   WORKDIR    default /var/tmp (a disk, not a tmpfs)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-7}
bin=$build/bin
work=$(mktemp -d -p "${3:-/var/tmp}" orva-image-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
timer=/usr/bin/time
[ -x "$timer" ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }
[ "$runs" -ge 5 ] || { echo "RUNS must be at least 5" >&2; exit 2; }

mib=1048576
sizes=(512 1024)  # MiB

# A controller on 256 KiB flash whose image area holds SIZE bytes, with an
# image of SIZE random bytes at \Storage Card\nk.bin.
controller() {  # NAME SIZE
  local dir=$work/$1
  "$bin/orva-controller" init "$dir" >/dev/null
  sed -i "s/^image_area_size = [0-9-]*/image_area_size = $2/" "$dir/controller.toml"
  head -c "$2" /dev/urandom >"$dir/fs/Storage Card/nk.bin"
  echo "$dir"
}

update_script='tab 4
type 1035 "\\Storage Card\\nk.bin"
answer OK NO NO
click 1038
cancel
'
fixed_script='tab 4
answer NO
cancel
'

now_us() { echo $(( $(date +%s%N) / 1000 )); }

median() {  # numbers -> median
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

secs() { awk -v t="$1" 'BEGIN { printf "%.3f s", t / 1e6 }'; }

update() {  # CONTROLLER
  printf '%s' "$update_script" | "$bin/orva-utility" --controller "$1" --frontend script - >"$work/transcript" 2>/dev/null
  grep -q 'Update OS image succeed' "$work/transcript" || { echo "the update failed:" >&2; cat "$work/transcript" >&2; exit 1; }
}
fixed() {  # CONTROLLER
  printf '%s' "$fixed_script" | "$bin/orva-utility" --controller "$1" --frontend script - >/dev/null 2>&1
}
copy() {  # CONTROLLER
  dd if="$1/fs/Storage Card/nk.bin" of="$1.dd" bs=256k conv=notrunc,fsync status=none
}
timed() {  # COMMAND ARGS... -> microseconds
  local t0 t1
  t0=$(now_us); "$@"; t1=$(now_us)
  echo $((t1 - t0))
}

declare -A t_upd t_dd t_fix wr wh
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for m in "${sizes[@]}"; do
  dir=$(controller "m$m" $((m * mib)))
  truncate -s $((m * mib)) "$dir.dd"
  # Warm both once: the image in the page cache, the flash file and dd's file written.
  update "$dir"
  copy "$dir"
done

for _ in $(seq "$runs"); do
  for m in "${sizes[@]}"; do
    dir=$work/m$m
    u=$(timed update "$dir"); d=$(timed copy "$dir"); f=$(timed fixed "$dir")
    t_upd[$m]+=" $u"; t_dd[$m]+=" $d"; t_fix[$m]+=" $f"
    wr[$m]+=" $(awk -v u="$u" -v d="$d" -v f="$f" 'BEGIN { print (u - f) / d }')"
    wh[$m]+=" $(awk -v u="$u" -v d="$d" 'BEGIN { print u / d }')"
  done
done

echo "median of $runs rounds; load average before: $load_before, after: $(cut -d' ' -f1-3 /proc/loadavg)"
for m in "${sizes[@]}"; do
  dir=$work/m$m
  "$bin/orva-controller" -C "$dir" flash read 0 $((m * 4)) | cmp -s - "$dir/fs/Storage Card/nk.bin" ||
    { echo "the flash differs from the image" >&2; exit 1; }
  # shellcheck disable=SC2086
  echo "$m MiB image: update $(secs "$(median ${t_upd[$m]})"), dd $(secs "$(median ${t_dd[$m]})"), fixed cost $(secs "$(median ${t_fix[$m]})")"
  # shellcheck disable=SC2086
  echo "  write part   (update - fixed) / dd   $(median ${wr[$m]} | xargs printf '%.3f')   [$(printf '%.2f ' ${wr[$m]})]"
  # shellcheck disable=SC2086
  echo "  whole update update / dd             $(median ${wh[$m]} | xargs printf '%.3f')   [$(printf '%.2f ' ${wh[$m]})]"
done

# Peak RSS: one segment buffer whatever the image size.
small=$(controller small $((16 * mib)))
rss() {  # CONTROLLER
  printf '%s' "$update_script" | "$timer" -v "$bin/orva-utility" --controller "$1" --frontend script - 2>&1 >/dev/null |
    awk -F': ' '/Maximum resident set size/ { print $2 }'
}
r16=$(rss "$small"); r512=$(rss "$work/m512"); r1024=$(rss "$work/m1024")
echo "peak RSS: 16 MiB image $r16 KiB, 512 MiB $r512 KiB, 1 GiB $r1024 KiB (1 GiB - 16 MiB: $((r1024 - r16)) KiB)"
