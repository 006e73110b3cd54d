#!/usr/bin/env bash
# The window program's start as users meet it, as real processes with a
# private HOME: the options (usage errors with no display at all), hostile
# working folders from the desktop and from a terminal, a hostile settings
# file, and saves from a folder that is not trusted (pressed with xdotool
# under Xvfb; those rows skip themselves where either is missing).
#
#   windowStartTest.sh ORVALIS SOURCE_DIR
set -uo pipefail
# shellcheck source=tests/support/harness.sh
source "$(dirname "$0")/../support/harness.sh"
orvalis="$(realpath "$1")" source="$(realpath "$2")" log="$work/err"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
conf="$XDG_CONFIG_HOME/orvalis/orvalis.conf" cwd="$work/cwd"
mkdir -p "$HOME" "$cwd" "$XDG_CONFIG_HOME/orvalis/res"

# expect CODE TEXT ARGS...: runs the program in $cwd (for at most $limit s;
# with bare=1, without any display); it must end with CODE and say TEXT on
# standard error ("" for anything).
limit=10
expect() {
  local want="$1" text="$2" code
  shift 2
  local runner=(timeout "$limit")
  [ -n "${bare:-}" ] && runner=(env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "${runner[@]}")
  (cd "$cwd" && exec "${runner[@]}" "$orvalis" "$@") >"$work/out" 2>"$work/err"
  code=$?
  [ "$code" = "$want" ] || { fail "orvalis $* ended with $code, expected $want"; return 1; }
  [ -z "$text" ] || grep -qF -- "$text" "$work/err" || fail "orvalis $*: no word of '$text'"
}

# folder NAME [SCRIPTS]: a working folder whose archive is empty (so that
# Missing_Resources ends the program), with res/Missing_Resources.sh of its
# own when SCRIPTS is given. Every such script writes who it is into ran.
folder() {
  mkdir -p "$work/$1/Image_Archive"
  if [ -n "${2:-}" ]; then
    mkdir -p "$work/$1/res"
    echo 'echo own >ran' >"$work/$1/res/Missing_Resources.sh"
  fi
}
echo 'echo user >ran' >"$XDG_CONFIG_HOME/orvalis/res/Missing_Resources.sh"
ranWhose() { # FOLDER WHO: the script that ran in FOLDER was WHO's
  wait_for 5 test -s "$work/$1/ran"
  [ "$(cat "$work/$1/ran" 2>/dev/null)" = "$2" ] || fail "in $1 ran '$(cat "$work/$1/ran" 2>/dev/null)', not $2's script"
}

# --- Options: every usage error is answered before a display is needed. ---
mkdir "$cwd/-reverse" "$cwd/--log"
bare=1 expect 2 "unknown option --bogus" --bogus
bare=1 expect 2 "can't work in /nonexistent" /nonexistent
bare=1 expect 2 "$cwd is not a working folder" # no Image_Archive here
bare=1 expect 2 "-reverse is not a working folder" -- -reverse
bare=1 expect 2 "--trust needs a folder" --trust --log
[ ! -e "$conf" ] || fail "a folder named --log was trusted"
bare=1 expect 0 "" --version
[ "$(sed -n 2p "$work/out")" = "Licence: MIT. Copyright (c) 2026 the Orvalis developers." ] || fail "--version: $(cat "$work/out")"
bare=1 expect 0 "" --help
grep -qF -- "--trust" "$work/out" || fail "--help: $(cat "$work/out")" # the man page's check is the package test's

# --- res that is no folder: said, exit 1, before anything else. ---
folder dangling && ln -s nowhere "$work/dangling/res"
folder file && touch "$work/file/res"
expect 1 "res is a dangling link" --from-desktop "$work/dangling"
expect 1 "res is not a folder but a regular file" "$work/file"

# --- A folder without Image_Archive/ gets nothing written and is not
# remembered; from the desktop a message box (which waits) explains it. ---
mkdir "$work/plain"
expect 2 "holds Image_Archive/ with the archive pictures Image_0000000000.jpg" "$work/plain"
limit=3 expect 124 "is not a working folder" --from-desktop "$work/plain"
[ -z "$(ls -A "$work/plain")" ] || fail "written into a folder that is no working folder: $(ls -A "$work/plain")"
! grep -qF "$work/plain" "$conf" || fail "the folder was remembered: $(cat "$conf")"

