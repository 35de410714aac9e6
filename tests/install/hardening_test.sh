#!/usr/bin/env bash
# The hardening flags of release and package builds (cmake/hardening.cmake),
# tried whatever this build is (a sanitizer or debug build cannot be
# hardened): a small program built as a release build is, put in a throwaway
# package and checked with lintian's hardening checks and readelf.
#
# usage: hardening_test.sh SOURCE-DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
. "$source_dir/tests/install/common.sh"

work=$(mktemp -d /tmp/orva-hardening-XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake -S "$source_dir/tests/install/hardening" -B "$work/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVA_SOURCE_DIR="$source_dir" >"$work/log" 2>&1 || fail "cmake: $(cat "$work/log")"
cmake --build "$work/build" >"$work/log" 2>&1 || fail "build: $(cat "$work/log")"

probe=$work/build/probe
readelf -W -h "$probe" | grep -q 'Type: *DYN' || fail "not position-independent"
readelf -W -d "$probe" | grep -q 'BIND_NOW' || fail "no -z now"
readelf -W -l "$probe" | grep -q 'GNU_RELRO' || fail "no -z relro"
readelf -W --dyn-syms "$probe" | grep -q '__snprintf_chk' || fail "snprintf not fortified"
readelf -W --dyn-syms "$probe" | grep -q '__stack_chk_fail' || fail "no stack protector"

mkdir -p "$work/root/DEBIAN" "$work/root/usr/bin"
cp "$probe" "$work/root/usr/bin/orva-hardening-probe"
cat >"$work/root/DEBIAN/control" <<END
Package: orva-hardening-probe
Version: 1.0-1
Architecture: $(dpkg --print-architecture)
Maintainer: Orva_Utility maintainers <orva-utility@users.noreply.github.com>
Description: the hardening flags tried on a small program
END
dpkg-deb --root-owner-group --build "$work/root" "$work/probe.deb" >/dev/null
report=$(hardening_tags "$work/probe.deb")
[ -z "$report" ] || fail "lintian: $report"
echo "hardening test: passed"
