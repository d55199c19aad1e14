#!/usr/bin/env bash
# Builds the release: for x86_64 and for i686 a folder and a zip holding the eight executables,
# the administrator's guide and SHA256SUMS.
#
#   scripts/release.sh [--out DIR] [--clean]   build the release into DIR (build/release)
#   scripts/release.sh --check-guide           only compare the guide's tables with the profiles
#
# DIR receives orvanta-job-services-<version>-<arch>/ and .zip for both bitnesses, SHA256SUMS
# of the two zips, and the build trees (build-<arch>/, reused unless --clean).
# SOURCE_DATE_EPOCH, by default the time of the checked-out commit, is the one time stamp that
# the artifacts carry (in the type libraries and the zip entries): the same sources give the
# same bytes, wherever and whenever they are built.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
guide=docs/admin-guide.md
architectures=(x86_64 i686)

usage() {
    sed -n '5,6s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

out=$root/build/release
clean=false
check_guide_only=false
while [ $# -gt 0 ]; do
    case $1 in
    --out) [ $# -ge 2 ] || usage; out=$2; shift 2 ;;
    --clean) clean=true; shift ;;
    --check-guide) check_guide_only=true; shift ;;
    *) usage ;;
    esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One line per profile, in table order: short name|file|service name|task|interval|object|
# AppID|LIBID|type library name, where object is the name that the failure messages give the
# job handler.
cat >"$work/profiles.cmake" <<'EOF2'
include(${ROOT}/profiles/profiles.cmake)
set(_lines "")
foreach(name IN LISTS JOBSVC_PROFILES)
  string(TOUPPER "${name}" _file)
  string(REGEX REPLACE "^Object (.+) does not support the Run\\(\\) method$" "\\1" _object
         "${JOBSVC_${name}_NO_RUN}")
  if(NOT JOBSVC_${name}_CREATE_FAILED STREQUAL "Unable to create instance of ${_object}"
     OR NOT JOBSVC_${name}_RUN_FAILED STREQUAL "Error calling Run() on ${_object}")
    # The guide describes the messages by this pattern; other texts need another guide.
    set(_object "(messages of another form)")
  endif()
  string(APPEND _lines "${name}|${_file}.EXE|${JOBSVC_${name}_SERVICE_NAME}|"
         "${JOBSVC_${name}_TASK}|${JOBSVC_${name}_INTERVAL}|${_object}|"
         "${JOBSVC_${name}_APPID}|${JOBSVC_${name}_LIBID}|${JOBSVC_${name}_LIB_NAME}\n")
endforeach()
file(WRITE ${OUT} "${_lines}")
EOF2
cmake -D ROOT="$root" -D OUT="$work/profiles.txt" -P "$work/profiles.cmake"
mapfile -t profiles <"$work/profiles.txt"

# The rows of the guide's table between <!-- NAME table --> and <!-- end of NAME table -->,
# cells separated by '|', code marks dropped.
guide_table() {
    sed -n "/^<!-- $1 table -->\$/,/^<!-- end of $1 table -->\$/p" "$root/$guide" |
        grep '^| [A-Z0-9]*\.EXE |' | tr -d '`' |
        sed -e 's/^| //' -e 's/ |$//' -e 's/ | /|/g'
}

# The guide's two tables must say what the profile table says, row for row; only the column
# "What it does" is the guide's own.
check_guide() {
    local failed=0
    printf '%s\n' "${profiles[@]}" | cut -d'|' -f2-6 >"$work/expected-services"
    guide_table services | cut -d'|' -f1,2,4,5,6 >"$work/actual-services"
    printf '%s\n' "${profiles[@]}" | cut -d'|' -f2,7-9 >"$work/expected-registration"
    guide_table registration >"$work/actual-registration"
    for table in services registration; do
        if ! diff -u --label "profiles/profiles.cmake" --label "$guide ($table table)" \
            "$work/expected-$table" "$work/actual-$table" >&2; then
            echo "release: the $table table of $guide differs from the profiles" >&2
            failed=1
        fi
    done
    return $failed
}
check_guide
if $check_guide_only; then
    echo "$guide: its tables match the profiles"
    exit 0
fi

"$root/scripts/install-deps.sh"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    if [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" != "$root" ]; then
        echo "release: not a git checkout; set SOURCE_DATE_EPOCH (seconds since 1970)" >&2
        exit 1
    fi
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
    if [ -n "$(git -C "$root" status --porcelain)" ]; then
        echo "release: warning: the work tree has uncommitted changes" >&2
    fi
fi
# Zip entries hold dates from 1980 on.
if [ "$SOURCE_DATE_EPOCH" -lt 315532800 ]; then
    echo "release: SOURCE_DATE_EPOCH must be 315532800 (1980-01-01) or later" >&2
    exit 1
fi
export SOURCE_DATE_EPOCH
# Nothing from this shell may reach the compilers, and dates are written in UTC.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS RCFLAGS
export LC_ALL=C TZ=UTC

version=$(sed -n 's/^set(JOBSVC_FILE_VERSION "\(.*\)")$/\1/p' "$root/profiles/generate_resources.cmake")
[ -n "$version" ] || { echo "release: no file version in generate_resources.cmake" >&2; exit 1; }

targets=() files=()
for line in "${profiles[@]}"; do
    IFS='|' read -r name file _ <<<"$line"
    targets+=("$name")
    files+=("$file")
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
packages=()
for arch in "${architectures[@]}"; do
    build=$out/build-$arch
    $clean && rm -rf "$build"
    echo "== $arch: building in $build"
    cmake -S "$root" -B "$build" -G Ninja --toolchain "$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$build" --target "${targets[@]}"

    # The checks of the build tests: system DLLs only, exactly the generated resources, no
    # build path.
    for line in "${profiles[@]}"; do
        IFS='|' read -r name file _ <<<"$line"
        cmake -D EXECUTABLE="$build/bin/$file" -D EXPECTED="$build/generated/$name/expected.cmake" \
            -D OBJDUMP="$arch-w64-mingw32-objdump" -D OBJCOPY="$arch-w64-mingw32-objcopy" \
            -D SOURCE_DIR="$root" -D BINARY_DIR="$build" \
            -D WORK_DIRECTORY="$build/generated/$name/check" \
            -P "$root/cmake/check_executable.cmake" >/dev/null
    done

    package=orvanta-job-services-$version-$arch
    dist=$out/$package
    rm -rf "$dist" "$dist.zip"
    mkdir "$dist"
    for file in "${files[@]}"; do
        cp "$build/bin/$file" "$dist/"
    done
    cp "$root/$guide" "$dist/"
    mapfile -t contents < <(printf '%s\n' "${files[@]}" "$(basename "$guide")" | sort)
    (cd "$dist" && sha256sum -- "${contents[@]}" >SHA256SUMS)
    mapfile -t contents < <(printf '%s\n' "${contents[@]}" SHA256SUMS | sort)

    # Same names in the same order, same modes and dates, no extra fields (owner, Unix times).
    chmod 0644 "$dist"/*
    touch -d "@$SOURCE_DATE_EPOCH" "$dist"/*
    (cd "$out" && zip -q -X -D "$package.zip" "${contents[@]/#/$package/}")
    touch -d "@$SOURCE_DATE_EPOCH" "$dist"
    packages+=("$package.zip")
done
(cd "$out" && sha256sum -- "${packages[@]}" >SHA256SUMS)

echo "== release $version (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH) in $out"
(cd "$out" && cat SHA256SUMS)
