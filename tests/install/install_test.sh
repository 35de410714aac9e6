#!/usr/bin/env bash
# Installs the build into a temporary prefix (cmake --install) and uses what
# was installed as a user would, from a folder outside the source and build
# trees with neither on PATH: the file list, the manual pages, the desktop
# entry, the completions, orva-controller init, an image write and an exit
# with save through the script frontend, and the registry viewer.
#
# usage: install_test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
. "$source_dir/tests/install/common.sh"

work=$(mktemp -d /tmp/orva-install-XXXXXX)
trap '[ -n "${ORVA_KEEP:-}" ] || rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# --- what is installed, and that none of it leans on the trees it came from
diff <(installed_files) <(cd "$prefix" && find . -type f -printf '%P\n' | sort) >&2 ||
    fail "the installed files differ from the list (< expected, > installed)"
if grep -rIlF -e "$source_dir" -e "$build" "$prefix"; then fail "installed text files name the source or build tree"; fi
for program in orva-utility orva-controller; do
    if readelf -d "$prefix/bin/$program" | grep -E 'RPATH|RUNPATH'; then fail "$program has a library path"; fi
done

for page in man1/orva-utility.1 man1/orva-controller.1 man5/orva-controller.toml.5 man5/orva-board.toml.5; do
    warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man --warnings $page: $warnings"
done
[ "$(man -M "$prefix/share/man" -w orva-controller.toml)" = "$prefix/share/man/man5/orva-controller.toml.5" ] ||
    fail "man does not find orva-controller.toml(5) in the prefix"
out=$(desktop-file-validate "$prefix/share/applications/orva-utility.desktop" 2>&1) ||
    fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
for size in 16 32; do
    file "$prefix/share/icons/hicolor/${size}x$size/apps/orva-utility.png" | grep -q "PNG image data, $size x $size" ||
        fail "the ${size}x$size icon is not a $size x $size PNG"
done

# --- bash completion, as bash runs it: "WORDS..." "CURRENT INDEX" -> replies
complete_words() {
    local file=$1 function=$2 index=$3
    shift 3
    (cd "$work/controllers" &&
        bash -c '. "$1"; COMP_WORDS=("${@:4}"); COMP_CWORD=$3; "$2"; printf "%s\n" "${COMPREPLY[@]}"' \
            _ "$prefix/share/bash-completion/completions/$file" "$function" "$index" "$@") | sort | paste -sd' '
}
mkdir -p "$work/controllers/alpha" "$work/controllers/beta"
check_completion() {
    local want=$1
    shift
    local got
    got=$(complete_words "$@")
    [ "$got" = "$want" ] || fail "completing ${*:4}: got \"$got\", want \"$want\""
}
check_completion "qt script terminal web" orva-utility _orva_utility 2 orva-utility --frontend ""
check_completion "--tls-cert --tls-key" orva-utility _orva_utility 3 orva-utility --frontend web --tls
check_completion "--controller" orva-utility _orva_utility 1 orva-utility --con
check_completion "factory-reset ftp-dir" orva-utility _orva_utility 1 orva-utility f
check_completion "--json" orva-utility _orva_utility 4 orva-utility -C x info --j
check_completion "--no-save" orva-utility _orva_utility 3 orva-utility ftp-dir '\\Temp' --no
check_completion "$work/controllers/alpha" orva-utility _orva_utility 2 orva-utility --controller "$work/controllers/a"
check_completion "$work/controllers/beta" orva-utility _orva_utility 3 orva-utility --controller = "$work/controllers/b"
check_completion "flash help init log module reboot reg" orva-controller _orva_controller 1 orva-controller ""
check_completion "$work/controllers/alpha" orva-controller _orva_controller 2 orva-controller -C "$work/controllers/al"
check_completion "--force" orva-controller _orva_controller 4 orva-controller flash read 0 --f
check_completion "--factory --saved delete export get import mkkey restore set" orva-controller _orva_controller 2 orva-controller reg ""
check_completion "factory saved" orva-controller _orva_controller 4 orva-controller reg restore --from ""
check_completion "REG_DWORD" orva-controller _orva_controller 7 orva-controller -C x reg set Key Value REG_D
check_completion "--clear --debug" orva-controller _orva_controller 2 orva-controller log --
check_completion "utf-16le" orva-controller _orva_controller 5 orva-controller reg import f.reg --encoding utf-1
check_completion "131072 262144" orva-controller _orva_controller 4 orva-controller init x --segment-size ""

