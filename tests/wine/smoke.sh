#!/usr/bin/env bash
# Smoke test of the Windows programs under Wine, against the Linux build as the referee.
#
# usage: tests/wine/smoke.sh [LINUX-BUILD [WINDOWS-BUILD]]    (build/default, build/windows)
#
# Takes the programs out of the Windows zip (cpack -G ZIP in WINDOWS-BUILD), as a user
# would, and checks that they need no DLL beside them. Then runs the same commands with
# the Linux programs in one folder and the Windows ones under Wine in another, both
# starting from the sample disk: after every command the standard output and the exit
# status must be the same bytes, and so must every file in the two folders (an image
# saved, an image left alone, no temporary file left behind). The commands cover every
# program, the overwrite prompt answered y and n, and images whose names are Japanese.
# Then, on Windows alone, a save over a read-only output (refused, the file as it was)
# and a save to the NUL device.
#
# Wine starts in a new prefix in a temporary folder, with no display and no standard
# input; each program runs once. Needs wine64 (or wine), and the MinGW-w64 objdump for
# the DLL check.
set -euo pipefail

linux=$(realpath "${1:-build/default}")
windows=$(realpath "${2:-build/windows}")
started=$SECONDS

wine=${WINE:-}
if [ -z "$wine" ]; then
  for candidate in "$(command -v wine64 || true)" /usr/lib/wine/wine64 "$(command -v wine || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      wine=$candidate
      break
    fi
  done
fi
if [ -z "$wine" ]; then
  echo "smoke: no wine64 found; install the wine64 package" >&2
  exit 1
fi
wineserver=$(dirname "$(realpath "$wine")")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
objdump=${MINGW_OBJDUMP:-x86_64-w64-mingw32-objdump}

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  if [ -n "$wineserver" ] && [ -d "$WINEPREFIX" ]; then "$wineserver" -k 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# ok WHAT FAILURES-BEFORE: reports a check that added no failure.
ok() {
  if [ "$failures" -eq "$2" ]; then echo "ok $1"; fi
}

# --- The zip ---------------------------------------------------------------------------
zips=("$windows"/parle-*-win64.zip)
[ -f "${zips[0]}" ] || { echo "smoke: no parle-*-win64.zip in $windows (cpack -G ZIP)" >&2; exit 1; }
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "${zips[0]}")
bin=$(echo "$work"/zip/parle-*-win64)
patch_tools=(parlefix-fdi parlefix-fdi2 parlefix-fdi3 parlefix-xdf parlefix-xdf2 parlefix-xdf3)
dump_tools=(parledump-fdi parledump-xdf)
for name in "${patch_tools[@]/%/.exe}" "${dump_tools[@]/%/.exe}" README.md LICENSE CHANGELOG.md parlefix.txt parledump.txt; do
  [ -f "$bin/$name" ] || fail "the zip has no $name"
