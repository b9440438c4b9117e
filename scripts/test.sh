#!/usr/bin/env bash
# The test command: on a fresh Debian 12 machine, installs what the builds
# need, then configures, builds and tests every build of the tree:
#
#   0. format      every C++ file matches .clang-format and includes its own
#                  header first (scripts/check-format.sh)
#   1. win32       MinGW-w64 cross build of yxtk.exe, ctest under Wine; on a
#                  machine that cannot execute 32-bit x86 programs (kernel
#                  32-bit emulation off), the tests run on the win64 build of
#                  the same sources under 64-bit Wine instead
#   2. linux       native build, ctest (unit, differential and end-to-end
#                  tests; the end-to-end tests run yxtk against a mock logind
#                  on a private D-Bus, and yxtk.exe under Wine)
#   3. linux-asan  AddressSanitizer + UndefinedBehaviorSanitizer, ctest
#   4. linux-tsan  ThreadSanitizer, the tests labelled "tsan"
#   5. fuzz        the fuzz targets: replay of the corpus, then 10 s of
#                  fuzzing per target
#
# Each run of tests goes on in the background while the next build
# compiles, and the Wine prefix is made while the Windows build compiles;
# a background step's output is printed when it ends. The Windows tests end
# before the Linux tests start (they share the Wine prefix).
#
# Stops at the first failing step with a non-zero exit code and prints a
# summary of the steps either way. Runs from any directory, without a
# terminal, as root or as a user with sudo.
#
# The end-to-end tests (pytest, registered with CTest) find the Linux build
# through YX_BUILD_DIR and the Windows build through YX_WIN32_BUILD_DIR, both
# set by CMake.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

JOBS=2
WIN_PRESET=win32   # the Windows build whose tests run under Wine
WINEPREFIX_DIR=""  # its Wine prefix, set by find_wine_prefix
WINESERVER_STARTED=0
TEST_COUNT=0

summary=()    # one line per finished step
started_at=$SECONDS

note() { printf '\n=== %s\n' "$*"; }

print_summary() {
  printf '\n===== test summary =====\n'
  local line
  for line in "${summary[@]}"; do printf '  %s\n' "$line"; done
  printf '  total time: %ds\n' "$((SECONDS - started_at))"
}

