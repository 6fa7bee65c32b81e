#!/usr/bin/env bash
# Runs the fuzz targets of a VORKAST_FUZZ build for a while each and fails on
# any crash, leak, hang, failed check or sanitizer report.
#
#   fuzz/run.sh [-d BUILD_DIR] [-t SECONDS] [-j JOBS] [TARGET...]
#
# Defaults: build-fuzz, 30 seconds, one target at a time, every target (dcs il2
# warthunder profile chunks); fuzz/TARGET.dict, where there is one, goes along
# as -dict. What a run finds new goes to BUILD_DIR/fuzz-work/TARGET/corpus (the
# seeds in fuzz/corpus stay as they are); an input that failed is saved as
# BUILD_DIR/fuzz-work/TARGET/crash-*, leak-* or timeout-*, to be replayed with
# BUILD_DIR/fuzz/fuzz_TARGET FILE.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
seconds=30
jobs=1
while getopts "d:t:j:" option; do
    case "$option" in
        d) build="$(cd "$OPTARG" && pwd)" ;;
        t) seconds="$OPTARG" ;;
        j) jobs="$OPTARG" ;;
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

# One target; its outcome goes to BUILD_DIR/fuzz-work/TARGET/result.
fuzz() {
    local target="$1" work="$build/fuzz-work/$1"
    local log="$work/last-run.log" dictionary=()
    mkdir -p "$work/corpus"
    rm -f "$work/result"
    [[ -f "$root/fuzz/$target.dict" ]] && dictionary=(-dict="$root/fuzz/$target.dict")
    # A hang is an input that takes over 10 s.
    if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "${dictionary[@]}" -artifact_prefix="$work/" \
        "$work/corpus" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
        local runs corpus
        runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
        corpus="$(find "$work/corpus" -type f | wc -l)"
        echo "fuzz_$target: ${runs:-?} runs in $seconds s, no failure ($corpus inputs found so far)" \
            >"$work/result"
    else
        { echo "fuzz_$target: FAILED, see $log"; tail -n 60 "$log"; } >"$work/result"
    fi
}

for target in "${targets[@]}"; do
    while [[ $(jobs -rp | wc -l) -ge $jobs ]]; do
        wait -n || true
    done
    fuzz "$target" &
done
wait

passed=0
failed=0
for target in "${targets[@]}"; do
    result="$build/fuzz-work/$target/result"
    if [[ -f "$result" ]] && head -n 1 "$result" | grep -q "no failure"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    cat "$result" 2>/dev/null || echo "fuzz_$target: FAILED, no result"
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
