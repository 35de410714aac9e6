#!/usr/bin/env bash
# The Ansible collection over real SSH: eight hosts, seven simulated
# controllers and a board, the playbook run three times. The first run
# changes everything it asks for, the second changes nothing, the third
# (--check --diff, after one value was changed by hand) reports exactly that
# difference and writes nothing. One host, whose flash file cannot be used,
# fails alone with the page's message. Exit 77 (skipped) where sshd or
# Ansible cannot run.
set -euo pipefail
build=$1
src=$2
command -v ansible-playbook > /dev/null || { echo "no ansible-playbook (ansible-core)"; exit 77; }
export BIN=$build/bin SRC=$src
FLEET=$(mktemp -d /tmp/orva-fleet-XXXXXX)
export FLEET
# shellcheck source=tests/fleet/fleet_env.sh
source "$src/tests/fleet/fleet_env.sh"
trap 'fleet_stop; rm -rf "$FLEET"' EXIT
fleet_start_sshd || exit $?
fleet_make_hosts 8
# host4, one of the hosts given an image, has a directory for its flash file:
# its registry works, its flash does not.
rm "$FLEET/c/host4/flash.img"
mkdir "$FLEET/c/host4/flash.img"
# host8 is a board, which keeps its state where host8's controller was (its
# first use makes it); it is given no image, so it needs no flash device.
rm -r "$FLEET/c/host8"
mkdir "$FLEET/boards"
cat > "$FLEET/boards/host8.toml" <<BOARD
[board]
state_dir = "$FLEET/c/host8"
[flash]
device = "$FLEET/boards/no-flash"
[identity]
serial_number = "fixed:0808080808080808"
mac = ["fixed:02:08:00:00:00:01", "fixed:02:08:00:00:00:02"]
BOARD
sed -i "s|controller_dir: $FLEET/c/host8\$|board_file: $FLEET/boards/host8.toml|" "$FLEET/inventory.yml"
grep -q "board_file: $FLEET/boards/host8.toml" "$FLEET/inventory.yml" || { echo "no board in the inventory"; exit 1; }

# Runs the playbook; the lines its callback prints (callback_plugins/) go to
# $FLEET/got, the serial numbers of the facts to $FLEET/serials.
play() {
    ANSIBLE_STDOUT_CALLBACK=fleet_results ANSIBLE_CALLBACK_PLUGINS="$src/tests/fleet/callback_plugins" \
        ORVA_FLEET_SERIALS="$FLEET/serials" ansible-playbook -f 8 "$@" "$src/tests/fleet/playbook.yml" \
        > "$FLEET/got" 2> "$FLEET/stderr" || true
}
# Compares $FLEET/got with what standard input says it must be.
expect() {
    if ! diff -u - "$FLEET/got"; then
        echo "--- ansible-playbook's standard error:"
        cat "$FLEET/stderr"
        exit 1
    fi
}
# Every controller file but the logs, with its checksum.
snapshot() { (cd "$FLEET/c" && find . -type f ! -name events.log ! -name debug.log -exec sha256sum {} + | sort); }

erases="the update erases the registry saved in flash: the next start loads the factory registry unless the \
registry is saved again before it"
broken="failed host4 OS image: Write File to Flash: Flash Size Unknown"
# facts HOST MODE: the line the facts task gives for a host with the
# playbook's settings.
facts() { echo "facts $1 $2 \\Windows \\Temp \\Windows\\plc.exe,\\Windows\\logger.exe,"; }
all_but_4="1 2 3 5 6 7 8"

play
{
    for n in 1 2 3; do echo "host$n changed=5 failed=0"; done
    echo "host4 changed=3 failed=1"
    for n in 5 6 7 8; do echo "host$n changed=4 failed=0"; done
    for task in "Display mode" "Server directories" "Programs started at boot"; do
        for n in $(seq 1 8); do echo "changed host$n $task"; done
    done
    for n in 1 2 3; do printf 'changed host%s OS image\nwarned host%s OS image: %s\n' $n $n "$erases"; done
    echo "$broken"
    echo "warned host4 OS image: $erases"
    for n in $all_but_4; do facts host$n 800x600x16@60; done
    for n in $all_but_4; do echo "changed host$n Saved"; done
} | expect
# Each controller its own identity.
[ "$(sort -u "$FLEET/serials" | wc -l)" -eq 7 ] || { echo "serial numbers repeat:"; cat "$FLEET/serials"; exit 1; }

play
{
    for n in $(seq 1 8); do echo "host$n changed=0 failed=$((n == 4))"; done
    echo "$broken"
    echo "warned host4 OS image: $erases"
    for n in $all_but_4; do facts host$n 800x600x16@60; done
} | expect

# One value changed by hand; the check run reports it and writes nothing.
"$BIN/orva-utility" -C "$FLEET/c/host2" display 1024x768 > /dev/null
before=$(snapshot)
for n in $(seq 1 8); do wc -l < "$FLEET/c/host$n/events.log" > "$FLEET/host$n.lines"; done
play --check --diff
{
    for n in $(seq 1 8); do echo "host$n changed=$((n == 2)) failed=$((n == 4))"; done
    echo 'changed host2 Display mode: {"mode": "1024x768x16@60", "saved": true} ->' \
        '{"mode": "800x600x16@60", "saved": false}'
    echo "$broken"
    echo "warned host4 OS image: ${erases/erases/would erase}"
    facts host1 800x600x16@60
    facts host2 1024x768x16@60
    for n in 3 5 6 7 8; do facts host$n 800x600x16@60; done
} | expect
[ "$(snapshot)" = "$before" ] || { echo "the check run changed a file"; diff <(echo "$before") <(snapshot); exit 1; }
for n in $(seq 1 8); do
    if tail -n +$(($(cat "$FLEET/host$n.lines") + 1)) "$FLEET/c/host$n/events.log" | grep -Ev '^(Get|ReadMAC|ChangeSlotToVex)'; then
        echo "the check run made a device call on host$n that is not a read"
        exit 1
    fi
done
echo "fleet: 3 runs over 8 hosts as expected"