# Stops the background steps and the Wine server kept alive for the Windows
# tests, also after a failure.
cleanup() {
  local i
  for i in "${!BG_PIDS[@]}"; do
    kill "${BG_PIDS[$i]}" 2>/dev/null || true
    wait "${BG_PIDS[$i]}" 2>/dev/null || true
    rm -f "${BG_LOGS[$i]}"
  done
  BG_PIDS=()
  # The server of the prefix: the persistent one, or one that a wineboot
  # cut short left behind.
  if [ -n "$WINEPREFIX_DIR" ]; then
    WINEPREFIX="$WINEPREFIX_DIR" wineserver -k >/dev/null 2>&1 || true
    if [ "$WINESERVER_STARTED" -eq 1 ]; then echo "Wine server stopped"; fi
    WINESERVER_STARTED=0
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# run_step NAME COMMAND...: runs one step; on failure prints the summary and
# exits with the step's code.
run_step() {
  local name="$1"
  shift
  note "$name: $*"
  local t0=$SECONDS rc=0
  "$@" || rc=$?
  record_step "$name" "$rc" "$((SECONDS - t0))s"
}

# record_step NAME RC TIME: adds a step's line to the summary; on failure
# prints the summary and exits with the step's code.
record_step() {
  if [ "$2" -ne 0 ]; then
    summary+=("FAILED   $1 (exit code $2, $3)")
    print_summary
    printf '\ntest.sh: FAILED at step "%s" (exit code %d)\n' "$1" "$2" >&2
    exit "$2"
  fi
  summary+=("passed   $1 ($3)")
}

skip_step() {
  note "$1: skipped, $2"
  summary+=("skipped  $1 ($2)")
}

# A test run waits on processes, buses and Wine more than it computes, so
# each run of tests goes on in the background while the next build compiles.
# bg_step NAME COMMAND...: starts a step in the background, its output kept
# in a file; wait_step waits for the oldest background step, prints its
# output and records it as run_step does (on failure: summary and exit with
# the step's code).
BG_NAMES=()
BG_PIDS=()
BG_LOGS=()
BG_T0S=()
bg_step() {
  local name="$1" log
  shift
  note "$name (in the background): $*"
  log="$(mktemp "${TMPDIR:-/tmp}/yx-test-step.XXXXXX")"
  BG_NAMES+=("$name")
  BG_LOGS+=("$log")
  BG_T0S+=("$SECONDS")
  "$@" >"$log" 2>&1 &
  BG_PIDS+=("$!")
}
wait_step() {
  local rc=0 name="${BG_NAMES[0]}" log="${BG_LOGS[0]}" t0="${BG_T0S[0]}"
  wait "${BG_PIDS[0]}" || rc=$?
  BG_NAMES=("${BG_NAMES[@]:1}")
  BG_PIDS=("${BG_PIDS[@]:1}")
  BG_LOGS=("${BG_LOGS[@]:1}")
  BG_T0S=("${BG_T0S[@]:1}")
  note "$name: output"
  cat "$log"
  rm -f "$log"
  record_step "$name" "$rc" "$((SECONDS - t0))s, in the background"
}

# The Wine prefix of the Windows build, as its CMake cache defines it: sets
# and exports WINEPREFIX_DIR and WINEPREFIX.
find_wine_prefix() {
  WINEPREFIX_DIR="$(sed -n 's/^YX_WINEPREFIX:PATH=//p' "$ROOT/build/$WIN_PRESET/CMakeCache.txt")"
  if [ -z "$WINEPREFIX_DIR" ]; then
    echo "no YX_WINEPREFIX in build/$WIN_PRESET/CMakeCache.txt" >&2
    exit 1
  fi
  export WINEPREFIX_DIR
  export WINEPREFIX="$WINEPREFIX_DIR"
}

# Creates the Wine prefix once (about 15 s of one core on a fresh machine:
# it runs in the background while the Windows build compiles). Runs inside a
# step, where errexit does not apply: every command checks its own result.
create_wine_prefix() {
  mkdir -p "$WINEPREFIX_DIR" || return
  # A server left behind by an interrupted run would never end by itself.
  wineserver -k >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX_DIR/system.reg" ]; then
    echo "creating the Wine prefix $WINEPREFIX_DIR"
    "$ROOT/cmake/wine-run.sh" "$WINEPREFIX_DIR" wineboot -i || return
  fi
  # Let the server that wineboot started end, so that the persistent one is
  # the only server of the prefix.
  wineserver -w
}

# Keeps one Wine server alive for all the test programs (each start of a
# server for the prefix costs about a second).
start_wine_server() {
  wineserver -p || return
  WINESERVER_STARTED=1
  # The first program of a server starts Wine's own services (services.exe,
  # winedevice.exe, ...), which live as long as the server and inherit the
  # program's output. Started by a test, they would hold CTest's output pipe
  # open and the test would never end; so a trivial program starts them now,
  # with its output discarded.
  "$ROOT/cmake/wine-run.sh" "$WINEPREFIX_DIR" cmd /c exit </dev/null >/dev/null 2>&1 || return
  echo "Wine server running for $WINEPREFIX_DIR"
}

# The ThreadSanitizer build compiles the programs of the tests labelled
# "tsan" (target tsan_tests): done only when such tests exist. Sets
# TSAN_TESTS to 1 when they are to run.
TSAN_TESTS=0
tsan_build() {
  run_step "linux-tsan configure" cmake --preset linux-tsan
  run_step "linux-tsan list" count_tests linux-tsan
  if [ "$TEST_COUNT" -eq 0 ]; then
    skip_step "linux-tsan" "no tests labelled tsan"
    return
  fi
  run_step "linux-tsan build" cmake --build --preset linux-tsan --parallel "$JOBS"
  TSAN_TESTS=1
}

# True when Wine's 32-bit loader can run here.
can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# count_tests PRESET: sets TEST_COUNT to the number of tests the test preset
# selects.
count_tests() {
  local listing
  listing="$(ctest --preset "$1" --show-only=json-v1)" || return
  TEST_COUNT="$(/usr/bin/python3 -c 'import json, sys; print(len(json.load(sys.stdin).get("tests", [])))' \
    <<<"$listing")" || return
  echo "$TEST_COUNT test(s)"
}

run_step "install-deps" "$ROOT/scripts/install-deps.sh"
run_step "format" "$ROOT/scripts/check-format.sh"
# The Windows build comes first: the Linux build compares its date pictures
# with it and runs yxtk.exe under Wine in its end-to-end tests.
if can_run_32bit; then
  run_step "win32 configure" cmake --preset win32
else
  WIN_PRESET=win64
  note "this machine cannot execute 32-bit x86 programs (the kernel's 32-bit emulation is off):" \
    "the Windows tests run on the win64 build of the same sources under 64-bit Wine"
  # Of the shipped 32-bit build only yxtk.exe and its .zip are built and
  # checked (no Wine needed); the package then installs what is built
  # rather than building every test program first.
  run_step "win32 configure" cmake --preset win32 -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
  run_step "win32 build" cmake --build --preset win32 --parallel "$JOBS" --target yxtk
  run_step "win32 package test" ctest --preset win32 -R package_zip
  run_step "win64 configure" cmake --preset win64
fi
find_wine_prefix
bg_step "wine prefix" create_wine_prefix
run_step "$WIN_PRESET build" cmake --build --preset "$WIN_PRESET" --parallel "$JOBS"
wait_step
run_step "wine server" start_wine_server
# One test at a time (the preset says so): English and Russian programs
# would race over the locale settings in the prefix's registry.
bg_step "$WIN_PRESET test" ctest --preset "$WIN_PRESET"
run_step "linux configure" cmake --preset linux -DYX_WIN32_BUILD_DIR="$ROOT/build/$WIN_PRESET"
run_step "linux build" cmake --build --preset linux --parallel "$JOBS"
# The Linux tests run Windows programs in the same prefix: not before the
# Windows tests have ended.
wait_step
bg_step "linux test" ctest --preset linux --parallel "$JOBS"
run_step "linux-asan configure" cmake --preset linux-asan
run_step "linux-asan build" cmake --build --preset linux-asan --parallel "$JOBS"
wait_step
bg_step "linux-asan test" ctest --preset linux-asan --parallel "$JOBS"
tsan_build
# The sanitizer builds' tests share no files: both may run while the fuzz
# targets build and run.
if [ "$TSAN_TESTS" -eq 1 ]; then
  bg_step "linux-tsan test" ctest --preset linux-tsan --parallel "$JOBS"
fi
if [ -x "$ROOT/scripts/fuzz.sh" ]; then
  run_step "fuzz" "$ROOT/scripts/fuzz.sh" 10
else
  skip_step "fuzz" "no scripts/fuzz.sh"
fi
while [ "${#BG_PIDS[@]}" -ne 0 ]; do wait_step; done

print_summary
printf '\ntest.sh: all steps passed\n'
