#!/bin/sh
# Time from the start of orva-utility to the property sheet's first frame on
# an X display (Xvfb), over several runs. The Qt frontend, with
# ORVA_QT_FIRST_FRAME set, reports the moment the sheet is on screen and ends
# the program with a quit message (no box to answer). Page 1's own work when
# it is created (its registry reads with their 10 ms pauses) is reported
# apart, and the time without it is the frontend's and the program's own.
#
# usage: bench/qt_startup/run.sh [BUILD-DIR] [RUNS]     (default build, 9)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
runs=${2:-9}
utility=$build/bin/orva-utility
tool=$build/bin/orva-controller
[ -x "$utility" ] || { echo "no $utility: build orva-utility first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" init "$work/controller" >/dev/null

cat > "$work/once.sh" <<SH
#!/bin/sh
i=0
while [ \$i -lt $runs ]; do
  start=\$(date +%s%N)
  ORVA_QT_FIRST_FRAME=1 "$utility" --controller "$work/controller" 2>&1 >/dev/null |
    sed -n "s/^orva-utility: first-frame at \([0-9]*\) ns; page 1 init \([0-9]*\) ns; Qt ready at \([0-9]*\) ns; sheet made at \([0-9]*\) ns/\$start \1 \2 \3 \4/p"
  i=\$((i + 1))
done
SH
chmod +x "$work/once.sh"
xvfb-run -a -s '-screen 0 1024x768x24' "$work/once.sh" > "$work/times"

awk '
  { total = ($2 - $1) / 1e6; page = $3 / 1e6; n++
    t[n] = total; p[n] = page; o[n] = total - page
    printf "run %2d: %6.1f ms to the first frame, page 1 init %5.1f ms, without it %6.1f ms\n", n, total, page, total - page }
  function median(a, n,   i, j, x) {
    for (i = 2; i <= n; i++) { x = a[i]; for (j = i - 1; j > 0 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
  END {
    if (n == 0) { print "no run reported a first frame" > "/dev/stderr"; exit 1 }
    printf "median of %d: %.1f ms to the first frame, page 1 init %.1f ms, without it %.1f ms (target: under 150 ms)\n",
           n, median(t, n), median(p, n), median(o, n) }' "$work/times"
