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
# program, the overwrite prompt answered y and n, images whose names are Japanese, and
# parle's info, fix and dump on every form of the sample the build made, and parle given
# an image alone (as Explorer starts it for an image dropped onto it). Then, on Windows
# alone: a save over a read-only output (refused, the file as it was), a save to the NUL
# device, and parle in a console window of its own, which waits for Enter.
#
# Wine starts in a new prefix in a temporary folder, with no display and no standard
# input; each program runs once. Needs wine64 (or wine), the MinGW-w64 objdump for the
# DLL check, and script (util-linux) for the pseudo-terminal.
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
for name in parle.exe "${patch_tools[@]/%/.exe}" "${dump_tools[@]/%/.exe}" README.md LICENSE CHANGELOG.md \
  parle.txt parlefix.txt parledump.txt; do
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

# parle on every form of the sample the build made: info, fix and dump, each compared.
for image in "$linux"/sample/K7_Wealdmor.* "$linux"/sample/k7-wealdmoor.*; do
  name=$(basename "$image")
  cp "$image" "$work/lin/form-$name"
  cp "$image" "$work/win/form-$name"
  same - parle info "form-$name"
  same - parle fix -o "fixed-$name" "form-$name"
  same - parle dump "form-$name"
done
same - parle dump --sjis --print-offset 日本語.fdi
same - parle info --json 日本語.fdi ウィールドムーア.xdf
# An image alone, as Explorer hands over one dropped onto parle.exe: info, then the offer
# to fix it, here answered from a pipe.
cp "$linux/sample/k7-wealdmoor.xdf" "$work/lin/dropped.xdf"
cp "$linux/sample/k7-wealdmoor.xdf" "$work/win/dropped.xdf"
same y parle dropped.xdf
same - parle dropped.NEW.xdf               # patched already: nothing offered

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

# parle's own line for a save over a read-only output.
before=$failures
status=$(run_in "$work/ro" - "$work/out/parle-ro" "$wine" "$bin/parle.exe" fix -f -o keep.fdi K7_Wealdmor.fdi)
[ "$status" = 1 ] || fail "parle, read-only output: exit status $status, not 1"
grep -qF "parle: keep.fdi: cannot save: the file is read-only; make it writable or choose another output" \
  "$work/stderr" ||
  fail "parle, read-only output: no line saying so"
cmp -s "$work/ro/keep.fdi" "$linux/sample/k7-wealdmoor.xdf" || fail "parle, read-only output: the file was changed"
[ "$(ls -A "$work/ro" | wc -l)" = 2 ] || { fail "parle, read-only output: files left behind"; ls -A "$work/ro"; }
ok "parle: read-only output refused (status $status)" "$before"

# A console window of parle's own, as Explorer opens one for an image dropped onto
# parle.exe or for parle.exe double-clicked: under a pseudo-terminal Wine gives the
# program a console that lists it alone, and parle waits for Enter before it ends. Keys
# are sent only once the console shows what they answer (Wine draws spaces as cursor
# moves, so the text is compared without them).
shown() {
  sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' "$work/out/console" | tr -d ' \r\n' | grep -qF "$1"
}
waits_for() {
  local tenths
  for ((tenths = 0; tenths < 600; tenths++)); do
    shown "$1" && return 0
    sleep 0.1
  done
  fail "own console: '$1' never appeared"
  return 1
}
# own_console ARGS... -- TEXT KEYS [TEXT KEYS]...: runs parle.exe ARGS in the read-only
# folder in a console of its own, typing each KEYS once TEXT is shown; its exit status
# in $console_status.
own_console() {
  local args=()
  while [ "$1" != -- ]; do
    args+=("$1")
    shift
  done
  shift
  rm -f "$work/keys"
  mkfifo "$work/keys"
  : >"$work/out/console"
  (cd "$work/ro" && script -qefc "$(printf '%q ' "$wine" "$bin/parle.exe" "${args[@]}")" /dev/null \
    <"$work/keys" >"$work/out/console" 2>&1) &
  local console=$!
  exec 3>"$work/keys"
  while [ $# -ge 2 ]; do
    waits_for "$1" || break
    printf '%s' "$2" >&3
    shift 2
  done
  exec 3>&-
  console_status=0
  wait "$console" || console_status=$?
}

# An image dropped onto parle.exe: info, the offer declined with n, Enter awaited.
before=$failures
own_console K7_Wealdmor.fdi -- "fixitwithrevision3andsaveitas'K7_Wealdmor.NEW.fdi'?[y/N]" $'n\r' \
  "PressEntertoclosethiswindow." $'\r'
status=$console_status
[ "$status" = 0 ] || fail "image dropped: exit status $status, not 0"
[ ! -e "$work/ro/K7_Wealdmor.NEW.fdi" ] || fail "image dropped: saved after n"
ok "own console, image dropped: info, the offer declined, Enter awaited (status $status)" "$before"

# parle.exe double-clicked: the help, the hint, Enter awaited.
before=$failures
own_console -- "Tofixadiskimage,dropitontoparle.exe.PressEntertoclosethiswindow." $'\r'
status=$console_status
[ "$status" = 2 ] || fail "double-clicked: exit status $status, not 2"
shown "usage:parleCOMMAND" || fail "double-clicked: no help shown"
ok "own console, double-clicked: the help, Enter awaited (status $status)" "$before"

echo "smoke: $step commands compared, $((SECONDS - started)) s ($((prefix_ready - started)) s for the Wine prefix)"
if [ "$failures" -ne 0 ]; then
  echo "smoke: $failures failures; the last lines on standard error (Wine's and the programs'):"
  tail -n 20 "$work/stderr" || true
  exit 1
fi
echo "smoke: passed"
