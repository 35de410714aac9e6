# A fleet of simulated controllers reached over real SSH, for the fleet test
# and bench/fleet: sshd from openssh-server on 127.0.0.1 on a free port, with
# a host key, a client key and a configuration made for the run, and an
# Ansible inventory of HOSTS hosts, all 127.0.0.1, each with a controller of
# its own. Sourced; the caller sets FLEET (a temporary directory), BIN (the
# built programs) and SRC (the source tree), and calls fleet_stop at the end.

# The Python the modules run with, and the one Ansible itself uses.
FLEET_PYTHON=/usr/bin/python3

# A TCP port nobody listens on now.
fleet_free_port() {
    "$FLEET_PYTHON" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts sshd; its pid is in $FLEET/sshd.pid. Returns 77 when this machine
# cannot run it (no sshd, or no privilege separation directory to be had).
fleet_start_sshd() {
    [ -x /usr/sbin/sshd ] || { echo "no /usr/sbin/sshd (openssh-server)"; return 77; }
    # sshd wants its privilege separation directory, which only root can make.
    if [ ! -d /run/sshd ]; then
        mkdir -p /run/sshd 2>/dev/null || { echo "no /run/sshd and not root"; return 77; }
        chmod 755 /run/sshd
    fi
    ssh-keygen -q -t ed25519 -N '' -C fleet-host -f "$FLEET/host_key"
    ssh-keygen -q -t ed25519 -N '' -C fleet-client -f "$FLEET/client_key"
    cp "$FLEET/client_key.pub" "$FLEET/authorized_keys"
    FLEET_PORT=$(fleet_free_port)
    echo "[127.0.0.1]:$FLEET_PORT $(cut -d' ' -f1,2 "$FLEET/host_key.pub")" > "$FLEET/known_hosts"
    # Without PAM, sshd refuses any key to an account whose password is
    # locked ("!" in /etc/shadow, as where root was given no password); with
    # PAM, only PAM's account checks apply, and they let the key in.
    local use_pam=no
    case "$(getent shadow "$(id -un)" 2>/dev/null | cut -d: -f2)" in '!'*) use_pam=yes ;; esac
    # StrictModes off: the keys live in a temporary directory. The sanitizers'
    # options reach the programs the modules run.
    cat > "$FLEET/sshd_config" <<CONFIG
ListenAddress 127.0.0.1:$FLEET_PORT
HostKey $FLEET/host_key
AuthorizedKeysFile $FLEET/authorized_keys
PidFile none
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
StrictModes no
UsePAM $use_pam
MaxSessions 200
MaxStartups 200:30:400
AcceptEnv ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
LogLevel ERROR
CONFIG
    /usr/sbin/sshd -D -e -f "$FLEET/sshd_config" 2>> "$FLEET/sshd.log" &
    echo $! > "$FLEET/sshd.pid"
    local tries=0
    until ssh -F /dev/null -i "$FLEET/client_key" -o UserKnownHostsFile="$FLEET/known_hosts" \
        -o StrictHostKeyChecking=yes -o BatchMode=yes -p "$FLEET_PORT" "$(id -un)@127.0.0.1" true 2>/dev/null; do
        tries=$((tries + 1))
        if [ $tries -ge 50 ] || ! kill -0 "$(cat "$FLEET/sshd.pid")" 2>/dev/null; then
            echo "sshd did not start:"; cat "$FLEET/sshd.log"; return 1
        fi
        sleep 0.1
    done
}

# Makes HOSTS controllers and the inventory and Ansible configuration that
# reach them; exports ANSIBLE_CONFIG. The first half of the hosts get an
# image (IMAGE, a file made here) to write.
fleet_make_hosts() {
    local hosts=$1 n
    head -c 300000 /dev/urandom > "$FLEET/nk.bin"
    local sum
    sum=$(sha256sum < "$FLEET/nk.bin" | cut -c1-64)
    {
        echo "controllers:"
        echo "  vars:"
        echo "    ansible_host: 127.0.0.1"
        echo "    ansible_port: $FLEET_PORT"
        echo "    ansible_user: $(id -un)"
        echo "    ansible_ssh_private_key_file: $FLEET/client_key"
        echo "    ansible_python_interpreter: $FLEET_PYTHON"
        echo "    orva_utility: $BIN/orva-utility"
        echo "    image_sha256: $sum"
        echo "  hosts:"
        for n in $(seq 1 "$hosts"); do
            "$BIN/orva-controller" init "$FLEET/c/host$n" > /dev/null
            echo "    host$n:"
            echo "      controller_dir: $FLEET/c/host$n"
            if [ "$n" -le $((hosts / 2)) ]; then
                cp "$FLEET/nk.bin" "$FLEET/c/host$n/fs/Temp/nk.bin"
                echo "      image: true"
            fi
        done
    } > "$FLEET/inventory.yml"
    # One SSH connection to 127.0.0.1 shared by all hosts' tasks; modules
    # piped into python, not copied first.
    cat > "$FLEET/ansible.cfg" <<CONFIG
[defaults]
inventory = $FLEET/inventory.yml
collections_path = $SRC/ansible
local_tmp = $FLEET/ansible-local
remote_tmp = $FLEET/ansible-remote
retry_files_enabled = false
host_key_checking = true

[ssh_connection]
ssh_args = -F /dev/null -o UserKnownHostsFile=$FLEET/known_hosts -o StrictHostKeyChecking=yes -o ControlMaster=auto -o ControlPersist=120s -o SendEnv=ASAN_OPTIONS -o SendEnv=LSAN_OPTIONS -o SendEnv=UBSAN_OPTIONS
control_path_dir = $FLEET/cp
pipelining = true
CONFIG
    export ANSIBLE_CONFIG="$FLEET/ansible.cfg"
    export ANSIBLE_HOME="$FLEET/ansible-home"
    export ANSIBLE_NOCOLOR=1
}

# Ends the sshd that fleet_start_sshd started, and the SSH master connections.
fleet_stop() {
    local socket
    for socket in "$FLEET"/cp/*; do
        [ -S "$socket" ] && ssh -F /dev/null -o ControlPath="$socket" -O exit x 2>/dev/null
    done
    if [ -s "$FLEET/sshd.pid" ]; then
        kill "$(cat "$FLEET/sshd.pid")" 2>/dev/null
        wait "$(cat "$FLEET/sshd.pid")" 2>/dev/null
    fi
    return 0
}
