#!/usr/bin/env bash
# One five-man table made from the 3- and 4-man set, compressed as the
# five-man job compresses it, then checked move by move through its
# compressed files: the five-man index routines, the generator's numbering
# and the packer at a size the small tables never reach.
#   usage: five_man.sh BRIX_TOOLS TABLES NAME
set -eu
tools=$1 tables=$2 name=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for f in "$tables"/*.emd; do ln -s "$f" "$scratch/"; done
"$tools" tbgen "$scratch" "$name" --pack >"$scratch/made.txt" 2>"$scratch/progress.txt" || {
    cat "$scratch/progress.txt"; exit 1; }
grep "^table $name:" "$scratch/made.txt"
ls "$scratch/$name".nb?.emd >/dev/null
if ls "$scratch/$name".nb? 2>/dev/null; then echo "uncompressed files left behind"; exit 1; fi
"$tools" tbverify "$scratch" "$name"
