#!/usr/bin/env bash
# Configures the project as a user without GoogleTest would: the tests are left out and the
# programs still build; asking for the tests then stops with a message that says what is missing.
# With GoogleTest found the tests are on.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/configure-test.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
problems=0
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

configure() { # name cmake-args...
  cmake -S "$source_root" -B "$scratch/$1" "${generator[@]}" "${@:2}" >"$scratch/$1.log" 2>&1
}
cached() { # name variable
  sed -nE "s/^$2:[A-Z]+=(.*)/\\1/p" "$scratch/$1/CMakeCache.txt" 2>/dev/null
}
verdict() { # ok what
  if [[ $1 == yes ]]; then
    echo "ok - $2"
  else
    echo "FAIL - $2"
    [[ -z ${3:-} ]] || sed 's/^/  | /' "$3" | tail -20
    problems=$((problems + 1))
  fi
}

configure without -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
status=$? ok=no
[[ $status -eq 0 && $(cached without FDS_TESTS) == OFF ]] && ok=yes
verdict $ok "without GoogleTest the configuration succeeds with FDS_TESTS off" "$scratch/without.log"

configure asked -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DFDS_TESTS=ON
status=$? ok=no
[[ $status -ne 0 ]] && grep -q 'FDS_TESTS is ON but GoogleTest was not found' "$scratch/asked.log" &&
  grep -q 'libgtest-dev' "$scratch/asked.log" && ok=yes
verdict $ok "asked for the tests without GoogleTest, configuring fails and says why" \
  "$scratch/asked.log"

configure with
status=$? ok=no
[[ $status -eq 0 && $(cached with FDS_TESTS) == ON ]] && ok=yes
verdict $ok "with GoogleTest FDS_TESTS is on" "$scratch/with.log"

echo "configure test: $problems problem(s)"
[[ $problems -eq 0 ]]
