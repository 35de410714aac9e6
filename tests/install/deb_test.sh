#!/usr/bin/env bash
# Makes the Debian package of the build (cpack -G DEB, into a temporary
# folder) and checks it as a user's apt would see it: its name and version,
# the files it holds, its Depends (the binaries' libraries and the font),
# its Recommends, stripped binaries without .comment that name no build
# folder, lintian without errors, and in a release build none of lintian's
# hardening tags.
#
# usage: deb_test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
. "$source_dir/tests/install/common.sh"

work=$(mktemp -d /tmp/orva-deb-XXXXXX)
trap '[ -n "${ORVA_KEEP:-}" ] || rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || fail "cpack: $(cat "$work/cpack.log")"
debs=("$work"/orva-utility_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single orva-utility_*.deb: ${debs[*]}"
deb=${debs[0]}

version=$("$build/bin/orva-controller" --version | cut -d' ' -f2)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "orva-utility_${version}-1_$arch.deb" ] || fail "package file name $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = orva-utility ] || fail "Package: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "Version: $(dpkg-deb -f "$deb" Version)"

# The files: the install's, under /usr, with the manual pages compressed and
# the copyright file and changelog Debian asks for.
expected=$( (installed_files | sed -e 's|^share/man/.*|&.gz|' -e 's|^|./usr/|'
    printf '%s\n' ./usr/share/doc/orva-utility/copyright ./usr/share/doc/orva-utility/changelog.Debian.gz) | sort)
got=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
diff <(echo "$expected") <(echo "$got") >&2 || fail "the package's files differ from the list (< expected, > packaged)"
if dpkg-deb -c "$deb" | awk '{print $2}' | grep -v '^root/root$'; then fail "files not owned by root"; fi

# Depends: worked out from the binaries' libraries, plus the dialog font.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed -e 's/^ *//' -e 's/ .*//' | sort)
for package in fonts-liberation2 libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libsqlite3-0 \
    libncursesw6 libtinfo6; do
    grep -qx "$package" <<<"$depends" || fail "Depends lacks $package: $(dpkg-deb -f "$deb" Depends)"
done
[ -z "$(uniq -d <<<"$depends")" ] || fail "Depends names a package twice"
[ "$(dpkg-deb -f "$deb" Recommends)" = bash-completion ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

# Stripped binaries that name no folder of the build (a sanitizer build keeps
# the names of the source files its checks are in, generated ones included).
dpkg-deb -x "$deb" "$work/root"
for program in orva-utility orva-controller; do
    file "$work/root/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
    if readelf -W -S "$work/root/usr/bin/$program" | grep -E ' \.(comment|note) '; then
        fail "$program keeps .comment or .note"
    fi
    if strings "$work/root/usr/bin/$program" | grep -F "$build" | grep -vE '\.(cpp|h)$'; then
        fail "$program names the build folder"
    fi
done

# lintian: no errors (warnings are reported, not failed on).
status=0
report=$(lintian --fail-on error "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ $status -eq 0 ] || fail "lintian reports errors"
# Hardening: a sanitizer or debug build cannot be hardened (the sanitizers,
# -O0); hardening_test.sh tries the flags whatever the build.
if grep -q '^ORVA_HARDENED:INTERNAL=ON$' "$build/CMakeCache.txt"; then
    tags=$(hardening_tags "$deb")
    [ -z "$tags" ] || fail "lintian: $tags"
fi
echo "debian package test: passed ($(basename "$deb"))"
