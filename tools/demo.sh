#!/bin/sh
# The family at work under Wine: all eight job services registered with "-Service" in a
# throwaway Wine session, started by the service control manager with the start parameter 0
# (each job 10 ms after its last, as soon as the run gate lets it) against the sample job
# handler, stopped after a while, and unregistered again. Prints per service the jobs run, the
# failures and the pauses, and draws the run as a timeline picture.
#
#   tools/demo.sh [--build <dir>] [--seconds <n>] [--job-ms <n>] [--fail <task>] [--svg <file>]
#
#   --build    the win64 build tree (default: build/win64)
#   --seconds  how long the services run (default: 30)
#   --job-ms   how long each job takes in the sample handler (default: 200)
#   --fail     a task whose jobs fail, to show how failures are reported (default: none)
#   --svg      where the timeline goes (default: timeline.svg in the session folder)
#
# The session stays in <build>/wine/demo for a look afterwards: logs/services.log holds the
# event-log texts, jobs/jobs.log the job log (tools/job_log.awk reads it).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win64
seconds=30
job_ms=200
fail_task=
svg=

usage() {
    sed -n '8,14s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || usage
    case $1 in
    --build) build=$2 ;;
    --seconds) seconds=$2 ;;
    --job-ms) job_ms=$2 ;;
    --fail) fail_task=$2 ;;
    --svg) svg=$2 ;;
    *) usage ;;
    esac
    shift 2
done
case $seconds$job_ms in *[!0-9]*) usage ;; esac

