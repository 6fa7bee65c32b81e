#!/usr/bin/env bash
# Runs the fuzz targets of a VORKAST_FUZZ build for a while each and fails on
# the first crash, leak, hang, failed check or sanitizer report.
#
#   fuzz/run.sh [-d BUILD_DIR] [-t SECONDS] [TARGET...]
#
# Defaults: build-fuzz, 30 seconds, every target (dcs il2 warthunder profile
# chunks); fuzz/TARGET.dict, where there is one, goes along as -dict. What a run
# finds new goes to BUILD_DIR/fuzz-work/TARGET/corpus (the seeds in fuzz/corpus
# stay as they are); an input that failed is saved as
# BUILD_DIR/fuzz-work/TARGET/crash-*, leak-* or timeout-*, to be replayed with
# BUILD_DIR/fuzz/fuzz_TARGET FILE.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
seconds=30
while getopts "d:t:" option; do
    case "$option" in
        d) build="$(cd "$OPTARG" && pwd)" ;;
        t) seconds="$OPTARG" ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=(dcs il2 warthunder profile chunks)

# Leaks of third-party libraries at exit only; every other report fails the run.
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen

failed=0
passed=0
for target in "${targets[@]}"; do
    binary="$build/fuzz/fuzz_$target"
    work="$build/fuzz-work/$target"
    mkdir -p "$work/corpus"
    log="$work/last-run.log"
    dictionary=()
    [[ -f "$root/fuzz/$target.dict" ]] && dictionary=(-dict="$root/fuzz/$target.dict")
    # A hang is an input that takes over 10 s.
    if "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        "${dictionary[@]}" -artifact_prefix="$work/" "$work/corpus" "$root/fuzz/corpus/$target" \
        >"$log" 2>&1; then
        runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
        corpus="$(find "$work/corpus" -type f | wc -l)"
        echo "fuzz_$target: ${runs:-?} runs in $seconds s, no failure ($corpus inputs found so far)"
        passed=$((passed + 1))
    else
        echo "fuzz_$target: FAILED, see $log"
        tail -n 60 "$log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
