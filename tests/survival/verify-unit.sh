#!/usr/bin/env bash
# systemd-analyze verify on a user unit: clean means no complaint at all.
#   verify-unit.sh UNIT
set -uo pipefail
command -v systemd-analyze >/dev/null || { echo "verify-unit.sh: systemd-analyze is not installed" >&2; exit 1; }
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
out=$(XDG_RUNTIME_DIR="$runtime" systemd-analyze --user verify "$1" 2>&1)
rc=$?
[[ -n "$out" ]] && echo "$out"
[[ $rc -eq 0 && -z "$out" ]]
