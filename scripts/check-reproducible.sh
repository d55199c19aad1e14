#!/usr/bin/env bash
# Proves the release reproducible: builds it twice, from two copies of this work tree at
# different paths into different build folders, and compares every file of the two releases
# (executables, guides, SHA256SUMS, zips) byte for byte.
#
#   scripts/check-reproducible.sh [--keep]
#
# The copies go to a fresh folder under ${TMPDIR:-/tmp}, removed at the end unless --keep.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
keep=false
case ${1:-} in
"") ;;
--keep) keep=true ;;
*) sed -n '6s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
esac

# Both builds must be told the same time; release.sh takes the commit's by default.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || {
        echo "check-reproducible: not a git checkout; set SOURCE_DATE_EPOCH" >&2
        exit 1
    }
fi
export SOURCE_DATE_EPOCH

work=$(mktemp -d "${TMPDIR:-/tmp}/reproducible.XXXXXX")
if $keep; then
    echo "check-reproducible: keeping $work"
else
    trap 'rm -rf "$work"' EXIT
fi

# The sources as they are in the work tree, committed or not, without build output.
source_files() {
    if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
        git -C "$root" ls-files -z --cached --others --exclude-standard |
            while IFS= read -r -d '' file; do
                [ -e "$root/$file" ] && printf '%s\0' "$file"
            done
    else
        (cd "$root" && find . \( -path ./build -o -path ./.git \) -prune -o -type f -print0)
    fi
}

# Paths of different lengths, so that no path can hide in padding either.
copies=("$work/a" "$work/second/copy-of-the-sources")
for index in 0 1; do
    copy=${copies[$index]}
    mkdir -p "$copy"
    source_files | tar -C "$root" --null -T - -cf - | tar -C "$copy" -xf -
    echo "== release $((index + 1)) of 2 in $copy"
    if ! "$copy/scripts/release.sh" --out "$copy/out-$index" >"$work/release-$index.log" 2>&1; then
        cat "$work/release-$index.log" >&2
        echo "check-reproducible: release $((index + 1)) failed" >&2
        exit 1
    fi
done

released_files() {
    (cd "$1" && find . -path './build-*' -prune -o -type f -print | LC_ALL=C sort)
}
first=${copies[0]}/out-0
second=${copies[1]}/out-1
if ! diff <(released_files "$first") <(released_files "$second") >&2; then
    echo "check-reproducible: the two releases hold different files" >&2
    exit 1
fi
mapfile -t files < <(released_files "$first")
differing=0
for file in "${files[@]}"; do
    if ! cmp -s "$first/$file" "$second/$file"; then
        echo "differs: ${file#./}" >&2
        differing=$((differing + 1))
    fi
done
if [ "$differing" -ne 0 ] || [ "${#files[@]}" -eq 0 ]; then
    echo "check-reproducible: $differing of ${#files[@]} files differ" \
        "(scripts/check-reproducible.sh --keep leaves both for a look)" >&2
    exit 1
fi
echo "check-reproducible: ${#files[@]} files identical in both releases" \
    "(SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
