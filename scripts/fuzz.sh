#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them briefly:
#
#   scripts/fuzz.sh [seconds]      (default 20 seconds per target)
#
# 1. Configures build/fuzz with clang (RelWithDebInfo, line tables only),
#    the libraries instrumented for coverage, AddressSanitizer and
#    UndefinedBehaviorSanitizer, and builds the fuzz targets.
# 2. Replays the committed corpus fuzz/corpus/<target> with every target, in
#    an English and in a Russian user locale.
# 3. Fuzzes every target for the given seconds, half of them in each locale,
#    two runs at a time, starting from a temporary copy of its corpus
#    (fuzz/corpus is never written), with a 10 s timeout per input and a
#    2048 MB memory limit.
#
# Fails (non-zero) on any crash, broken property, sanitizer report, leak,
# timeout or memory overrun; the input that caused it is kept in
# build/fuzz/artifacts/<target>/. Prints the executions per second of every
# run. Runs from any directory, without a terminal.
set -euo pipefail

SECONDS_PER_TARGET="${1:-20}"
if ! [[ "$SECONDS_PER_TARGET" =~ ^[0-9]+$ ]] || [ "$SECONDS_PER_TARGET" -lt 1 ]; then
  echo "usage: $0 [seconds]   (a whole number of seconds, at least 1)" >&2
  exit 2
fi

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/fuzz"
ARTIFACTS="$BUILD/artifacts"
LOCALES=(en_US.UTF-8 ru_RU.UTF-8)
JOBS=2
LIMITS=(-timeout=10 -rss_limit_mb=2048)

for tool in clang clang++ cmake; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "fuzz.sh: $tool is not installed" >&2
    exit 1
  fi
done

WORK="$(mktemp -d "${TMPDIR:-/tmp}/yx-fuzz.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT

# Sanitizer reports end the run with a non-zero exit code; a leak is a
# report too.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

echo "=== configure and build $BUILD"
GENERATOR=()
if [ ! -f "$BUILD/CMakeCache.txt" ] && command -v ninja >/dev/null 2>&1; then GENERATOR=(-G Ninja); fi
# The libraries get coverage and the sanitizers too; the targets add libFuzzer.
INSTRUMENT="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
INSTRUMENT="$INSTRUMENT -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" "${GENERATOR[@]}" \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
  -DYX_BUILD_TESTS=OFF -DYX_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$INSTRUMENT" \
  >"$WORK/configure.log" 2>&1 || { cat "$WORK/configure.log"; exit 1; }
# The targets are listed once, in fuzz/CMakeLists.txt, which writes their
# names to the build directory.
mapfile -t TARGETS <"$BUILD/fuzz/targets.txt"
if [ "${#TARGETS[@]}" -eq 0 ]; then
  echo "fuzz.sh: no fuzz targets in $BUILD/fuzz/targets.txt" >&2
  exit 1
fi
BINARIES=()
for t in "${TARGETS[@]}"; do BINARIES+=("${t}_fuzz"); done
cmake --build "$BUILD" -j "$JOBS" --target "${BINARIES[@]}"

# Whether a libFuzzer log shows a finding even where the exit code might not.
FINDING='ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|==[0-9]+==ERROR|runtime error:|SUMMARY: '
FINDING="$FINDING|property broken"
log_has_finding() { grep -qE "$FINDING" "$1"; }

failed=()
summary=()
rm -rf "$ARTIFACTS"  # only this run's findings are kept

echo "=== replay the committed corpus"
for t in "${TARGETS[@]}"; do
  mapfile -t inputs < <(find "$ROOT/fuzz/corpus/$t" -type f | sort)
  if [ "${#inputs[@]}" -eq 0 ]; then
    echo "fuzz.sh: no corpus in fuzz/corpus/$t" >&2
    exit 1
  fi
  for loc in "${LOCALES[@]}"; do
    log="$WORK/replay-$t-$loc.log"
    if LC_ALL="$loc" LANG="$loc" "$BUILD/fuzz/${t}_fuzz" "${LIMITS[@]}" "${inputs[@]}" >"$log" 2>&1 &&
      ! log_has_finding "$log"; then
      echo "$t ($loc): replayed ${#inputs[@]} inputs"
    else
      cat "$log"
      echo "FAILED: $t ($loc) on the committed corpus"
      failed+=("replay $t $loc")
    fi
  done
done

echo "=== fuzz ${SECONDS_PER_TARGET}s per target, half in each locale, $JOBS runs at a time"
FIRST_HALF=$(((SECONDS_PER_TARGET + 1) / 2))
SECOND_HALF=$((SECONDS_PER_TARGET - FIRST_HALF))
# The runs: every target in every locale, each for its half of the time (a
# half of 0 s is left out: -max_total_time=0 would mean "no limit"). The two
# runs of a target share its corpus copy, which libFuzzer allows.
RUNS=()
for t in "${TARGETS[@]}"; do
  mkdir -p "$WORK/corpus-$t" "$ARTIFACTS/$t"
  cp -R "$ROOT/fuzz/corpus/$t/." "$WORK/corpus-$t/"
  if [ "$FIRST_HALF" -gt 0 ]; then RUNS+=("$t ${LOCALES[0]} $FIRST_HALF"); fi
  if [ "$SECOND_HALF" -gt 0 ]; then RUNS+=("$t ${LOCALES[1]} $SECOND_HALF"); fi
done
# fuzz_run T LOCALE SECONDS: one run; writes its summary line to
# $WORK/result-T-LOCALE, and a line to $WORK/failed-T-LOCALE when it failed.
fuzz_run() {
  local t="$1" loc="$2" time="$3" corpus="$WORK/corpus-$1" dict=() log status runs speed units line
  if [ -f "$ROOT/fuzz/dict/$t.dict" ]; then dict=("-dict=$ROOT/fuzz/dict/$t.dict"); fi
  log="$WORK/fuzz-$t-$loc.log"
  status=0
  LC_ALL="$loc" LANG="$loc" "$BUILD/fuzz/${t}_fuzz" "${LIMITS[@]}" "${dict[@]}" -max_total_time="$time" \
    -print_final_stats=1 -artifact_prefix="$ARTIFACTS/$t/" "$corpus" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  units=$(find "$corpus" -type f | wc -l)
  line="$t ($loc): ${time}s, ${runs:-?} runs, ${speed:-?} exec/s, corpus $units inputs"
  if [ "$status" -ne 0 ] || log_has_finding "$log"; then
    tail -n 80 "$log"
    line="$line: FAILED (exit $status; input kept in $ARTIFACTS/$t/)"
    echo "fuzz $t $loc" >"$WORK/failed-$t-$loc"
  fi
  echo "$line"
  echo "$line" >"$WORK/result-$t-$loc"
}
running=0
for run in "${RUNS[@]}"; do
  if [ "$running" -ge "$JOBS" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  read -r t loc time <<<"$run"
  fuzz_run "$t" "$loc" "$time" &
  running=$((running + 1))
done
wait
for run in "${RUNS[@]}"; do
  read -r t loc _ <<<"$run"
  # A run that ended without its result line counts as failed.
  if [ -f "$WORK/result-$t-$loc" ]; then
    mapfile -t -O "${#summary[@]}" summary <"$WORK/result-$t-$loc"
  else
    failed+=("fuzz $t $loc: no result")
  fi
  if [ -f "$WORK/failed-$t-$loc" ]; then mapfile -t -O "${#failed[@]}" failed <"$WORK/failed-$t-$loc"; fi
done

echo "=== fuzz summary"
for line in "${summary[@]}"; do echo "  $line"; done
if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzz.sh: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz.sh: no findings"