# --- the programs, from outside both trees, found through PATH or by their path
cd "$work"
run() {
    env -i HOME="$work" LANG=C.UTF-8 PATH="$1" ASAN_OPTIONS="${ASAN_OPTIONS:-}" LSAN_OPTIONS="${LSAN_OPTIONS:-}" \
        UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" "${@:2}"
}
on_path="$prefix/bin:/usr/bin:/bin"
[ "$(run "$on_path" orva-utility --version)" = "orva-utility $(run "$on_path" orva-controller --version | cut -d' ' -f2)" ] ||
    fail "the two programs do not print the same version"
run "$on_path" orva-controller --version | grep -Eqx 'orva-controller [0-9]+\.[0-9]+\.[0-9]+' ||
    fail "orva-controller --version is not one line with the version"

run "$on_path" orva-controller init ctl
head -c 600000 /dev/urandom >"ctl/fs/Storage Card/nk.bin"
cat >update.txt <<SCRIPT
tab 4
type $(idc IDC_IMAGE_PATH) "\\\\Storage Card\\\\nk.bin"
answer OK NO
click $(idc IDC_WRITE_FLASH)
answer YES YES NO
cancel
SCRIPT
run "$on_path" orva-utility --controller ctl update.txt >transcript.txt 2>errors.txt ||
    fail "the image write ended with $?: $(cat transcript.txt errors.txt)"
for line in 'debug "intStartSegNo=0\n\r"' 'debug "intEndSegNo=3\n\r"' \
    'box none "Update OS image" "Update OS image succeed, Reboot now ?" 0x24 -> NO' \
    'box "Version Update" "Save Registry" "Save your settings to registry ?" 0x24 -> YES' 'exit 0'; do
    grep -qxF "$line" transcript.txt || fail "the transcript has no line $line: $(cat transcript.txt)"
done
run "$on_path" orva-controller -C ctl flash read 0 3 >flash.bin
cmp -n 600000 flash.bin "ctl/fs/Storage Card/nk.bin" || fail "the flash does not hold the image"
[ "$(run "$on_path" orva-controller -C ctl log --debug)" = $'intStartSegNo=0\nintEndSegNo=3' ] ||
    fail "debug.log: $(cat ctl/debug.log)"
[ "$(run "$on_path" orva-controller -C ctl reg --saved get 'Drivers\Display\MQ200' CxScreen)" = "REG_DWORD 4 640" ] ||
    fail "the exit with save left no saved registry"

# The registry viewer, started by the installed program that is not on PATH:
# it runs the orva-controller installed beside it.
wait_for() {
    for _ in $(seq 100); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    return 1
}
viewer_runs() {
    local ctl=$1
    rm -f "$ctl/fs/Temp/RegView.txt"
    printf 'click %s\nanswer NO\ncancel\n' "$(idc IDC_VIEW_REGISTRY)" | run /usr/bin:/bin "$prefix/bin/orva-utility" --controller "$ctl" - >/dev/null ||
        fail "View Registry on $ctl failed"
    wait_for "$ctl/fs/Temp/RegView.txt" || fail "the viewer of $ctl wrote no \\Temp\\RegView.txt"
    head -1 "$ctl/fs/Temp/RegView.txt" | grep -q "^Windows Registry Editor Version 5.00" ||
        fail "RegView.txt is not the registry: $(head -3 "$ctl/fs/Temp/RegView.txt")"
}
viewer_runs ctl
# Run by hand, it finds orva-controller on PATH, also when
# ORVA_CONTROLLER_TOOL names one that is gone.
for tool in "" /gone/bin/orva-controller; do
    rm -f ctl/fs/Temp/RegView.txt
    run "$on_path" env ${tool:+ORVA_CONTROLLER_TOOL=$tool} ctl/fs/Windows/RegView.exe ||
        fail "the viewer run by hand failed (ORVA_CONTROLLER_TOOL=$tool)"
    [ -s ctl/fs/Temp/RegView.txt ] || fail "the viewer run by hand wrote nothing (ORVA_CONTROLLER_TOOL=$tool)"
done
# A controller made by the build tree's tool works the same with the
# installed programs: its viewer names no file of the build.
"$build/bin/orva-controller" init made-by-build
if grep -F "$build" made-by-build/fs/Windows/RegView.exe; then fail "the viewer names the build tree"; fi
viewer_runs made-by-build
echo "install test: passed"
