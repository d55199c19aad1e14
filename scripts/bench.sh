#!/usr/bin/env bash
# Benchmarks: one deliverable beside the floor (bench/floor), measured side by side in one run
# under Wine, each figure with the floor's and their ratio.
#
#   scripts/bench.sh [--quick] [--deliverable NAME] [--out FILE]
#
# Builds both bitnesses as the release does (in build/bench), makes a fresh Wine session, runs
# the driver (bench/driver), prints the table and writes it with the machine and the date:
# into docs/benchmarks.md between its result markers, or, with --quick (a smoke run of about
# a minute whose idle window comes before the first job), into build/bench/results-quick.md.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
usage() {
    sed -n '5,5s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

quick=false
deliverable=Pellawin
out=
while [ $# -gt 0 ]; do
    case $1 in
    --quick) quick=true; shift ;;
    --deliverable) [ $# -ge 2 ] || usage; deliverable=$2; shift 2 ;;
    --out) [ $# -ge 2 ] || usage; out=$2; shift 2 ;;
    *) usage ;;
    esac
done
if [ -z "$out" ]; then
    if $quick; then out=$root/build/bench/results-quick.md; else out=$root/docs/benchmarks.md; fi
fi
command_line="scripts/bench.sh$($quick && echo ' --quick' || true)"
[ "$deliverable" = Pellawin ] || command_line+=" --deliverable $deliverable"

"$root/scripts/install-deps.sh"
SECONDS=0
work=$root/build/bench
mkdir -p "$work"
# Nothing from this shell may reach the compilers: the executables are measured as shipped.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS RCFLAGS
export LC_ALL=C

file_name=$(echo "$deliverable" | tr '[:lower:]' '[:upper:]').EXE
build() {
    local arch=$1
    shift
    cmake -S "$root" -B "$work/build-$arch" -G Ninja --toolchain "$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$work/build-$arch" --target "$@" >"$work/build-$arch.log" 2>&1 || {
        cat "$work/build-$arch.log" >&2
        exit 1
    }
}
echo "== building (build/bench/build-x86_64, build/bench/build-i686)"
mapfile -t all_deliverables < <(sed -n 's/^jobsvc_profile(\([A-Za-z]*\)$/\1/p' "$root/profiles/profiles.cmake")
build x86_64 "${all_deliverables[@]}" job_floor noop_handler job_bench sample_handler
build i686 "$deliverable" job_floor
x64=$work/build-x86_64

# Sizes and imports need no Wine: they are the files as shipped.
rows=$work/rows.tsv
: >"$rows"
imports() {
    "$1-w64-mingw32-objdump" -p "$2" | sed -n 's/^\s*DLL Name: //p' | sort -f | paste -sd' '
}
for arch in x86_64 i686; do
    ours=$work/build-$arch/bin/$file_name
    floor=$work/build-$arch/bench/JOBFLOOR.EXE
    printf 'imports\t%s\t%s\t%s\n' "$arch" "$(imports "$arch" "$ours")" "$(imports "$arch" "$floor")" >>"$rows"
    printf 'row\tsize-%s\tExecutable size, %s\tbytes\t%s\t\t\t%s\t\t\t1\n' "$arch" "$arch" \
        "$(stat -c %s "$ours")" "$(stat -c %s "$floor")" >>"$rows"
done

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
session=$work/wine
echo "== Wine session in build/bench/wine"
"$root/scripts/wine-session.sh" create "$session" "$x64/tools/sample_handler.dll"
"$root/scripts/wine-session.sh" start "$session"
trap '"$root/scripts/wine-session.sh" stop "$session"' EXIT
eval "$("$root/scripts/wine-session.sh" env "$session")"

echo "== measuring $deliverable and the floor$($quick && echo ' (quick)' || true)"
driver_options=(--deliverable "$deliverable")
$quick && driver_options+=(--quick)
status=0
"${WINE:-wine}" "$x64/bench/job_bench.exe" "${driver_options[@]}" "$(windows_path "$x64/bin")" \
    "$(windows_path "$x64/bench/JOBFLOOR.EXE")" "$(windows_path "$x64/bench/noop_handler.dll")" \
    </dev/null 2>"$work/driver.log" | tr -d '\r' >>"$rows" || status=$?
