#!/usr/bin/env bash
# Builds the parsers' libFuzzer targets (clang, AddressSanitizer and UBSan) into build-fuzz and
# runs each in turn for the given number of seconds (default 60); names run only those targets.
#
#   scripts/fuzz.sh [seconds] [target ...]
#
# Inputs that reach new code collect in build-fuzz/corpus/<target>/, next to the kept corpus in
# tests/fuzz/corpus/<target>/, which is only read. An input that breaks a target (crash,
# sanitizer report, broken check, hang) is saved under build-fuzz/findings/<target>/; once the
# fault is mended, copy it into tests/fuzz/corpus/<target>/ so that the test suite replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true

scripts/setup.sh
# clang with its sanitizer and libFuzzer runtimes is needed only here.
missing=()
for p in clang libclang-rt-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    echo "Installing: ${missing[*]}"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

dir=build-fuzz
options=(-DMARNIFEX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
scripts/build.sh "$dir" "${options[@]}"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for binary in "$dir"/fuzz/fuzz_*; do
        [ -f "$binary" ] && [ -x "$binary" ] && targets+=("${binary##*/fuzz_}")
    done
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
failed=0
summary=()
for name in "${targets[@]}"; do
    work="$dir/corpus/$name"
    findings="$dir/findings/$name/"
    log="$dir/logs/$name.log"
    mkdir -p "$work" "$findings" "$(dirname "$log")"
    extra=()
    [ -f "fuzz/$name.dict" ] && extra+=(-dict="fuzz/$name.dict")
    # Per-target libFuzzer options, for example longer inputs than the seeds.
    [ -f "fuzz/$name.options" ] && read -r -a options_of_target <"fuzz/$name.options" \
        && extra+=("${options_of_target[@]}")
    echo "== $name: ${seconds} s (log: $log)"
    status=0
    "$dir/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings" "${extra[@]}" \
        "$work" "tests/fuzz/corpus/$name" >"$log" 2>&1 || status=$?
    runs="$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || true)"
    if [ "$status" -eq 0 ]; then
        summary+=("$name: ${runs:-?} executions, no finding")
    else
        failed=1
        artifact="$(grep -oE "Test unit written to [^ ]+" "$log" | tail -n1 | cut -d' ' -f5 || true)"
        summary+=("$name: FINDING after ${runs:-?} executions: ${artifact:-see $log}")
        grep -E '^(==[0-9]+== ?ERROR|SUMMARY|Broken check|.*runtime error)' "$log" | head -n4 \
            || tail -n 20 "$log"
    fi
done
echo
printf '%s\n' "${summary[@]}"
exit "$failed"
