#!/usr/bin/env bash
# The window in camera mode against a live PipeWire virtual camera, watched
# from outside: its --log lines, its exit code and the exit scripts it starts
# (replaced here by markers that write their names to res/events).
#
#   cameraEndToEnd.sh ORVALIS SOURCE_DIR [CASE...]
#
# Exits 77 (skipped) when the virtual camera can't be started here.
set -uo pipefail

orvalis=$1
source_dir=$2
shift 2
camera="$source_dir/scripts/virtual-camera"
query="$source_dir/demo/Image_Archive/Current_Image.jpg"
export QT_QPA_PLATFORM=offscreen

root=$(mktemp -d)
trap '"$camera" stop "$root/cam" >/dev/null 2>&1; rm -rf "$root"' EXIT
failures=0

fail() {
  echo "FAIL [$case_name]: $*" >&2
  echo "--- stderr:" >&2
  tail -n 15 "$work/stderr" >&2
  failures=$((failures + 1))
}

# Waits up to $1 seconds (in tenths) for the command after it to succeed.
wait_for() {
  local tenths=$(($1 * 10))
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# A fresh working folder: the demo without its still query, marker scripts.
prepare() {
  work="$root/work-$case_name"
  cp -r "$source_dir/demo" "$work"
  rm -f "$work/Image_Archive/Current_Image.jpg"
  for name in Missing_Resources Current_Database_Mismatch Scanner_Mode Scanner_Database_Mismatch Device_Lost; do
    printf '#!/bin/sh\necho %s >> res/events\n' "$name" >"$work/res/$name.sh"
  done
  : >"$work/res/events"
}

launch() {
  (cd "$work" && exec env $(cat "$root/cam/env") "$orvalis" --log 2>"$work/stderr") &
  pid=$!
}

# Waits for the program's end with a deadline of $1 seconds; sets status
# (124 when it had to be killed).
finish() {
  if wait_for "$1" sh -c "! kill -0 $pid 2>/dev/null || [ \"\$(ps -o stat= -p $pid)\" = Z ]"; then
    wait "$pid"
    status=$?
  else
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    status=124
  fi
}

events_has() { grep -qx "$1" "$work/res/events"; }
logged() { grep -q "$1" "$work/stderr" 2>/dev/null; }

# Nothing may still run in the working folder once the program has ended.
no_leftover() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/cwd" 2>/dev/null)" = "$work" ] && return 1
  done
  return 0
}

expect_end() {  # expected status, then the marker that must (or, with !NAME, must not) be there
  local want=$1 marker
  shift
  [ "$status" = "$want" ] || fail "exit status $status, expected $want"
  for marker in "$@"; do
    if [ "${marker#!}" != "$marker" ]; then
      events_has "${marker#!}" && fail "${marker#!} ran"
    else
      wait_for 5 events_has "$marker" || fail "$marker did not run (events: $(tr '\n' ' ' <"$work/res/events"))"
    fi
  done
  wait_for 5 no_leftover || fail "a process was left running in the working folder"
}

# The stream carries the demo's query photograph at the archive's size. Raw
# BGRx, so that the only change to the pixels is the camera side's JPEG
# decoding: the region must be found where the still query finds it. The
# position may move by a few pixels and the angle by a degree, as with a
# picture decoded by another decoder, and no more.
case_match() {
  VIRTUAL_CAMERA_FORMAT=BGRx "$camera" source "$root/cam" "$query" 600x400 || return 1
  launch
  wait_for 20 logged "Image_0000000004.jpg" || fail "archive picture 4 was not searched"
  local line
  line=$(grep -m1 "Image_0000000004.jpg" "$work/stderr")
  if [[ $line =~ MATCH\ at\ column\ ([0-9]+),\ row\ ([0-9]+),\ turned\ ([0-9]+)\.[0-9]+\ degrees ]]; then
    local x=${BASH_REMATCH[1]} y=${BASH_REMATCH[2]} a=${BASH_REMATCH[3]}
    ((x >= 447 && x <= 453 && y >= 247 && y <= 253 && a >= 39 && a <= 41)) ||
      fail "found at column $x, row $y, $a degrees; expected about 450, 250, 40"
  else
    fail "picture 4: '$line'"
  fi
  events_has Scanner_Mode || fail "Scanner_Mode did not run"
  # SIGTERM closes the window as its close box does: a clean exit.
  kill -TERM "$pid"
  finish 10
  expect_end 0 '!Device_Lost'
}

# The source is stopped while the walk runs.
case_source_killed() {
  "$camera" source "$root/cam" "$query" 600x400 || return 1
  launch
  wait_for 20 sh -c "[ \"\$(grep -c 'Image_0' '$work/stderr' 2>/dev/null)\" -ge 3 ] 2>/dev/null" || fail "the walk did not run"
  "$camera" kill-source "$root/cam"
  local killed=$(date +%s.%N)
  # The camera reports nothing; the device list or 3 s of silence tell. The
  # deadline is generous for a loaded machine; the time taken is printed.
  finish 15
  printf '  source killed -> exit: %.1f s\n' "$(echo "$(date +%s.%N) - $killed" | bc)"
  expect_end 1 Device_Lost
}

# Frames of another size than the archive's pictures.
case_size_mismatch() {
  "$camera" source "$root/cam" "$query" 640x480 || return 1
  launch
  finish 20
  expect_end 1 Scanner_Database_Mismatch '!Device_Lost'
}

# Without a session manager, starting the camera blocks for good: the
# watchdog ends the program.
case_start_blocks() {
  "$camera" source "$root/cam" "$query" 600x400 || return 1
  launch
  finish 20
  expect_end 1 Device_Lost
}

# A close while start-up waits for a first frame that never comes: the wait
# is cut short and the program ends cleanly, without a lost-camera notice.
case_close_during_start() {
  "$camera" silent "$root/cam" 600x400 || return 1
  launch
  wait_for 20 events_has Scanner_Mode || fail "camera mode was not chosen"
  kill -TERM "$pid"
  finish 20
  expect_end 0 '!Device_Lost'
}

# name, virtual camera start options
table=(
  "match"
  "source_killed"
  "size_mismatch"
  "start_blocks --no-session-manager"
  "close_during_start"
)

for row in "${table[@]}"; do
  read -r case_name options <<<"$row"
  if [ $# -gt 0 ] && [[ " $* " != *" $case_name "* ]]; then continue; fi
  started=$(date +%s.%N)
  "$camera" start "$root/cam" $options >/dev/null
  rc=$?
  if [ $rc -eq 77 ]; then
    echo "SKIP: no virtual camera here" >&2
    exit 77
  fi
  [ $rc -eq 0 ] || { echo "FAIL [$case_name]: virtual camera did not start" >&2; exit 1; }
  prepare
  "case_$case_name" || fail "the source did not start"
  "$camera" stop "$root/cam"
  rm -rf "$root/cam"
  printf '%-20s %.1f s\n' "$case_name" "$(echo "$(date +%s.%N) - $started" | bc)"
done

[ "$failures" -eq 0 ]
