#!/usr/bin/env bash
# with-planted-links.sh PREFIX WINE_RUN TEST_EXE [ARGS...]
# A Windows process under Wine cannot make links, so they are planted here, from the
# Linux side, in a log folder of a scratch folder on the prefix's C: drive; each one
# leads to a file outside that folder, which the test then expects to be unchanged.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/link-scratch.sh"
mkdir -p "$scratch/log" "$scratch/outside"
for file in a b c; do
    printf '%s belongs to someone else\r\n' "$file" >"$scratch/outside/$file.txt"
done
ln -s ../outside/a.txt "$scratch/log/a.log"
ln "$scratch/outside/b.txt" "$scratch/log/b.log"
ln -s ../outside/c.txt "$scratch/log/c.log.1"

VWN_PLANTED_SCRATCH="C:\\$name" "$wine_run" "$prefix" "$@"
