#!/bin/sh
# A quiet Wine session for the end-to-end tests and the demo.
#
#   wine-session.sh create <dir> [<handler.dll>]   fresh prefix in <dir>, handler registered
#   wine-session.sh start  <dir> [<template dir>]  start the session (copying the template first)
#   wine-session.sh stop   <dir>                   end the session; the prefix stays for a look
#   wine-session.sh env    <dir>                   print the exports for `eval`
#
# <dir> holds prefix/ (the WINEPREFIX), logs/ (boot.log, server.log and services.log, where
# the event-log texts appear) and jobs/ (the sample handler's job log, jobs/jobs.log).
# A template made once by `create` is copied by `start` in about a second, so test groups
# that must not see each other can each get a session of their own.
set -eu

WINE=${WINE:-wine}
WINESERVER=${WINESERVER:-wineserver}
WINEBOOT=${WINEBOOT:-wineboot}

usage() {
    sed -n '3,7s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

# The Windows view of a Unix path (Wine maps / to Z:).
windows_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

quiet_environment() {
    WINEPREFIX=$1/prefix
    WINEDEBUG=-all
    WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
    unset DISPLAY WAYLAND_DISPLAY
}

# Only this prefix's server is touched.
kill_server() {
    if [ -d "$1/prefix" ]; then
        (quiet_environment "$1" && "$WINESERVER" -k) >/dev/null 2>&1 || true
    fi
}

absolute() {
    mkdir -p "$1" && (cd "$1" && pwd)
}

existing() {
    (cd "$1" 2>/dev/null && pwd) || {
        echo "wine-session: no session folder $1" >&2
        exit 1
    }
}

create() {
    dir=$(absolute "$1")
    kill_server "$dir"
    rm -rf "$dir"
    mkdir -p "$dir/logs" "$dir/jobs"
    quiet_environment "$dir"
    # Every output goes to a file: a process that outlives this script must not hold the
    # caller's pipes open (ctest would wait for them).
    "$WINEBOOT" -i >"$dir/logs/boot.log" 2>&1 </dev/null
    # Without this a crash under a display driver waits for a click for ever.
    "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >>"$dir/logs/boot.log" 2>&1 </dev/null
    if [ $# -ge 2 ]; then
        handler=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
        "$WINE" regsvr32 /s "$(windows_path "$handler")" >>"$dir/logs/boot.log" 2>&1 </dev/null
        "$WINE" reg query 'HKCR\Tenmoor.TenmoorHandler\CLSID' >/dev/null 2>&1 </dev/null || {
            echo "wine-session: registering $handler failed" >&2
            exit 1
        }
    fi
    "$WINESERVER" -w
}

start() {
    dir=$(absolute "$1")
    if [ $# -ge 2 ]; then
        template=$(existing "$2")
        kill_server "$dir"
        rm -rf "$dir"
        cp -a "$template" "$dir"
        rm -f "$dir"/logs/* "$dir"/jobs/*
    fi
    [ -f "$dir/prefix/system.reg" ] || {
        echo "wine-session: no prefix in $dir (run create first)" >&2
        exit 1
    }
    quiet_environment "$dir"
    kill_server "$dir"
    # A persistent server: otherwise the services die with the last client, and every wine
    # call pays for a new boot of the session.
    "$WINESERVER" -p >"$dir/logs/server.log" 2>&1 </dev/null
    # The first process starts services.exe, which keeps its stderr: with +eventlog this file
    # receives the event-log texts of every service of the session.
    WINEDEBUG=-all,+eventlog "$WINE" wineboot >"$dir/logs/services.log" 2>&1 </dev/null
    mkdir -p "$dir/jobs"
    "$WINE" reg add 'HKLM\Software\JobServicesTest\Handler' /v JobLog /t REG_SZ \
        /d "$(windows_path "$dir/jobs/jobs.log")" /f >/dev/null 2>&1 </dev/null
}

stop() {
    [ -d "$1" ] || return 0
    kill_server "$(existing "$1")"
}

print_environment() {
    dir=$(existing "$1")
    printf 'export WINEPREFIX=%s WINEDEBUG=-all WINEDLLOVERRIDES=%s\n' \
        "$dir/prefix" "'mscoree,mshtml='"
    printf 'unset DISPLAY WAYLAND_DISPLAY\n'
}

[ $# -ge 2 ] || usage
command=$1
shift
case $command in
create) [ $# -le 2 ] || usage; create "$@" ;;
start) [ $# -le 2 ] || usage; start "$@" ;;
stop) [ $# -eq 1 ] || usage; stop "$@" ;;
env) [ $# -eq 1 ] || usage; print_environment "$@" ;;
*) usage ;;
esac
