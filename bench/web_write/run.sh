#!/usr/bin/env bash
# The web frontend during an image write: how often the browser gets the
# progress bar and status text, and how much pushing them slows the write.
# The same 1 GiB image is written through the Version Update page by the
# script frontend (which shows nothing) and by the web frontend with a
# WebSocket client logged in, alternately; each run is timed from the
# operator's side, from the confirmation's answer to the reboot offer.
# Prints the medians, the overhead (also as the median of each round's
# ratio, which a load that drifts between rounds disturbs less), the state
# messages per second during the write and the longest gap between two. Run by hand (not in CI); needs
# about 2.5 GiB free under WORKDIR.
# Usage: bench/web_write/run.sh [BUILD_DIR] [RUNS] [WORKDIR]
#   BUILD_DIR  default build (a Release build gives the figures worth quoting)
#   RUNS       default 7
#   WORKDIR    default /var/tmp (a disk, not a tmpfs)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-7}
bin=$(cd "$build/bin" && pwd)
work=$(mktemp -d -p "${3:-/var/tmp}" orva-web-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
measure="/usr/bin/python3 bench/web_write/measure.py"

gib=1073741824
dir=$work/c
"$bin/orva-controller" init "$dir" >/dev/null
sed -i "s/^image_area_size = [0-9-]*/image_area_size = $gib/" "$dir/controller.toml"
head -c $gib /dev/urandom >"$dir/fs/Storage Card/nk.bin"

median() {  # values -> median
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# Warm the page cache and the flash file once with each.
$measure script "$bin" "$dir" >/dev/null
$measure web "$bin" "$dir" >/dev/null

script=() web=() ratios=() rates=() gaps=() sizes=()
for _ in $(seq "$runs"); do
  script+=("$($measure script "$bin" "$dir")")
  read -r seconds updates gap size < <($measure web "$bin" "$dir")
  web+=("$seconds")
  ratios+=("$(awk -v a="$seconds" -v b="${script[-1]}" 'BEGIN { printf "%.4f", a / b }')")
  rates+=("$(awk -v n="$updates" -v s="$seconds" 'BEGIN { printf "%.1f", n / s }')")
  gaps+=("$gap")
  sizes+=("$size")
done
"$bin/orva-controller" -C "$dir" flash read 0 4096 | cmp -s - "$dir/fs/Storage Card/nk.bin" ||
  { echo "flash differs from the image" >&2; exit 1; }

s=$(median "${script[@]}")
w=$(median "${web[@]}")
echo "1 GiB image, median of $runs runs each (from the confirmation to the reboot offer):"
echo "  script frontend        ${s} s   [${script[*]}]"
echo "  web frontend + client  ${w} s   [${web[*]}]"
echo "  overhead               $(awk -v a="$w" -v b="$s" 'BEGIN { printf "%+.1f %%", (a / b - 1) * 100 }') of the medians," \
     "$(awk -v r="$(median "${ratios[@]}")" 'BEGIN { printf "%+.1f %%", (r - 1) * 100 }') the median round"
echo "  load average           $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  updates pushed         median $(median "${rates[@]}") a second   [${rates[*]}]"
echo "  longest gap            median $(median "${gaps[@]}") s, worst $(printf '%s\n' "${gaps[@]}" | sort -g | tail -1) s"
echo "  state message          about $(median "${sizes[@]}") bytes"
