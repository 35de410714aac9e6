#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when
# any is missing. Safe to run again.
set -euo pipefail
# Fonts: Liberation Sans is the Qt frontend's dialog font (the package
# depends on it); DejaVu is what the Qt tests' DejaVu-only run shows.
# Packaging and manuals: scdoc turns the manual pages into roff at build time;
# dpkg-dev and file let cpack work out the package's dependencies; man-db,
# lintian and desktop-file-utils check what is installed.
# Fuzzing: clang with its sanitizer and libFuzzer runtimes (scripts/fuzz.sh).
# Style: clang-format checks the sources' layout (scripts/check-format.sh).
# Web frontend: Boost (Beast, Asio; headers only) and nlohmann-json build it;
# its tests drive Debian's chromium through chromium-driver and
# python3-selenium, and use the openssl command.
# Board backend: its tests attach loop devices (util-linux's losetup), make
# and mount a filesystem on one (e2fsprogs' mkfs.ext2, mount) and check the
# generator's units with systemd-analyze (systemd).
# Fleet: the Ansible collection is checked with ansible-core's ansible-test,
# ansible-doc and ansible-galaxy, yamllint and pycodestyle, and its playbook
# runs over real SSH (openssh-server's sshd on 127.0.0.1, openssh-client).
packages=(cmake g++ make pkg-config libsqlite3-dev sqlite3 libtomlplusplus-dev libncurses-dev qt6-base-dev
          libgtest-dev googletest libssl-dev xvfb xauth tmux util-linux procps time
          fonts-liberation2 fonts-dejavu-core
          scdoc dpkg-dev file man-db lintian desktop-file-utils
          clang libclang-rt-14-dev clang-format
          libboost-dev nlohmann-json3-dev openssl chromium chromium-driver python3-selenium
          e2fsprogs mount systemd
          ansible-core openssh-server openssh-client yamllint pycodestyle)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
