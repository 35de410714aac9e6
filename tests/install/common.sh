# Shared by the install tests: failing with a message, and the files an
# install holds (relative to its prefix, sorted).
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The number resources/resource.h gives an identifier (idc IDC_WRITE_FLASH):
# scripts name the control they act on.
idc() {
    awk -v name="$1" '$1 == "#define" && $2 == name { print $3 }' "$source_dir/resources/resource.h"
}

installed_files() {
    printf '%s\n' \
        bin/orva-controller \
        bin/orva-utility \
        lib/systemd/system-generators/orva-autorun-generator \
        share/applications/orva-utility.desktop \
        share/bash-completion/completions/orva-controller \
        share/bash-completion/completions/orva-utility \
        share/doc/orva-utility/examples/apply.d/lighttpd-document-root \
        share/doc/orva-utility/examples/apply.d/vsftpd-anon-root \
        share/doc/orva-utility/examples/apply.d/weston-output-mode \
        share/doc/orva-utility/examples/board.toml \
        share/icons/hicolor/16x16/apps/orva-utility.png \
        share/icons/hicolor/32x32/apps/orva-utility.png \
        share/man/man1/orva-controller.1 \
        share/man/man1/orva-utility.1 \
        share/man/man5/orva-board.toml.5 \
        share/man/man5/orva-controller.toml.5 | sort
}

# lintian's hardening tags on package $1, one a line (nothing when it has
# none; lintian shows them as information).
hardening_tags() {
    lintian --display-info --tags hardening-no-bindnow,hardening-no-fortify-functions,hardening-no-pie,hardening-no-relro \
        "$1" 2>&1 | grep -v 'running with root privileges' || true
}
