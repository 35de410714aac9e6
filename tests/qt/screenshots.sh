#!/bin/sh
# Retakes docs/screenshots/qt-*.png: qt_screenshots on Xvfb with a small
# window manager (openbox), so that the sheet and every box carry their title
# bar and caption as on a desktop. Run by hand; installs openbox and
# ImageMagick (`import`) if they are missing. Not part of the tests or CI.
#
# usage: tests/qt/screenshots.sh [BUILD-DIR]     (default build; needs qt_screenshots)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
shots=$build/bin/qt_screenshots
[ -x "$shots" ] || { echo "no $shots: cmake --build $build --target qt_screenshots" >&2; exit 2; }

need=
command -v openbox >/dev/null || need="$need openbox"
command -v import >/dev/null || need="$need imagemagick"
command -v xvfb-run >/dev/null || need="$need xvfb"
command -v xprop >/dev/null || need="$need x11-utils"
if [ -n "$need" ]; then
  sudo=; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y --no-install-recommends $need
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Captions as on the controller: icon, title and close box (openbox keeps its
# minimise and maximise boxes even when a window asks for none).
cat > "$work/rc.xml" <<XML
<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><name>Clearlooks</name><titleLayout>NLC</titleLayout>
    <font place="ActiveWindow"><name>sans</name><size>8</size><weight>bold</weight></font>
    <font place="InactiveWindow"><name>sans</name><size>8</size><weight>bold</weight></font></theme>
</openbox_config>
XML
cat > "$work/session.sh" <<SH
#!/bin/sh
openbox --sm-disable --config-file "$work/rc.xml" &
wm=\$!
# The window manager owns the screen before the first window maps.
i=0
while [ \$i -lt 50 ] && ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window; do
  sleep 0.1; i=\$((i + 1))
done
"$shots" "$work/controller" "$root/docs/screenshots"
rc=\$?
kill \$wm
exit \$rc
SH
chmod +x "$work/session.sh"
xvfb-run -a -s '-screen 0 1024x768x24' "$work/session.sh"
