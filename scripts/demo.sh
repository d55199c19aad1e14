#!/bin/sh
# The main job: the eight job services at work under Wine against the sample job handler.
# Installs what is missing (Debian packages only), configures and builds the win64 preset, then
# runs tools/demo.sh, which takes the options below and says what it does as it goes.
#
#   scripts/demo.sh [--seconds <n>] [--job-ms <n>] [--fail <task>]
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64
exec tools/demo.sh --build build/win64 "$@"
