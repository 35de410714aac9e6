#!/usr/bin/env bash
# Checks that every C and C++ source is formatted as .clang-format says.
# With --fix, formats them instead. Exits 1 and names the files that differ.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format.sh: clang-format is not installed (scripts/install-deps.sh)" >&2; exit 1; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' ':!:tests/fuzz/corpus/*')
else
    mapfile -t files < <(find . -path ./tests/fuzz/corpus -prune -o -path './build*' -prune -o \
                              -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
mapfile -t unformatted < <(clang-format --dry-run "${files[@]}" 2>&1 | sed -n 's/^\(.*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
if [ ${#unformatted[@]} -ne 0 ]; then
    printf 'check-format.sh: not formatted as .clang-format says (run scripts/check-format.sh --fix):\n' >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
