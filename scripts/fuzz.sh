#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz (the project's own
# libraries with the fuzzer's coverage, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each target for a set time on a copy
# of its seed corpus in tests/fuzz/corpus. Exits non-zero on any crash,
# broken check, leak, time-out or memory blow-up; the input that caused it
# is kept in build/fuzz/findings.
#
#   bash scripts/fuzz.sh [--seconds N] [--targets "datafile macfile ..."]
#
# N is the time per target (default 30). Targets run side by side, as many
# at once as the machine has cores.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc 2>/dev/null || echo 2)"
seconds=30
targets="datafile macfile strtoint reports configjson"

while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --seconds=*) seconds="${1#*=}"; shift ;;
    --targets) targets="$2"; shift 2 ;;
    --targets=*) targets="${1#*=}"; shift ;;
    *) echo "usage: $0 [--seconds N] [--targets \"datafile macfile strtoint reports configjson\"]" >&2; exit 2 ;;
  esac
done
case "$seconds" in ''|*[!0-9]*) seconds=0 ;; esac
if [ "$((10#$seconds))" -lt 1 ]; then echo "--seconds needs a whole number above 0" >&2; exit 2; fi

if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  bash "$here/scripts/setup.sh"
fi

dir="$here/build/fuzz"
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DVANTREL_FUZZ=ON -DVANTREL_BUILD_BENCH=OFF -DVANTREL_VM_TESTS=OFF >/dev/null
build_targets=()
for t in $targets; do build_targets+=("fuzz_$t"); done
cmake --build "$dir" -j "$jobs" --target "${build_targets[@]}"

# The window targets write their files to a temporary folder: on tmpfs the
# atomic saves' flush to disk costs nothing.
work="$(mktemp -d "${TMPDIR:-/tmp}/vantrel-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR="$(mktemp -d /dev/shm/vantrel-fuzz.XXXXXX)"
  trap 'rm -rf "$work" "$TMPDIR"' EXIT
fi
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="quarantine_size_mb=64:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1"
# Leaks inside Qt and fontconfig only, never the project's own code.
export LSAN_OPTIONS="suppressions=$here/scripts/lsan-third-party.supp:print_suppressions=0"

# run_target NAME: runs one target on a copy of its seeds; its log is $work/NAME.log.
run_target() {
  local name="$1" exe="$dir/tests/fuzz/fuzz_$1"
  local -a options=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1
                    -artifact_prefix="$work/$name-")
  case "$name" in
    strtoint) options+=(-max_len=64) ;;
    datafile) options+=(-max_len=512 -detect_leaks=0) ;;
    macfile) options+=(-max_len=512 -detect_leaks=0) ;;
    reports) options+=(-max_len=2048 -detect_leaks=0) ;;
    configjson) options+=(-max_len=2048) ;;
  esac
  mkdir -p "$work/$name"
  cp "$here/tests/fuzz/corpus/$name/"* "$work/$name/"
  "$exe" "${options[@]}" "$work/$name" >"$work/$name.log" 2>&1
}

# Window targets leave leak checks to the end of the run (-detect_leaks=0
# stops only libFuzzer's check after every input, which Qt's caches would
# trigger all the time): LeakSanitizer still checks the whole run at exit.
failed=0
set -- $targets
while [ $# -gt 0 ]; do
  batch=()
  for _ in $(seq "$jobs"); do
    [ $# -gt 0 ] || break
    batch+=("$1"); shift
  done
  pids=()
  for name in "${batch[@]}"; do
    run_target "$name" & pids+=($!)
  done
  for i in "${!batch[@]}"; do
    name="${batch[$i]}"
    status=0
    wait "${pids[$i]}" || status=$?
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log" | tail -1)"
    if [ "$status" -eq 0 ]; then
      echo "fuzz_$name: ${runs:-?} executions in $seconds s, no finding"
    else
      failed=1
      echo "fuzz_$name: FAILED (exit $status) after ${runs:-?} executions"
      grep -E "check failed|ERROR|SUMMARY|runtime error|leak of|^ +#[0-9]+ .* in [A-Za-z_]" "$work/$name.log" \
        | grep -vE " in (fuzzer::|__sanitizer|__interceptor|__libc|_start|main|raise|abort|__pthread)" | head -40 || true
      mkdir -p "$dir/findings"
      for f in "$work/$name-"*; do
        [ -e "$f" ] && cp "$f" "$dir/findings/" && echo "  input kept: $dir/findings/$(basename "$f")"
      done
      cp "$work/$name.log" "$dir/findings/fuzz_$name.log"
      echo "  full log: $dir/findings/fuzz_$name.log"
    fi
  done
done
exit "$failed"