done
if ls "$bin" | grep -qi '\.dll$'; then fail "the zip holds a DLL"; fi
# Every DLL a program imports must come with Windows itself.
for exe in "$bin"/*.exe; do
  while read -r dll; do
    case "${dll,,}" in
      kernel32.dll | msvcrt.dll | shell32.dll) ;;
      *) fail "$(basename "$exe") needs $dll, which Windows does not have" ;;
    esac
  done < <("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
done

# --- Wine -------------------------------------------------------------------------------
"$wine" wineboot --init </dev/null >/dev/null 2>&1 || true
prefix_ready=$SECONDS

# Both folders start from the sample disk and a copy of it under a Japanese name.
mkdir "$work/lin" "$work/win" "$work/out"
for dir in "$work/lin" "$work/win"; do
  cp "$linux/sample/K7_Wealdmor.fdi" "$linux/sample/k7-wealdmoor.xdf" "$dir/"
  cp "$linux/sample/K7_Wealdmor.fdi" "$dir/日本語.fdi"
  cp "$linux/sample/k7-wealdmoor.xdf" "$dir/ウィールドムーア.xdf"
  mkdir "$dir/sub"
done

# run_in DIR INPUT OUT PROGRAM ARGS...: runs PROGRAM in DIR with INPUT ("-" for none) as
# its standard input and its standard output in OUT; prints the exit status.
run_in() {
  local dir=$1 input=$2 out=$3 status=0
  shift 3
  if [ "$input" = - ]; then
    (cd "$dir" && "$@" </dev/null >"$out" 2>>"$work/stderr") || status=$?
  else
    (cd "$dir" && printf '%s' "$input" | "$@" >"$out" 2>>"$work/stderr") || status=$?
  fi
  echo "$status"
}

# same INPUT PROGRAM ARGS...: one command on both systems, compared.
step=0
same() {
  local input=$1 program=$2 lin_status win_status before=$failures
  shift 2
  step=$((step + 1))
  local what="step $step: $program $*"
  lin_status=$(run_in "$work/lin" "$input" "$work/out/$step.lin" "$linux/tools/$program" "$@")
  win_status=$(run_in "$work/win" "$input" "$work/out/$step.win" "$wine" "$bin/$program.exe" "$@")
  [ "$lin_status" = "$win_status" ] || fail "$what: exit status $win_status on Windows, $lin_status on Linux"
  if ! cmp -s "$work/out/$step.lin" "$work/out/$step.win"; then
    fail "$what: standard output differs"
    diff <(od -c "$work/out/$step.lin") <(od -c "$work/out/$step.win") | head -n 10 || true
  fi
  if ! diff -r "$work/lin" "$work/win" >"$work/out/$step.tree"; then
    fail "$what: the folders differ afterwards"
    head -n 10 "$work/out/$step.tree"
  fi
  ok "$what (status $win_status)" "$before"
}

# Every program on the sample disk, by its default image name and by one given.
same - parlefix-fdi                        # writes K7_Wealdmor.NEW.fdi
same y parlefix-fdi2                       # asks, y: replaces it
same n parlefix-fdi3                       # asks, n: leaves it
same - parlefix-xdf -o rev1.xdf
same - parlefix-xdf2 k7-wealdmoor.xdf --write rev2.xdf
same - parlefix-xdf3                       # writes k7-wealdmoor.NEW.xdf
same - parledump-fdi
same - parledump-xdf --print-offset rev2.xdf
same - parledump-fdi missing.fdi           # "ERROR: read disk image ..."
same - parlefix-xdf3 -o sub/rev3.xdf       # saved in a folder below
same - parlefix-xdf3 -o nowhere/rev3.xdf   # a folder that is not there: "open error"
# Japanese names: opened, written, printed.
same - parlefix-fdi3 日本語.fdi
same yes parlefix-fdi 日本語.fdi           # "already exists '日本語.NEW.fdi'", y
same - parlefix-xdf2 ウィールドムーア.xdf -o 書き出し.xdf
same - parledump-xdf 書き出し.xdf

# --- Windows alone ----------------------------------------------------------------------
# A read-only output: the save is refused after the y, and the file stays as it was.
before=$failures
mkdir "$work/ro"
cp "$linux/sample/K7_Wealdmor.fdi" "$work/ro/"
cp "$linux/sample/k7-wealdmoor.xdf" "$work/ro/keep.fdi"
chmod a-w "$work/ro/keep.fdi"
status=$(run_in "$work/ro" y "$work/out/ro" "$wine" "$bin/parlefix-fdi.exe" -o keep.fdi)
expected=$'already exists \'keep.fdi\'\noverwrite ? (Y or N): open error \'keep.fdi\'\nERROR: write disk image \'keep.fdi\''
[ "$status" = 1 ] || fail "read-only output: exit status $status, not 1"
[ "$(tail -n 3 "$work/out/ro")" = "$expected" ] || { fail "read-only output: the last lines differ"; tail -n 3 "$work/out/ro"; }
cmp -s "$work/ro/keep.fdi" "$linux/sample/k7-wealdmoor.xdf" || fail "read-only output: the file was changed"
[ "$(ls -A "$work/ro" | wc -l)" = 2 ] || { fail "read-only output: files left behind"; ls -A "$work/ro"; }
ok "read-only output refused (status $status)" "$before"

# The NUL device: written in place, as /dev/null on Linux.
before=$failures
status=$(run_in "$work/ro" y "$work/out/nul" "$wine" "$bin/parlefix-fdi3.exe" -o NUL)
[ "$status" = 0 ] || fail "NUL: exit status $status, not 0"
[ "$(tail -n 1 "$work/out/nul")" = "overwrite ? (Y or N): completed" ] || { fail "NUL: the last line differs"; tail -n 1 "$work/out/nul"; }
[ "$(ls -A "$work/ro" | wc -l)" = 2 ] || { fail "NUL: files left behind"; ls -A "$work/ro"; }
ok "save to NUL (status $status)" "$before"

echo "smoke: $step commands compared, $((SECONDS - started)) s ($((prefix_ready - started)) s for the Wine prefix)"
if [ "$failures" -ne 0 ]; then
  echo "smoke: $failures failures; Wine's own messages:"
  tail -n 20 "$work/stderr" || true
  exit 1
fi
echo "smoke: passed"
