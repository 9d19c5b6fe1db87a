#!/usr/bin/env bash
# Checks how ./run-tests counts: a skipped test is no pass, a skipped test that the stage needs
# and a needed test that is not there are failures, a stage script's summary is read with its
# skips, a stage that ran nothing fails only on CI, the format stage wants clang-format 14, and
# the command line takes stage names. The ctest outcomes come from a suite of known results
# (fixture/).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/run-tests-test.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
problems=0

# Output of the code under test is kept in files and shown indented: the ctest around this test
# must not read the fixture's summary lines as its own.
show() { sed 's/^/  | /' "$@"; }
check() { # what expected actual
  if [[ $2 == "$3" ]]; then
    echo "ok - $1"
  else
    echo "FAIL - $1: expected [$2], got [$3]"
    problems=$((problems + 1))
  fi
}
check_has() { # what file text
  if grep -qF -- "$3" "$2"; then
    echo "ok - $1"
  else
    echo "FAIL - $1: no \"$3\" in:"
    show "$2"
    problems=$((problems + 1))
  fi
}

# shellcheck source=../../run-tests
source "$source_root/run-tests"
root=$source_root
counts() { echo "$s_passed passed, $s_failed failed, $s_skipped skipped"; }
reset() { s_passed=0 s_failed=0 s_skipped=0; }

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if ! { cmake -S "$here/fixture" -B "$scratch/build" "${generator[@]}" &&
  cmake --build "$scratch/build"; } >"$scratch/build.log" 2>&1; then
  show "$scratch/build.log"
  echo "FAIL - the fixture suite did not build"
  exit 1
fi

# --- ctest --------------------------------------------------------------------------------------

unset CI
reset
run_ctest "$scratch/build" native >"$scratch/out" 2>"$scratch/err"
check "native: the skipped kill test fails the stage, the other skip is counted apart" \
  "3 passed, 2 failed, 1 skipped" "$(counts)"
check_has "the message names the skipped kill test and why it skipped" "$scratch/err" \
  "native: KillTest.Skips was skipped (strace is missing or may not trace here); this stage needs it to run"
check "and nothing else" 1 "$(wc -l <"$scratch/err")"

ctest --test-dir "$scratch/build" -j2 >"$scratch/ctest.log" 2>&1
ctest_status=$?
reset
count_ctest "$scratch/ctest.log" "$scratch/build" "$ctest_status" install "" 2>"$scratch/err"
check "a stage that needs no test counts both skips as skipped" \
  "3 passed, 1 failed, 2 skipped" "$(counts)"
check "and says nothing about them" "" "$(cat "$scratch/err")"

reset
count_ctest "$scratch/ctest.log" "$scratch/build" "$ctest_status" sanitize "Absent." 2>"$scratch/err"
check "a needed test that no test name has is a failure" "3 passed, 2 failed, 2 skipped" "$(counts)"
check_has "and is named" "$scratch/err" "sanitize: no test named *Absent.* ran"

# The pattern is text, not a regular expression: "KillTest." must not match "KillTestX".
sed 's/KillTest\./KillTestX/g' "$scratch/ctest.log" >"$scratch/renamed.log"
reset
count_ctest "$scratch/renamed.log" "$scratch/build" "$ctest_status" native "KillTest." 2>"$scratch/err"
check "the needed pattern is matched literally" "3 passed, 2 failed, 2 skipped" "$(counts)"

# ctest can fail with no failed test in its summary (a test program that is missing, say).
sed 's/1 tests failed out of/0 tests failed out of/; /^The following tests FAILED:/,$d' \
  "$scratch/ctest.log" >"$scratch/quiet.log"
reset
count_ctest "$scratch/quiet.log" "$scratch/build" 8 install "" 2>"$scratch/err"
check "ctest's exit status fails the stage when its summary shows no failure" \
  "4 passed, 1 failed, 2 skipped" "$(counts)"

printf 'No tests were found!!!\n' >"$scratch/none.log"
reset
count_ctest "$scratch/none.log" "$scratch/build" 8 native "KillTest." 2>"$scratch/err"
check "a ctest run without a summary is a failure" "0 passed, 1 failed, 0 skipped" "$(counts)"