# --- Trust by the bytes of the real path. An entry of an earlier version
# still counts, unless it holds U+FFFD: then it is no folder's. ---
latin1="$(printf 'R\xe9union')" lossy="$(printf 'job\xff')"
twin="job$(printf '\xef\xbf\xbd')" # the trusted twin whose name holds U+FFFD, as UTF-8
folder legacy own && folder "$lossy" own && folder "$twin" && folder "$latin1" && folder "$latin1-trusted" own
printf '[General]\ntrustedFolders=%s, %s\n' "$work/legacy" "$work/$twin" >"$conf"
expect 1 "" --from-desktop "$work/$lossy" && ranWhose "$lossy" user
expect 1 "" --from-desktop "$work/legacy" && ran legacy own
expect 0 "$work/$latin1-trusted is trusted" --trust "$work/$latin1-trusted"
expect 1 "" --from-desktop "$work/$latin1-trusted" && ranWhose "$latin1-trusted" own
expect 1 "$work/$latin1 had no res/: copied" --from-desktop "$work/$latin1" && ranWhose "$latin1" user

# --- A settings file that is no regular file is never read or written. ---
rm "$conf" && mkfifo "$conf"
expect 2 "is not a regular file but a named pipe" --trust "$work/legacy"
folder settings && expect 1 "going on without the remembered folder" --from-desktop "$work/settings"
if [ "$(id -u)" = 0 ]; then
  rm "$conf" && mknod "$work/device" c 1 3 && ln -s "$work/device" "$conf"
  expect 2 "is not a regular file but a device" --trust "$work/legacy"
  [ -c "$work/device" ] || fail "the device the settings link to was replaced"
fi

# --- Without any exit scripts (a program copied away from its defaults, no
# scripts of the user's) nothing runs: the notice is said instead. ---
mkdir "$work/bin" && cp "$orvalis" "$work/bin/orvalis"
folder stray own
XDG_CONFIG_HOME="$work/none" orvalis="$work/bin/orvalis" expect 1 "Missing_Resources.sh is not run" \
  --from-desktop "$work/stray"
! grep -q "/Missing_Resources.sh" "$work/err" || fail "a script was looked for at the root"

# --- Saves from a folder that is not trusted stay inside it. ---
start_display || { echo "the save rows are skipped: no X display (Xvfb and xdotool)"; passed; }
# press FOLDER: opens FOLDER from the desktop, enters adjust mode and presses
# "Alto", which saves the parameters; the program must end with code 1.
press() {
  start env -C "$cwd" QT_QPA_PLATFORM=xcb "$orvalis" --from-desktop "$1" 2>"$work/err"
  local pid=$started HEIGHT menu
  window_of "$pid" || { fail "no window for $1"; reap "$pid" 0; return; }
  eval "$(xdotool getwindowgeometry --shell "$window")"
  menu=$((HEIGHT - 640)) # the client area is 640 pixels high, under the menu bar
  xdotool mousemove --window "$window" 813 $((431 + menu)) click 1 && sleep 0.3
  xdotool mousemove --window "$window" 717 $((346 + menu)) click 1
  reap "$pid" 5
  [ "$status" = 1 ] || fail "the save in $1 ended with $status, expected 1"
  grep -qF "can't be saved to res/Combo_Box_Parameters.bin: it leads outside the working folder" "$work/err" ||
    fail "the failed save in $1 was not said"
}
mkdir -p "$work/outside"
cp -r "$source/demo" "$work/linked" && echo user >"$work/outside/user.txt"
ln -sf "$work/outside/user.txt" "$work/linked/res/Combo_Box_Parameters.bin"
press "$work/linked"
[ "$(cat "$work/outside/user.txt")" = user ] || fail "the file the parameters link to was overwritten"
cp -r "$source/demo" "$work/resout" && mv "$work/resout/res" "$work/outside/res" && ln -s "$work/outside/res" "$work/resout/res"
cmp -s "$source/demo/res/Combo_Box_Parameters.bin" "$work/outside/res/Combo_Box_Parameters.bin" || fail "setup"
press "$work/resout"
cmp -s "$source/demo/res/Combo_Box_Parameters.bin" "$work/outside/res/Combo_Box_Parameters.bin" ||
  fail "the parameters file of a res/ linked out of the folder was overwritten"
passed "every start case holds"
