#!/bin/sh
# One job service at work under Wine, against the sample job handler:
#
#   tools/demo.sh [<build dir>] [<seconds>]      (defaults: build/win64, 3)
#
# Makes a fresh Wine session in <build dir>/wine/demo, registers the sample handler, writes
# Pellawin's AppID key and an interval of 0 (the timer's shortest period), runs PELLAWIN.EXE
# as a plain process for a few seconds, stops it, and shows its output and the job log.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win64}" && pwd)
seconds=${2:-3}
session=$build/wine/demo
wine_session=$root/scripts/wine-session.sh
deliverable=Pellawin

# The deliverable's names come from the one profile table.
profile_field() {
    awk -v name="$deliverable" -v field="$1" '
        $0 ~ "^jobsvc_profile\\(" name "$" { inside = 1; next }
        inside && /^jobsvc_profile\(/ { exit }
        inside && match($0, field " \"[^\"]*\"") {
            value = substr($0, RSTART + length(field) + 2, RLENGTH - length(field) - 3)
            print value
            exit
        }' "$root/profiles/profiles.cmake"
}

find_built() {
    found=$(find "$build" -name "$1" -type f | head -n 1)
    [ -n "$found" ] || { echo "demo: no $1 in $build (build it first)" >&2; exit 1; }
    printf '%s\n' "$found"
}

executable=$(find_built "$(echo "$deliverable" | tr '[:lower:]' '[:upper:]').EXE")
handler=$(find_built sample_handler.dll)
service_name=$(profile_field SERVICE_NAME)
app_id=$(profile_field APPID)
task=$(profile_field TASK)

echo "== Wine session in $session"
"$wine_session" create "$session" "$handler"
"$wine_session" start "$session"
trap '"$wine_session" stop "$session"' EXIT
eval "$("$wine_session" env "$session")"
job_log=$session/jobs/jobs.log

reg() { "${WINE:-wine}" reg "$@" >/dev/null; }
echo "== $deliverable: AppID $app_id, interval 0 for \"$service_name\""
reg add "HKCR\\AppID\\$app_id" /f
reg add "HKLM\\SYSTEM\\CurrentControlSet\\Services\\$service_name\\Parameters" \
    /v Interval /t REG_DWORD /d 0 /f
# Jobs of a few hundred milliseconds keep the log short enough to read.
reg add 'HKLM\Software\JobServicesTest\Handler' /v DurationMs /t REG_DWORD /d 300 /f

echo "== running $(basename "$executable") for $seconds seconds"
output=$session/logs/$deliverable.out
"${WINE:-wine}" "$executable" >"$output" 2>&1 </dev/null &
sleep "$seconds"
"${WINE:-wine}" taskkill /f /im "$(basename "$executable")" >/dev/null 2>&1 || kill $! 2>/dev/null || true
wait $! 2>/dev/null || true
echo "-- its standard output:"
cat "$output"

echo "== job log ($job_log)"
cat "$job_log"
echo "== summary"
awk '
    function field(name,   i) {
        for (i = 2; i <= NF; i++) if (index($i, name "=") == 1) return substr($i, length(name) + 2)
    }
    { sub(/\r$/, "") }
    $1 == "begin" { began[field("pid")] = field("t"); jobs[field("task")]++; total++ }
    $1 == "end" {
        task = field("task"); pid = field("pid")
        done[task]++
        busy[task] += field("t") - began[pid]
        if (field("hr") != "0x00000000") failed[task]++
    }
    END {
        for (task in jobs)
            printf "%s: %d jobs begun, %d ended (%d failed), %.1f ms per job on average\n",
                task, jobs[task], done[task], failed[task], done[task] ? busy[task] / done[task] : 0
        if (total == 0) print "no jobs"
    }' "$job_log"
[ -s "$job_log" ] && grep -q "task=$task " "$job_log"
