#!/usr/bin/env bash
# The fleet playbook (tests/fleet/playbook.yml) over HOSTS simulated
# controllers on this machine, over real SSH (sshd on 127.0.0.1, as the fleet
# test starts it), 10 forks: the wall time of its first run (everything
# changes; half the hosts get an image) and of its second (nothing changes),
# each against the baseline, a playbook of as many ansible.builtin.command
# /bin/true tasks over the same inventory. Each round starts from new
# controllers; the figures are the medians of the rounds.
# Usage: bench/fleet/run.sh [BUILD_DIR] [HOSTS] [ROUNDS]   (default build 20 3)
set -euo pipefail
cd "$(dirname "$0")/../.."
SRC=$PWD
BIN=$PWD/${1:-build}/bin
hosts=${2:-20}
rounds=${3:-3}
FLEET=$(mktemp -d /tmp/orva-bench-fleet-XXXXXX)
export SRC BIN FLEET
# shellcheck source=tests/fleet/fleet_env.sh
source tests/fleet/fleet_env.sh
trap 'fleet_stop; rm -rf "$FLEET"' EXIT
fleet_start_sshd

# Wall time of one playbook run in milliseconds; a run with a failure stops
# the bench.
timed() {
    local start end
    start=$(date +%s%N)
    if ! ansible-playbook -f 10 "$1" > "$FLEET/out" 2>&1; then
        cat "$FLEET/out"
        exit 1
    fi
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }

firsts=() seconds=() bases=()
for round in $(seq "$rounds"); do
    rm -rf "$FLEET/c"
    fleet_make_hosts "$hosts"
    firsts+=("$(timed tests/fleet/playbook.yml)")
    seconds+=("$(timed tests/fleet/playbook.yml)")
    bases+=("$(timed bench/fleet/baseline.yml)")
    echo "round $round: first ${firsts[-1]} ms, second ${seconds[-1]} ms, baseline ${bases[-1]} ms"
done
first=$(median "${firsts[@]}") second=$(median "${seconds[@]}") base=$(median "${bases[@]}")
echo "$hosts hosts, 10 forks, medians of $rounds rounds (load average $(cut -d' ' -f1-3 /proc/loadavg)):"
echo "  first run  $first ms, $(ratio "$first" "$base") x the baseline"
echo "  second run $second ms, $(ratio "$second" "$base") x the baseline (target: at most 1.5)"
echo "  baseline   $base ms (ansible.builtin.command /bin/true, as many tasks)"
