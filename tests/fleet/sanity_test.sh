#!/usr/bin/env bash
# The collection's own checks, all offline: the ansible-test sanity tests
# that need nothing from the Python package index, every module's
# documentation against its options (ansible-doc), pycodestyle and yamllint
# from Debian's packages, and the collection built with ansible-galaxy.
# Exit 77 (skipped) without ansible-core.
set -euo pipefail
src=$1
command -v ansible-test > /dev/null || { echo "no ansible-test (ansible-core)"; exit 77; }
# Ansible's own Python, not another one that PATH may find first.
export PATH=/usr/bin:$PATH
python=/usr/bin/python3
work=$(mktemp -d /tmp/orva-sanity-XXXXXX)
trap 'rm -rf "$work"' EXIT
# ansible-test works in the collection's tree and keeps its state in the
# home directory: both are copies made for the run.
export HOME=$work/home
collection=$work/ansible_collections/orva/controller
mkdir -p "$collection" "$HOME"
cp -r "$src/ansible/ansible_collections/orva/controller/." "$collection"

# The sanity tests whose requirements come with ansible-core. The others
# (ansible-doc, import, pep8, pylint, runtime-metadata, validate-modules,
# yamllint) install theirs with pip first, which needs the network; the
# checks after these stand in for them.
offline=(action-plugin-docs compile empty-init future-import-boilerplate line-endings metaclass-boilerplate
         no-assert no-basestring no-dict-iteritems no-dict-iterkeys no-dict-itervalues no-get-exception
         no-illegal-filenames no-main-display no-smart-quotes no-unicode-literals replace-urlopen shebang
         symlinks use-argspec-type-path use-compat-six)
version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
args=()
for test in "${offline[@]}"; do args+=(--test "$test"); done
(cd "$collection" && ansible-test sanity --local --python "$version" --color no "${args[@]}")

mkdir "$work/examples"
ANSIBLE_COLLECTIONS_PATH=$work "$python" "$src/tests/fleet/doc_check.py" "$work" "$work/examples"
pycodestyle --max-line-length=160 --ignore=E402,W503,W504 "$collection/plugins" "$src/tests/fleet"
yamllint -s -d '{extends: default, rules: {line-length: {max: 120}}}' \
    "$collection/galaxy.yml" "$collection/meta" "$src/tests/fleet/playbook.yml" "$work/examples"
ansible-galaxy collection build --output-path "$work" "$collection" > /dev/null
ls "$work"/orva-controller-1.0.0.tar.gz