[ "$status" -eq 0 ] || echo "bench: the driver failed ($status); see build/bench/driver.log" >&2

minutes=$(awk -v s="$SECONDS" 'BEGIN { printf "%.1f", s / 60 }')
# The table: median (min to max) of ours and of the floor, their ratio, and the target.
table() {
    awk -F'\t' '
        function number(v) { return v == int(v) ? sprintf("%d", v) : sprintf("%.4g", v) }
        function figure(median, low, high) {
            if (low == "" || (low == median && high == median)) return number(median)
            return number(median) " (" number(low) " to " number(high) ")"
        }
        function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
        function check(ok, text) { verdict = ok ? "met" : "**missed**"; return text ": " verdict }
        $1 == "imports" { ours_imports[$2] = $3; floor_imports[$2] = $4; next }
        $1 != "row" { next }
        {
            key = $2; a = $5 + 0; b = $8 + 0; r = b > 0 ? a / b : 0; target = ""
            if (key == "start" || key == "stop" || key == "dispatch" || key ~ /^memory-/)
                target = check(r <= 1.10, "ratio <= 1.10")
            else if (key ~ /^size-/) target = check(r <= 1.25, "ratio <= 1.25")
            else if (key == "idle-switches" || key == "idle-cpu") target = check(a == 0, "zero")
            else if (key == "gate-8") target = check(a >= 95, ">= 95 %")
            printf "| %s | %s | %s | %s | %s | %s |\n", $3, $4, figure($5, $6, $7),
                figure($8, $9, $10), ratio(a, b), target
            if (key ~ /^size-/) {
                arch = substr(key, 6)
                printf "| Imported DLLs, %s | | %s | %s | | |\n", arch, ours_imports[arch],
                    floor_imports[arch]
            }
        }' "$rows"
}
notes() {
    awk -F'\t' '$1 == "note" { print "- " $2 }' "$rows"
}

machine() {
    local cpu
    cpu=$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)
    printf '%s, %s cores, %s GiB; Linux %s, Debian %s; %s; %s' "$cpu" "$(nproc)" \
        "$(awk '/^MemTotal/ { printf "%.0f", $2 / 1048576 }' /proc/meminfo)" "$(uname -r)" \
        "$(cat /etc/debian_version 2>/dev/null || echo '?')" "$("${WINE:-wine}" --version 2>/dev/null)" \
        "$(x86_64-w64-mingw32-g++-posix --version | head -n 1)"
}
revision() {
    local commit
    commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
    if [ -n "$(git -C "$root" status --porcelain 2>/dev/null)" ]; then commit+=" with local changes"; fi
    echo "$commit"
}

results=$work/results.md
{
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') with \`$command_line\` ($minutes minutes), revision $(revision)."
    echo "Machine: $(machine)."
    echo
    echo "| Measure | Unit | Ours: median (min to max) | Floor: median (min to max) | Ratio | Target |"
    echo "|---|---|---|---|---|---|"
    table
    echo
    if [ -n "$(notes)" ]; then
        echo "From the run:"
        echo
        notes
    fi
    [ "$status" -eq 0 ] || echo "- **The driver failed (exit code $status): the table is incomplete.**"
} >"$results"

begin='<!-- results begin: written by scripts/bench.sh -->'
end='<!-- results end -->'
if [ -f "$out" ] && grep -qxF "$begin" "$out" && grep -qxF "$end" "$out"; then
    awk -v begin="$begin" -v end="$end" -v results="$results" '
        $0 == begin { print; while ((getline line < results) > 0) print line; skip = 1; next }
        $0 == end { skip = 0 }
        !skip' "$out" >"$out.new"
    mv "$out.new" "$out"
else
    mkdir -p "$(dirname "$out")"
    { echo "$begin"; cat "$results"; echo "$end"; } >"$out"
fi

echo
cat "$results"
echo
echo "== written to ${out#"$root"/}"
exit "$status"