# --- stage scripts ------------------------------------------------------------------------------

script_case() { # name status ci expected-counts what lines...
  local name=$1 rc=$2 ci=$3 want=$4 what=$5
  printf '%s\n' "${@:6}" >"$scratch/script.log"
  reset
  if [[ -n $ci ]]; then
    CI=$ci count_script "$scratch/script.log" "$rc" "$name" 2>"$scratch/err"
  else
    count_script "$scratch/script.log" "$rc" "$name" 2>"$scratch/err"
  fi
  check "$what" "$want" "$(counts)"
}
script_case wine 0 true "40 passed, 0 failed, 1 skipped" \
  "on CI a Wine stage that ran with the 64-bit stand-in passes, its skip counted" \
  "skip - running the 32-bit exes" "wine: 1 skipped" "wine: 40 passed, 0 failed"
script_case wine 0 true "0 passed, 1 failed, 0 skipped" \
  "on CI a Wine stage that ran nothing fails" \
  "skip - the Windows build and its tests under Wine: missing packages: wine" \
  "wine: 1 skipped" "wine: 0 passed, 0 failed"
check_has "and says so" "$scratch/err" "wine: nothing in it ran; CI must run it"
script_case wine 0 "" "0 passed, 0 failed, 1 skipped" \
  "elsewhere a Wine stage that ran nothing is skipped" \
  "wine: 1 skipped" "wine: 0 passed, 0 failed"
script_case fuzz 0 "" "0 passed, 0 failed, 4 skipped" \
  "fuzz targets skipped are counted one by one" "fuzz: 4 skipped" "fuzz: 0 passed, 0 failed"
script_case fuzz 0 true "0 passed, 1 failed, 0 skipped" \
  "on CI fuzz targets that did not run fail" "fuzz: 4 skipped" "fuzz: 0 passed, 0 failed"
script_case fuzz 1 "" "4 passed, 1 failed, 0 skipped" \
  "a script that exits non-zero without a failure counted fails" \
  "fuzz: 0 skipped" "fuzz: 4 passed, 0 failed"
script_case wine 1 true "0 passed, 1 failed, 0 skipped" \
  "a script that died before its summary fails" "run-wine-tests: no scratch directory"
script_case wine 0 "" "0 passed, 1 failed, 0 skipped" \
  "another stage's summary is not this one's" "fuzz: 0 skipped" "fuzz: 4 passed, 0 failed"

# --- the format stage's clang-format ------------------------------------------------------------

mkdir -p "$scratch/bin"
printf '#!/bin/sh\necho "Ubuntu clang-format version 16.0.6 (1ubuntu1)"\n' >"$scratch/bin/clang-format"
chmod +x "$scratch/bin/clang-format"
PATH="$scratch/bin:$PATH" stage_format >/dev/null 2>"$scratch/err"
check "another clang-format skips the format stage" "0 passed, 0 failed, 1 skipped" "$(counts)"
check_has "and says which version it found and which it needs" "$scratch/err" \
  "clang-format 16 found; the format is clang-format 14's"
CI=true PATH="$scratch/bin:$PATH" stage_format >/dev/null 2>"$scratch/err"
check "on CI another clang-format fails the format stage" "0 passed, 1 failed, 0 skipped" "$(counts)"
check_has "and says CI must run it" "$scratch/err" "CI must run it"

# --- the command line ---------------------------------------------------------------------------

"$source_root/run-tests" --help >"$scratch/out" 2>&1
check "--help exits 0" 0 $?
check "--help lists the stages" "format native install deb sanitize fuzz wine" \
  "$(sed -nE 's/^  ([a-z]+) .*/\1/p' "$scratch/out" | tr '\n' ' ' | sed 's/ $//')"
"$source_root/run-tests" native nosuch >"$scratch/out" 2>"$scratch/err"
check "an unknown stage exits 2" 2 $?
check_has "and is named" "$scratch/err" "unknown stage 'nosuch'"
check_has "with the list of stages" "$scratch/err" "  sanitize "
check "before anything runs" "" "$(cat "$scratch/out")"

echo "run-tests test: $problems problem(s)"
[[ $problems -eq 0 ]]
