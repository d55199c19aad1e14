#!/bin/sh
# The main job: the eight job services at work under Wine against the sample job handler, for
# about half a minute. Installs what is missing (Debian packages only), configures and builds
# the win64 preset, then runs tools/demo.sh, which takes the options below, says what it does
# as it goes, prints per service the jobs, failures and pauses, and draws the run as a timeline
# picture (SVG).
#
#   scripts/demo.sh [--seconds <n>] [--job-ms <n>] [--fail <task>] [--svg <file>]
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64
exec tools/demo.sh --build build/win64 "$@"
