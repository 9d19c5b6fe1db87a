#!/usr/bin/env bash
# The Windows stage: builds the Windows programs and their test drivers, then runs them under
# Wine in a private prefix and a private X display: the dumper against the Linux dumper's
# output, the sorter's engine against the Linux sorter, and the real dialog with gui_driver.exe.
#
# usage: tests/wine/run-wine-tests.sh NATIVE_BUILD WINDOWS_BUILD
#   NATIVE_BUILD   a built native tree (dumper/quindle, sorter/vormlin, tools/fdsgen/fdsgen)
#   WINDOWS_BUILD  where the 32-bit Windows build goes (configured here when new)
# Where the kernel cannot run 32-bit programs (and so no 32-bit Wine), the same sources are
# also built for 64-bit Windows in WINDOWS_BUILD-x86_64 and that build runs under 64-bit Wine;
# the 32-bit executables are then checked without running them.
# A second 32-bit build in WINDOWS_BUILD-repro must give the same exes and zip, byte for byte.
# VORMLIN_SCREENSHOT=FILE.png saves a picture of the dialog after its sorting run.
# Installs nothing. Without the packages it needs it runs nothing and says so as a skip; the
# 32-bit exes that are only checked count as a skip too. Ends with "wine: K skipped" and
# "wine: N passed, M failed"; exit status 0 when none failed.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
passed=0
failed=0
skipped=0
scratch=""
xvfb_pid=""
wineserver_cmd=""

ok() { passed=$((passed + 1)); echo "ok - $*"; }
fail() { failed=$((failed + 1)); echo "FAIL - $*"; }
skip() { skipped=$((skipped + 1)); echo "skip - $*"; }
summary() {
  echo "wine: $skipped skipped"
  echo "wine: $passed passed, $failed failed"
}
section() { echo "== $* (at ${SECONDS}s)"; }
die() {
  echo "run-wine-tests: $*" >&2
  failed=$((failed + 1))
  summary
  exit 1
}