build=$(cd "$build" && pwd)
session=$build/wine/demo
[ -n "$svg" ] || svg=$session/timeline.svg
case $svg in /*) ;; *) svg=$(pwd)/$svg ;; esac
wine_session=$root/scripts/wine-session.sh
WINE=${WINE:-wine}

find_built() {
    found=$(find "$build" -name "$1" -type f | head -n 1)
    [ -n "$found" ] || {
        echo "demo: no $1 in $build (build the win64 preset first)" >&2
        exit 1
    }
    printf '%s\n' "$found"
}

# The eight deliverables from the one profile table: short name, service name, task.
profiles() {
    awk '
        /^jobsvc_profile\(/ { name = substr($1, length("jobsvc_profile(") + 1) }
        name != "" && match($0, /SERVICE_NAME "[^"]*"/) {
            service[name] = substr($0, RSTART + 14, RLENGTH - 15)
        }
        name != "" && match($0, /TASK "[^"]*"/) {
            task[name] = substr($0, RSTART + 6, RLENGTH - 7)
            order[++count] = name
        }
        END {
            for (i = 1; i <= count; i++) print order[i] "\t" service[order[i]] "\t" task[order[i]]
        }
    ' "$root/profiles/profiles.cmake"
}

executable_of() {
    printf '%s/%s.EXE\n' "$bin" "$(printf '%s' "$1" | tr '[:lower:]' '[:upper:]')"
}

# The state that `sc query` reports (RUNNING, STOPPED, ...), empty when there is none.
state_of() {
    "$WINE" sc query "$1" 2>/dev/null | awk '$1 == "STATE" { print $4 }' | tr -d '\r'
}

# Waits (generously: only a hang should reach the limit) until every service is in a state.
wait_for_all() {
    wanted=$1
    limit=$(($(date +%s) + 120))
    while :; do
        pending=
        while IFS="$tab" read -r name service task; do
            [ "$(state_of "$service")" = "$wanted" ] || pending="$pending $name"
        done <"$table"
        [ -z "$pending" ] && return 0
        if [ "$(date +%s)" -ge "$limit" ]; then
            echo "demo: not $wanted after two minutes:$pending" >&2
            return 1
        fi
        sleep 0.2
    done
}

# Now on the job log's clock: milliseconds since 1601, the Windows system time.
log_clock_ms() {
    echo $(($(date +%s%3N) + 11644473600000))
}

tab=$(printf '\t')
bin=$(dirname "$(find_built PELLAWIN.EXE)")
handler=$(find_built sample_handler.dll)

echo "== A fresh Wine session in $session (some ten seconds)"
"$wine_session" create "$session" "$handler"
"$wine_session" start "$session"
trap '"$wine_session" stop "$session"' EXIT
eval "$("$wine_session" env "$session")"
table=$session/profiles.tsv
profiles >"$table"
job_log=$session/jobs/jobs.log
services_log=$session/logs/services.log

"$WINE" reg add 'HKLM\Software\JobServicesTest\Handler' /v DurationMs /t REG_DWORD \
    /d "$job_ms" /f >/dev/null
if [ -n "$fail_task" ]; then
    "$WINE" reg add "HKLM\\Software\\JobServicesTest\\Handler\\Tasks\\$fail_task" /v Mode \
        /t REG_SZ /d fail /f >/dev/null
fi

echo "== Registering the eight with -Service"
while IFS="$tab" read -r name service task; do
    status=0
    "$WINE" "$(executable_of "$name")" -Service </dev/null || status=$?
    printf '   %-9s exit code %s  "%s"\n' "$name" "$status" "$service"
    [ "$status" -eq 0 ] || exit 1
done <"$table"

echo "== Starting each with the start parameter 0;" \
    "jobs take $job_ms ms${fail_task:+, $fail_task fails}"
started=$(log_clock_ms)
while IFS="$tab" read -r name service task; do
    "$WINE" sc start "$service" 0 >/dev/null 2>&1 </dev/null || true
done <"$table"
wait_for_all RUNNING
echo "   all eight RUNNING; letting them work for $seconds seconds"
sleep "$seconds"

echo "== Stopping them (a stop waits until it can take the run gate)"
stop_requested=$(log_clock_ms)
while IFS="$tab" read -r name service task; do
    "$WINE" sc stop "$service" >/dev/null 2>&1 </dev/null || true
done <"$table"
wait_for_all STOPPED
stopped=$(log_clock_ms)
echo "   all eight STOPPED $(((stopped - stop_requested) / 1000)) s after the first request"

echo "== Jobs per service (job log: $job_log)"
jobs=$session/jobs.tsv
awk -f "$root/tools/job_log.awk" "$job_log" >"$jobs"
awk -f "$root/tools/family_figures.awk" "$table" "$jobs"
echo "   (pauses grow around the stop: a stopping service keeps the gate, and the others run"
echo "   jobs again once a dispatch has waited 2000 ms for it and signalled it)"
idle=
while IFS="$tab" read -r name service task; do
    awk -F "$tab" -v task="$task" '$1 == task { found = 1 } END { exit !found }' "$jobs" ||
        idle="$idle $name"
done <"$table"

mkdir -p "$(dirname "$svg")"
awk -f "$root/tools/timeline.awk" -v from="$started" -v to="$stopped" \
    -v stop="$stop_requested" \
    -v title="The eight job services under Wine: start parameter 0, jobs of $job_ms ms" \
    "$table" "$jobs" >"$svg"
echo "== The timeline: $svg"

echo "== Event-log texts seen ($services_log)"
sed -n 's/.*:trace:eventlog:ReportEventW L"\(.*\)"\r*$/\1/p' "$services_log" | sort | uniq -c |
    sort -rn | sed 's/^ *\([0-9]*\) /   \1 x /'

echo "== Unregistering the eight with -UnregServer"
while IFS="$tab" read -r name service task; do
    status=0
    "$WINE" "$(executable_of "$name")" -UnregServer </dev/null || status=$?
    [ "$status" -eq 0 ] || { echo "demo: $name -UnregServer exit code $status" >&2; exit 1; }
done <"$table"
echo "   done; the session's files stay in $session"

if [ -n "$idle" ]; then
    echo "demo: no job ran for:$idle" >&2
    exit 1
fi
