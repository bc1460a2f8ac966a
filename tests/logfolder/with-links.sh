#!/usr/bin/env bash
# with-links.sh PREFIX WINE_RUN TEST_EXE [ARGS...]
# A Windows process under Wine cannot make links, so they are made here, from the
# Linux side, in a scratch folder of the prefix's C: drive. After the run this
# script checks that every link target is still whole: nothing outside a folder
# being reset may be touched.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/link-scratch.sh"
mkdir -p "$scratch"/documents-a/photos "$scratch"/documents-b/empty "$scratch"/folder-b/sub "$scratch"/folder-c

printf 'letter from the user\r\n' >"$scratch/documents-a/letter.txt"
head -c 3000 /dev/zero | tr '\0' p >"$scratch/documents-a/photos/holiday.jpg"
printf 'taxes 2024\r\n' >"$scratch/documents-b/taxes.txt"
printf 'report\r\n' >"$scratch/document.txt"

# A link at the folder's path, a folder link and a file link inside folders with plain contents.
ln -s documents-a "$scratch/at-path"
printf 'old log\r\n' >"$scratch/folder-b/vwn.log"
printf 'older log\r\n' >"$scratch/folder-b/sub/vwn.1.log"
ln -s ../documents-b "$scratch/folder-b/docs"
printf 'old log\r\n' >"$scratch/folder-c/vwn.log"
ln -s ../document.txt "$scratch/folder-c/doc.txt"
# Removing this one as a directory would take its empty target along.
mkdir -p "$scratch/spare-folder" "$scratch/folder-d"
printf 'old log\r\n' >"$scratch/folder-d/vwn.log"
ln -s ../spare-folder "$scratch/folder-d/spare"

# A link above the folder: "above\Tessaly" leads to someone else's folder that has a "Voltwren" too.
mkdir -p "$scratch/above" "$scratch/elsewhere/Voltwren"
printf 'not ours\r\n' >"$scratch/elsewhere/Voltwren/keep.txt"
ln -s ../elsewhere "$scratch/above/Tessaly"

status=0
VWN_LINK_SCRATCH="C:\\$name" "$wine_run" "$prefix" "$@" || status=$?

check() {
    if [ "$(cat "$scratch/$1" 2>/dev/null)" != "$(printf "$2")" ]; then
        echo "with-links.sh: $1 was touched" >&2
        status=1
    fi
}
check documents-a/letter.txt 'letter from the user\r'
check documents-b/taxes.txt 'taxes 2024\r'
check document.txt 'report\r'
check elsewhere/Voltwren/keep.txt 'not ours\r'
[ "$(wc -c <"$scratch/documents-a/photos/holiday.jpg")" = 3000 ] || { echo "with-links.sh: holiday.jpg was touched" >&2; status=1; }
for folder in documents-b/empty spare-folder; do
    [ -d "$scratch/$folder" ] || { echo "with-links.sh: $folder was removed" >&2; status=1; }
done
exit $status