cleanup() {
  if [[ -n $wineserver_cmd && -n ${WINEPREFIX:-} && -d $WINEPREFIX ]]; then
    timeout 30 "$wineserver_cmd" -k >/dev/null 2>&1
  fi
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [[ -n $scratch && -z ${WINE_TESTS_KEEP:-} ]]; then rm -rf "$scratch"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

[[ $# -eq 2 ]] || die "usage: $0 NATIVE_BUILD WINDOWS_BUILD"
native=$(realpath -m "$1")
winbuild=$(realpath -m "$2")

# --- what must be there ----------------------------------------------------------------------

need_command() { # command package
  command -v "$1" >/dev/null 2>&1 || missing+=("$2 (for $1)")
}
missing=()
need_command cmake cmake
need_command i686-w64-mingw32-g++-win32 g++-mingw-w64-i686-win32
need_command i686-w64-mingw32-windres binutils-mingw-w64-i686
need_command i686-w64-mingw32-objdump binutils-mingw-w64-i686
need_command wine wine
need_command Xvfb xvfb
need_command import imagemagick
need_command python3 python3
need_command localedef locales
need_command iconv libc-bin
[[ -d /usr/share/wine/fonts ]] || missing+=("fonts-wine (for /usr/share/wine/fonts)")
# Not there is not broken: the whole stage is skipped, and the caller decides whether it may be.
skip_stage() {
  skip "the Windows build and its tests under Wine: $*"
  summary
  exit 0
}
[[ ${#missing[@]} -eq 0 ]] || skip_stage "missing packages: ${missing[*]}"

quindle=$native/dumper/quindle
vormlin=$native/sorter/vormlin
fdsgen=$native/tools/fdsgen/fdsgen
for p in "$quindle" "$vormlin" "$fdsgen"; do
  [[ -x $p ]] || die "native program $p is missing: build $native first"
done

# 32-bit Wine needs a kernel that runs 32-bit programs; without it 64-bit Wine stands in.
# (Debian's layout; elsewhere the wine on the PATH is taken to run 32-bit programs.)
if [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine_arch=win32
  wine_cmd=$(command -v wine)
  wineserver_cmd=$(command -v wineserver)
elif [[ -e /usr/lib/wine/wine || -e /usr/lib/wine/wine64 ]]; then
  wine_arch=win64
  wine_cmd=/usr/lib/wine/wine64
  wineserver_cmd=/usr/lib/wine/wineserver64
  missing=()
  [[ -x $wine_cmd && -x $wineserver_cmd ]] || missing+=("wine64")
  need_command x86_64-w64-mingw32-g++-win32 g++-mingw-w64-x86-64-win32
  need_command x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64
  [[ ${#missing[@]} -eq 0 ]] ||
    skip_stage "32-bit programs cannot run here; the 64-bit stand-in needs: ${missing[*]}"
  export WINELOADER=$wine_cmd WINESERVER=$wineserver_cmd
else
  wine_arch=win32
  wine_cmd=$(command -v wine)
  wineserver_cmd=$(command -v wineserver)
fi

# --- the Windows builds ----------------------------------------------------------------------

build_windows() { # build-dir toolchain-file target...
  local generator=() log=$1/wine-stage-build.log
  command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
  mkdir -p "$1" || return 1
  cmake -S "$root" -B "$1" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" \
    -DCMAKE_BUILD_TYPE=Release -DFDS_WERROR=ON >"$log" 2>&1 || { cat "$log"; return 1; }
  # Only the targets named: what runs on Windows (programs, test drivers) and the zip.
  cmake --build "$1" -j2 --target "${@:3}" >"$log" 2>&1 || { tail -40 "$log"; return 1; }
}

section "Windows build (32-bit) in $winbuild"
build_windows "$winbuild" mingw-i686.cmake quindle vormlin engine_driver gui_driver lock_holder zip &&
  ok "32-bit Windows build" || die "the 32-bit Windows build failed"

# The shipped programs: 32-bit, the right subsystem, and no DLL beyond what Windows has.
check_exe() { # exe subsystem
  local dump dlls extra
  dump=$(i686-w64-mingw32-objdump -p "$1" 2>/dev/null)
  if grep -q 'Magic.*010b' <<<"$dump" && grep -q "Subsystem.*($2)" <<<"$dump"; then
    ok "$(basename "$1") is a 32-bit $2 program"
  else
    fail "$(basename "$1") is not a 32-bit $2 program"
  fi
  dlls=$(sed -n 's/.*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
  extra=$(tr ' ' '\n' <<<"$dlls" | grep -vxE '(kernel32|user32|comdlg32|msvcrt)\.dll' | tr -d '\n')
  [[ -z $extra ]] && ok "$(basename "$1") needs only system DLLs ($dlls)" ||
    fail "$(basename "$1") needs further DLLs: $extra"
}
check_exe "$winbuild/dumper/quindle.exe" "Windows CUI"
check_exe "$winbuild/sorter/vormlin.exe" "Windows GUI"

# Anyone can check a published exe by building the same commit: no time stamp and no build path
# may make two builds differ. Only the shipped files are built the second time.
section "a second 32-bit build in $winbuild-repro: the same bytes"
if build_windows "$winbuild-repro" mingw-i686.cmake quindle vormlin zip; then
  for f in dumper/quindle.exe sorter/vormlin.exe $(cd "$winbuild" && echo fdstools-*-win32.zip); do
    sum=$(sha256sum <"$winbuild/$f" 2>/dev/null)
    [[ -n $sum && $sum == $(sha256sum <"$winbuild-repro/$f" 2>/dev/null) ]] &&
      ok "$f is the same in both builds (SHA-256 ${sum%% *})" || fail "$f differs between builds"
  done
else
  fail "the second 32-bit Windows build failed"
fi

exes=$winbuild
if [[ $wine_arch == win64 ]]; then
  section "this kernel runs no 32-bit programs: Wine tests use a 64-bit build of the same sources"
  build_windows "$winbuild-x86_64" mingw-x86_64.cmake quindle vormlin engine_driver gui_driver lock_holder &&
    ok "64-bit Windows build for Wine" || die "the 64-bit Windows build failed"
  exes=$winbuild-x86_64
  skip "running the 32-bit exes: this kernel runs no 32-bit programs (they were only checked)"
fi
for p in dumper/quindle.exe sorter/vormlin.exe tests/wine/engine_driver.exe \
  tests/wine/gui_driver.exe tests/wine/lock_holder.exe; do
  [[ -f $exes/$p ]] || die "$exes/$p was not built"
done

# --- a private Wine and X display ------------------------------------------------------------

scratch=$(mktemp -d "${TMPDIR:-/tmp}/wine-tests.XXXXXX") || die "no scratch directory"
export WINEPREFIX=$scratch/prefix WINEARCH=$wine_arch WINEDEBUG=-all,err+winediag
export WINEDLLOVERRIDES="mscoree,mshtml="

start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" \
    >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -s $scratch/display ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  [[ -s $scratch/display ]] || { cat "$scratch/xvfb.log"; return 1; }
  export DISPLAY=:$(head -n1 "$scratch/display")
}

# The display comes first: a prefix booted without one cannot show dialogs later.
start_xvfb || die "Xvfb did not start"
section "Wine prefix ($wine_arch) in $WINEPREFIX, display $DISPLAY"
# A persistent server keeps every later start quick (about 40 ms for a console program).
mkdir -p "$WINEPREFIX" && "$wineserver_cmd" -p || die "wineserver did not start"
timeout 180 "$wine_cmd" wineboot -i >"$scratch/wineboot.log" 2>&1 ||
  { cat "$scratch/wineboot.log"; die "wineboot failed"; }
# This Wine does not look into /usr/share/wine/fonts; without them dialogs get other sizes.
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" || die "fonts not copied"
# No window manager: unmanaged windows, or every hidden window stalls.
timeout 60 "$wine_cmd" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
  >/dev/null 2>&1 || die "wine reg add failed"

wine_in() { # dir program args...: runs a Windows program in dir, bounded in time
  (cd "$1" && timeout 120 "$wine_cmd" "${@:2}")
}

# Wine's output with "\r\n" turned to "\n"; a line end without its "\r" shows as a line.
unix_text() {
  perl -0777 -ne 'print "<line end without carriage return>\n" if /(?<!\r)\n/' "$1"
  sed 's/\r$//' "$1"
}

# Windows paths as POSIX ones: "\" to "/", and no drive letter before the scratch directory.
unix_paths() {
  tr '\\' '/' | sed "s#Z:$scratch#$scratch#g"
}

# --- sample images ---------------------------------------------------------------------------

data=$scratch/data
mkdir -p "$data/known" || die "no data directory"
"$fdsgen" sample "$data/sample" >/dev/null || die "fdsgen sample failed"
cp "$data/sample/known/"* "$data/known/"
gen() { "$fdsgen" image "$@" >/dev/null || die "fdsgen image $* failed"; }
# A two-side and a one-side game whose sides, put together, make an image with a surplus side.
gen --game CMBA --sides 2 --files 3 --seed 21 "$data/known/Combo Alpha (Japan).fds"
gen --game CMBB --sides 1 --files 2 --seed 22 "$data/known/Combo Beta (Japan).fds"
gen --game TRIO --sides 3 --files 2 --seed 23 --header --maker 0xA4 --version 3 \
  "$data/known/Trio (Japan).fds"
extra=$data/extra
mkdir -p "$extra/dir.fds"
cat "$data/known/Combo Alpha (Japan).fds" "$data/known/Combo Beta (Japan).fds" \
  >"$extra/combo.fds"
cp "$data/known/Trio (Japan).fds" "$extra/TRIO COPY.FDS"
gen --game EMPT --files 0 --seed 24 "$extra/empty side.fds"
gen --game NOIN --no-info --seed 25 "$extra/no info.fda"
gen --game FAMX --fam --seed 26 --kind 9 "$extra/famous.fam"
gen --game CUTS --sides 2 --seed 27 --truncate 90000 "$extra/cut short.fds"
gen --game QDSK --qd --sides 2 --seed 28 --poke 65592=0 "$extra/quick disk.qd"
gen --game HDRC --sides 2 --seed 28 --header-count 5 "$extra/header count.fds"

# --- a) the dumper ---------------------------------------------------------------------------

section "quindle.exe against the Linux quindle"
dump=$scratch/dump
mkdir -p "$dump" && cp -r "$data/known" "$data/sample/collection" "$extra" "$dump/"
cp "$exes/dumper/quindle.exe" "$dump/"

compare_dump() { # dir args...
  local name="quindle ${*:2} in $(basename "$1")" linux_args=() win_args=() a
  for a in "${@:2}"; do
    linux_args+=("$a")
    win_args+=("${a//\//\\}")
  done
  (cd "$1" && "$quindle" "${linux_args[@]}") >"$scratch/linux.out" 2>&1
  local linux_status=$?
  wine_in "$1" "$dump/quindle.exe" "${win_args[@]}" >"$scratch/win.out" 2>"$scratch/win.err"
  local win_status=$?
  unix_text "$scratch/win.out" | unix_paths >"$scratch/win.txt"
  if [[ $linux_status -eq $win_status ]] && cmp -s "$scratch/linux.out" "$scratch/win.txt"; then
    ok "$name"
  else
    fail "$name (status $linux_status / $win_status)"
    diff "$scratch/linux.out" "$scratch/win.txt" | head -20
  fi
}
compare_dump "$dump/known" '*'
compare_dump "$dump/collection" '*'
compare_dump "$dump/collection" -i '*'
compare_dump "$dump/collection" -x '*'
compare_dump "$dump/extra" '*'
compare_dump "$dump/extra" -x '*'
compare_dump "$dump/extra" -o -i '*'
compare_dump "$dump" -x "collection/moon quest.fds" "extra/combo.fds" "extra/no such.fds" extra
compare_dump "$dump"

# A path beyond MAX_PATH (260) is refused cleanly on Windows, where Linux reads the file.
long_name=$(head -c 250 /dev/zero | tr '\0' d)
mkdir -p "$dump/$long_name" && cp "$data/known/Trio (Japan).fds" "$dump/$long_name/image.fds"
wine_in "$dump" "$dump/quindle.exe" "$long_name\\image.fds" >"$scratch/win.out" 2>/dev/null
if [[ $? -eq 0 && $(cat "$scratch/win.out") == "$long_name\\image.fds: failed to open" ]]; then
  ok "quindle.exe refuses a path longer than MAX_PATH"
else
  fail "quindle.exe on a path longer than MAX_PATH: $(head -c 300 "$scratch/win.out")"
fi

# The catalogue every sorter run uses: the Windows dumper's own output, "\r\n" and all.
wine_in "$dump/known" "$dump/quindle.exe" '*' >"$data/ingredients.dat" 2>/dev/null ||
  die "quindle.exe made no catalogue"
rows=$(($(wc -l <"$data/ingredients.dat") + 1))

# --- b) the sorter's engine ------------------------------------------------------------------

section "the sorter's engine on Windows against the Linux vormlin"
engine=$scratch/engine
cp "$exes/tests/wine/engine_driver.exe" "$scratch/"

# Same collection, same catalogue, same options: same tree, miss.txt and messages.
# layout: work/ (current directory, catalogue, miss.txt, temporary images) and coll/.
prepare_side() { # dir catalogue-subdir
  mkdir -p "$1/work" "$1/coll" && cp -r "$data/sample/collection/." "$extra/." "$1/coll/" &&
    { [[ $2 == none ]] || cp "$data/ingredients.dat" "$1/$2/"; }
}

compare_trees() { # name linux-dir windows-dir
  local f bad=""
  diff -r -x miss.txt "$2" "$3" >"$scratch/tree.diff" 2>&1 || bad="trees differ"
  while IFS= read -r -d '' f; do
    unix_text "$3/$f" >"$scratch/miss.txt" 2>/dev/null
    cmp -s "$2/$f" "$scratch/miss.txt" || bad="$bad $f differs"
  done < <(cd "$2" && find . -name miss.txt -print0; cd "$3" && find . -name miss.txt -print0)
  if [[ -z $bad ]]; then ok "$1"; else
    fail "$1: $bad"
    head -20 "$scratch/tree.diff"
  fi
}

compare_engine() { # name cwd catalogue-dir args...  (directories: work, coll or none)
  local name=$1 cwd=$2 dir=$engine/$((++engine_case))
  prepare_side "$dir/linux" "$3" && prepare_side "$dir/windows" "$3" || die "no copy for $name"
  (cd "$dir/linux/$cwd" && "$vormlin" "${@:4}") >"$scratch/linux.out" 2>"$scratch/linux.err"
  local linux_status=$?
  local win_args=("${@:4}")
  win_args=("${win_args[@]//\//\\}")
  wine_in "$dir/windows/$cwd" "$scratch/engine_driver.exe" "${win_args[@]}" \
    >"$scratch/win.out" 2>"$scratch/win.err"
  local win_status=$?
  unix_text "$scratch/win.out" | unix_paths >"$scratch/win.txt"
  # Wine's own diagnostics also go to standard error.
  unix_text "$scratch/win.err" | grep -vE '^(wine: |[0-9a-f]{4}:err:)' | unix_paths \
    >"$scratch/win-err.txt"
  # The run summary's time is the one thing that may differ; where files may be sorted by
  # different runs, so may each run's counts.
  sed -Ei 's/^(summary: .*) in [0-9]+\.[0-9]{2} s$/\1 in T s/' "$scratch/linux.out" "$scratch/win.txt"
  if [[ -n $order_free ]]; then
    sed -i '/^summary: /d' "$scratch/linux.out" "$scratch/win.txt"
    sort -o "$scratch/linux.out" "$scratch/linux.out"
    sort -o "$scratch/win.txt" "$scratch/win.txt"
  fi
  if [[ $linux_status -eq $win_status ]] && cmp -s "$scratch/linux.out" "$scratch/win.txt" &&
    cmp -s "$scratch/linux.err" "$scratch/win-err.txt"; then
    ok "$name: same output and status ($win_status)"
  else
    fail "$name: output or status differ ($linux_status / $win_status)"
    diff "$scratch/linux.out" "$scratch/win.txt" | head -10
    diff "$scratch/linux.err" "$scratch/win-err.txt" | head -10
  fi
  compare_trees "$name: same tree and miss.txt" "$dir/linux" "$dir/windows"
}
engine_case=0
order_free=""
compare_engine "no options" work work -v ../coll
compare_engine "zero unused space" work work -v -u ../coll
compare_engine "no fwNES header" work work -v -H ../coll
compare_engine "convert FAM" work work -v -c ../coll
compare_engine "all options, two runs" work work -v -s -u -H -c ../coll ../coll
# Wine's directory search does not return files made during it, a POSIX one does: a split-off
# temporary image in the scanned directory is sorted by the first run there, by the second here.
order_free=1
compare_engine "collection in the current directory, two runs" coll coll -v . .
order_free=""
compare_engine "no catalogue" work none -v ../coll

# --- b1) names and catalogue encodings in a Western and a Japanese Windows --------------------

section "names and catalogue encodings under a Western (1252) and a Japanese (932) code page"
# Wine takes its code page from the locale. Names: Japanese text, characters whose second byte
# in code page 932 is 0x5C ("\\": ソ, 表, 能), accents and an emoji; the folder sorted ends in
# 表 and the current one is Japanese too. Catalogues: UTF-8 (the Linux dumper's), the Windows
# dumper's own, UTF-16LE with its mark (PowerShell 5.1, Notepad "Unicode"), and the legacy code
# page of each locale (earlier Windows dumpers). Each tree must be the Linux vormlin's.
locales=$scratch/locales
names=$scratch/names
mkdir -p "$locales" "$names/known" || die "no directory for the locales"
localedef -i en_US -f UTF-8 "$locales/en_US.UTF-8" >/dev/null 2>&1 &&
  localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" >/dev/null 2>&1 ||
  die "localedef could not build the locales (Debian: locales)"
in_locale() { # locale dir program args...: a Windows program under that locale's code page
  (cd "$2" && LOCPATH=$locales LC_ALL=$1 timeout 120 "$wine_cmd" "${@:3}")
}
coll_name="ファミコン ディスク 表"
work_name="作業 能"
gen --game SLMN --sides 2 --files 3 --seed 31 "$names/known/ソロモンの鍵 (Japan).fds"
gen --game PKCF --files 4 --seed 32 --header "$names/known/Pokémon Café (Japan).fds"
gen --game EMJI --files 2 --seed 33 "$names/known/表 😀 Emoji.fds"
gen --game PLAN --files 3 --seed 34 --header "$names/known/Plain (Japan).fds"
(cd "$names/known" && "$quindle" '*') >"$names/utf8.dat" || die "no UTF-8 catalogue"
{ printf '\xff\xfe'; sed 's/$/\r/' "$names/utf8.dat" | iconv -f UTF-8 -t UTF-16LE; } \
  >"$names/utf16.dat" || die "no UTF-16 catalogue"
# Each legacy catalogue holds the lines its code page can write; the Linux run gets the same
# lines in UTF-8.
legacy_catalogue() { # code-page out-legacy out-utf8
  local line
  : >"$2" && : >"$3"
  while IFS= read -r line; do
    # iconv writes what it converted before it fails: only whole lines go in.
    if printf '%s\r\n' "$line" | iconv -f UTF-8 -t "$1" >"$scratch/line" 2>/dev/null; then
      cat "$scratch/line" >>"$2"
      printf '%s\n' "$line" >>"$3"
    fi
  done <"$names/utf8.dat"
}
legacy_catalogue CP1252 "$names/cp1252.dat" "$names/cp1252-utf8.dat"
legacy_catalogue CP932 "$names/cp932.dat" "$names/cp932-utf8.dat"
cp "$exes/dumper/quindle.exe" "$names/known/"
for locale in en_US.UTF-8 ja_JP.UTF-8; do
  in_locale "$locale" "$names/known" quindle.exe '*' >"$scratch/win.out" 2>/dev/null
  unix_text "$scratch/win.out" | grep -v '^<line end' >"$scratch/win.txt"
  unix_text "$scratch/win.out" >"$names/quindle-$locale.dat"
  if cmp -s "$names/utf8.dat" "$scratch/win.txt"; then
    ok "quindle.exe '*' under $locale writes the Linux catalogue, names as UTF-8"
  else
    fail "quindle.exe '*' under $locale differs from the Linux quindle"
    diff "$names/utf8.dat" "$scratch/win.txt" | head -6
  fi
  in_locale "$locale" "$names/known" quindle.exe -i "ソロモンの鍵 (Japan).fds" "表 😀 Emoji.fds" \
    >"$scratch/win.out" 2>/dev/null
  (cd "$names/known" && "$quindle" -i "ソロモンの鍵 (Japan).fds" "表 😀 Emoji.fds") >"$scratch/linux.out"
  if unix_text "$scratch/win.out" | cmp -s "$scratch/linux.out" -; then
    ok "quindle.exe under $locale reports files named on its command line"
  else
    fail "quindle.exe under $locale on named files differs from the Linux quindle"
  fi
done
rm -f "$names/known/quindle.exe"

prepare_names() { # dir catalogue
  mkdir -p "$1/$work_name" "$1/$coll_name" && cp "$2" "$1/$work_name/ingredients.dat" &&
    cp "$names/known/ソロモンの鍵 (Japan).fds" "$1/$coll_name/ソフト メトロイド.fds" &&
    cp "$names/known/Pokémon Café (Japan).fds" "$1/$coll_name/Café.fds" &&
    cp "$names/known/Pokémon Café (Japan).fds" "$1/$coll_name/能 dupe.fds" &&
    cp "$names/known/表 😀 Emoji.fds" "$1/$coll_name/😀.fds" &&
    cp "$names/known/Plain (Japan).fds" "$1/$coll_name/plain ソ.fds" &&
    printf 'no disk here' >"$1/$coll_name/junk 表.fds"
}

compare_names() { # locale windows-catalogue linux-catalogue
  local name="$(basename "$2") under $1" dir=$names/$((++names_case))
  prepare_names "$dir/linux" "$3" && prepare_names "$dir/windows" "$2" || die "no copy for $name"
  (cd "$dir/linux/$work_name" && "$vormlin" -v "../$coll_name") >"$scratch/linux.out" 2>&1
  local linux_status=$?
  in_locale "$1" "$dir/windows/$work_name" "$scratch/engine_driver.exe" -v "..\\$coll_name" \
    >"$scratch/win.out" 2>"$scratch/win.err"
  local win_status=$?
  rm -f "$dir/linux/$work_name/ingredients.dat" "$dir/windows/$work_name/ingredients.dat"
  { unix_text "$scratch/win.out"; unix_text "$scratch/win.err" | grep -vE '^(wine: |[0-9a-f]{4}:err:)'; } |
    unix_paths | sed -E 's/ in [0-9]+\.[0-9]{2} s$//' | sort >"$scratch/win.txt"
  sed -E 's/ in [0-9]+\.[0-9]{2} s$//' "$scratch/linux.out" | sort >"$scratch/linux.txt"
  if [[ $linux_status -eq $win_status ]] && cmp -s "$scratch/linux.txt" "$scratch/win.txt"; then
    ok "$name: the sorter's lines and status ($win_status) are the Linux vormlin's"
  else
    fail "$name: lines or status differ ($linux_status / $win_status)"
    diff "$scratch/linux.txt" "$scratch/win.txt" | head -10
  fi
  compare_trees "$name: the tree and miss.txt are the Linux vormlin's" "$dir/linux" "$dir/windows"
}
names_case=0
for locale in en_US.UTF-8 ja_JP.UTF-8; do
  compare_names "$locale" "$names/utf8.dat" "$names/utf8.dat"
  compare_names "$locale" "$names/quindle-$locale.dat" "$names/utf8.dat"
  compare_names "$locale" "$names/utf16.dat" "$names/utf8.dat"
done
compare_names en_US.UTF-8 "$names/cp1252.dat" "$names/cp1252-utf8.dat"
compare_names ja_JP.UTF-8 "$names/cp932.dat" "$names/cp932-utf8.dat"

# --- b2) one sort at a time, and runs killed half-way ----------------------------------------

section "the lock and killed runs on Windows"
cp "$exes/tests/wine/lock_holder.exe" "$scratch/"
safety=$scratch/safety

# A collection of many files to rewrite, split and place: the sample, twenty times over.
prepare_safety() { # dir
  local i f
  mkdir -p "$1/coll" && cp "$data/ingredients.dat" "$1/" || return 1
  for ((i = 10; i < 30; i++)); do
    for f in "$data/sample/collection/"*; do cp "$f" "$1/coll/$i $(basename "$f")" || return 1; done
  done
}

# A Windows program started in the background as "(cd DIR && exec wine ...) &": wine execs
# into the program, so $! is the program itself and a kill reaches it. The caller bounds the
# wait and kills it.

prepare_safety "$safety/held" || die "no copy for the lock test"
(cd "$safety/held" && exec "$wine_cmd" "$scratch/lock_holder.exe" coll) >"$scratch/holder.out" \
  2>/dev/null &
holder=$!
for ((i = 0; i < 600; i++)); do
  grep -q locked "$scratch/holder.out" 2>/dev/null && break
  sleep 0.05
done
wine_in "$safety/held" "$scratch/engine_driver.exe" -v coll >/dev/null 2>"$scratch/win.err"
held_status=$?
kill -KILL "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
if [[ $held_status -eq 4 ]] &&
  unix_text "$scratch/win.err" | grep -qx 'VORMLIN: Another sort is running in coll.' &&
  [[ ! -e $safety/held/coll/ren && ! -e $safety/held/miss.txt ]]; then
  ok "a second sort is refused while the directory is locked"
else
  fail "a locked directory: status $held_status, $(unix_text "$scratch/win.err" | head -3)"
fi
# The server closes a killed program's handles a moment after the process is gone: a sort
# may still find the lock held for that moment, never longer. (Status 3: with twenty copies of
# each game, some find every numbered name in dupes taken.)
for ((i = 0; i < 50; i++)); do
  wine_in "$safety/held" "$scratch/engine_driver.exe" coll >/dev/null 2>&1
  held_status=$?
  [[ $held_status -eq 4 ]] || break
  sleep 0.1
done
if [[ ($held_status -eq 0 || $held_status -eq 3) && -d $safety/held/coll/ren ]]; then
  ok "the lock of a killed holder is gone with it"
else
  fail "a sort after the lock holder was killed: status $held_status"
fi

# Killed while it rewrites (its journal stands), then run again: the tree of one run.
prepare_safety "$safety/once" || die "no copy for the uninterrupted run"
wine_in "$safety/once" "$scratch/engine_driver.exe" coll >/dev/null 2>&1
once_status=$?
[[ $once_status -eq 0 || $once_status -eq 3 ]] || die "the uninterrupted run failed ($once_status)"
for trial in 1 2 3; do
  run_dir=$safety/killed$trial
  prepare_safety "$run_dir" || die "no copy for killed run $trial"
  (cd "$run_dir" && exec "$wine_cmd" "$scratch/engine_driver.exe" coll) >/dev/null 2>&1 &
  sorter=$!
  # The n-th journal seen is the moment; a run that ends first was not killed at all.
  seen=0 killed=""
  for ((i = 0; i < 20000 && seen < trial * 2 - 1; i++)); do
    kill -0 "$sorter" 2>/dev/null || break
    [[ -e $run_dir/coll/.vormlin-journal ]] && seen=$((seen + 1))
    sleep 0.002
  done
  kill -KILL "$sorter" 2>/dev/null && killed=yes
  wait "$sorter" 2>/dev/null
  # A run that ended before the moment came is checked all the same.
  wine_in "$run_dir" "$scratch/engine_driver.exe" coll >/dev/null 2>&1
  leftovers=$(find "$run_dir" -name '.vormlin-*' | head -3)
  if diff -r -x miss.txt "$safety/once" "$run_dir" >"$scratch/tree.diff" 2>&1 &&
    [[ -z $leftovers ]]; then
    ok "killed during a rewrite (${killed:-no: it ended first}), then run again: the tree of one run"
  else
    fail "killed run $trial (killed: ${killed:-no}, journals seen: $seen) $leftovers"
    head -10 "$scratch/tree.diff"
  fi
done

# Planted journals whose names Windows would read as a drive, a parent, an absolute path or a
# stream: each is set aside whole, and the file beside the collection stays as it was.
planted_lines=($'new\tC:thesis.txt' $'new\t..\\thesis.txt' $'new\t\\thesis.txt'
               $'new\tZ:\\thesis.txt' $'move\tx.fds:s\tbak\\x.fds:s\t1\t00000000')
for line in "${planted_lines[@]}"; do
  run_dir=$safety/planted
  rm -rf "$run_dir" && mkdir -p "$run_dir/coll" || die "no directory for planted journals"
  cp "$data/ingredients.dat" "$run_dir/" && printf 'my thesis' >"$run_dir/thesis.txt" &&
    cp "$data/sample/collection/"* "$run_dir/coll/" || die "no copy for planted journals"
  printf 'vormlin-journal\t1\timage\t00000000DEADBEEF\n%s\n' "$line" >"$run_dir/coll/.vormlin-journal"
  wine_in "$run_dir" "$scratch/engine_driver.exe" coll >/dev/null 2>"$scratch/win.err"
  planted_status=$?
  if [[ $planted_status -eq 0 || $planted_status -eq 3 ]] &&
    [[ $(cat "$run_dir/thesis.txt") == "my thesis" && -f $run_dir/coll/vormlin-refused-journal.txt ]] &&
    unix_text "$scratch/win.err" | grep -q 'coll.\.vormlin-journal is not a journal this sorter wrote'; then
    ok "a planted journal line '${line//$'\t'/ }' is refused and set aside"
  else
    fail "planted journal line '${line//$'\t'/ }': status $planted_status, $(unix_text "$scratch/win.err" | head -2)"
  fi
done

# --- c) the dialog ---------------------------------------------------------------------------

section "vormlin.exe's dialog"
gui=$scratch/gui
mkdir -p "$gui/windows/work" "$gui/windows/coll" "$gui/windows/pick" "$gui/linux/work" \
  "$gui/linux/coll" || die "no gui directories"
cp -r "$data/sample/collection/." "$extra/." "$gui/windows/coll/"
cp -r "$data/sample/collection/." "$extra/." "$gui/linux/coll/"
cp "$data/ingredients.dat" "$gui/linux/work/"
cp "$data/ingredients.dat" "$gui/catalogue.dat"
cp "$exes/sorter/vormlin.exe" "$exes/tests/wine/gui_driver.exe" "$gui/"
# A folder whose one file cannot be placed (a plain file stands at bad), and folders of many
# images that each need a rewrite: runs long enough to watch, and to close half-way.
mkdir -p "$gui/windows/fail" "$gui/windows/long" "$gui/closed/work" "$gui/closed/long" ||
  die "no gui directories"
printf 'no disk here' >"$gui/windows/fail/junk.fds" && printf 'in the way' >"$gui/windows/fail/bad"
gen --game LONG --seed 41 "$gui/one.fds"
for ((i = 0; i < 400; i++)); do
  cp "$gui/one.fds" "$gui/windows/long/image $i.fds" && cp "$gui/one.fds" "$gui/closed/long/image $i.fds" ||
    die "no long collection"
done
cp "$data/ingredients.dat" "$gui/closed/work/"

# While gui_driver.exe (pid) holds the dialog for it: a picture of the rectangle it names in
# shot.ready, saved as file; then shot.done lets it go on.
screenshot() { # pid file
  local i
  for ((i = 0; i < 1200; i++)); do
    [[ -f $gui/shot.ready ]] && break
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -f $gui/shot.ready ]]; then
    import -window root -display "$DISPLAY" -crop "$(head -n1 "$gui/shot.ready")" +repage \
      "$2" && echo "screenshot: $2"
    : >"$gui/shot.done"
  fi
}

shot_args=()
[[ -n ${VORMLIN_SCREENSHOT:-} ]] && shot_args=(--shot)
(cd "$gui" && timeout 300 "$wine_cmd" gui_driver.exe vormlin.exe windows\\work windows\\coll \
  catalogue.dat "$rows!" windows\\pick windows\\fail windows\\long "${shot_args[@]}" \
  >"$gui/driver.out" 2>"$gui/driver.err") &
driver_pid=$!
[[ -n ${VORMLIN_SCREENSHOT:-} ]] && screenshot "$driver_pid" "$VORMLIN_SCREENSHOT"
wait "$driver_pid"
driver_status=$?

# Adds the driver's own checks to the totals.
count_driver_checks() {
  tr -d '\r' <"$gui/driver.out" | grep -E '^(ok|FAIL) - '
  local good bad
  good=$(tr -d '\r' <"$gui/driver.out" | grep -c '^ok - ')
  bad=$(tr -d '\r' <"$gui/driver.out" | grep -c '^FAIL - ')
  passed=$((passed + good))
  failed=$((failed + bad))
  if [[ $driver_status -ne 0 && $bad -eq 0 ]]; then
    fail "gui_driver.exe ended with status $driver_status"
    tail -5 "$gui/driver.err"
  fi
}
count_driver_checks
(cd "$gui/linux/work" && "$vormlin" -u -c ../coll ../coll >/dev/null 2>&1)

# Start-up directories: a drive's root, and one of 256 characters (too long for the usual
# 255-character buffer once the backslash is added).
long_dir=$(head -c $((256 - 2 - ${#gui} - 1)) /dev/zero | tr '\0' d)
mkdir -p "$gui/$long_dir" || die "no long directory"
(cd "$gui" && timeout 120 "$wine_cmd" gui_driver.exe --start-dirs vormlin.exe 'Z:\' "$long_dir" \
  >"$gui/driver.out" 2>"$gui/driver.err")
driver_status=$?
count_driver_checks
rm -rf "$gui/windows/pick" "$gui/windows/fail" "$gui/windows/long"
rm -f "$gui/windows/work/ingredients.dat" "$gui/linux/work/ingredients.dat"
compare_trees "the dialog's two runs sort like the Linux vormlin" "$gui/linux" "$gui/windows"

# Closed while a run goes: it stops after the file at hand, leaves no file of its own, loses
# no image, and has not gone through the whole folder.
(cd "$gui" && timeout 120 "$wine_cmd" gui_driver.exe --close-mid-run vormlin.exe closed\\work \
  closed\\long >"$gui/driver.out" 2>"$gui/driver.err")
driver_status=$?
count_driver_checks
backed=$(find "$gui/closed/long/bak" -name 'image *.fds' 2>/dev/null | wc -l)
normalised=$(find "$gui/closed/long" -maxdepth 1 -name 'image *.fds' -size 65516c | wc -l)
untouched=$(find "$gui/closed/long" -maxdepth 1 -name 'image *.fds' -size 65500c | wc -l)
leftovers=$(find "$gui/closed" -name '.vormlin-*' | head -3)
if [[ -z $leftovers && $backed -ge 1 && $backed -lt 400 && $normalised -eq $backed &&
  $((normalised + untouched)) -eq 400 ]] &&
  cmp -s "$gui/one.fds" "$gui/closed/long/bak/image 0.fds"; then
  ok "closed during a run: $backed of 400 images sorted, the rest untouched, nothing half made"
else
  fail "closed during a run: $backed in bak, $normalised normalised, $untouched untouched," \
    "leftovers: $leftovers"
fi

# Closed while the catalogue's box is up: the run stops before any file.
mkdir -p "$gui/boxed/work" "$gui/boxed/coll" && cp "$data/sample/collection/"* "$gui/boxed/coll/" &&
  { printf 'LONG;1;0;1;1;01;12345678;%s.fds\r\n' "$(head -c 120 /dev/zero | tr '\0' n)"
    cat "$data/ingredients.dat"; } >"$gui/boxed/work/ingredients.dat" || die "no boxed directories"
cp -r "$gui/boxed/coll" "$gui/boxed/before"
(cd "$gui" && timeout 120 "$wine_cmd" gui_driver.exe --close-at-box vormlin.exe boxed\\work \
  boxed\\coll >"$gui/driver.out" 2>"$gui/driver.err")
driver_status=$?
count_driver_checks
if diff -r "$gui/boxed/before" "$gui/boxed/coll" >/dev/null && [[ ! -e $gui/boxed/work/miss.txt ]]; then
  ok "closed while the catalogue's box was up: nothing sorted, no miss.txt"
else
  fail "closed while the catalogue's box was up: the collection or miss.txt changed"
fi

# The dialog at 96 and 192 DPI, for the documentation (VORMLIN_SCREENSHOT_DIR=docs, say).
if [[ -n ${VORMLIN_SCREENSHOT_DIR:-} ]]; then
  for dpi in 96 192; do
    timeout 60 "$wine_cmd" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
      /d "$dpi" /f >/dev/null 2>&1
    rm -f "$gui/shot.ready" "$gui/shot.done"
    (cd "$gui" && timeout 120 "$wine_cmd" gui_driver.exe --shot-only vormlin.exe windows\\work \
      >"$gui/driver.out" 2>"$gui/driver.err") &
    driver_pid=$!
    screenshot "$driver_pid" "$VORMLIN_SCREENSHOT_DIR/vormlin-dialog-$dpi.png"
    wait "$driver_pid"
  done
fi

summary
[[ $failed -eq 0 ]]
