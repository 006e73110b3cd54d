#!/usr/bin/env bash
# The window in camera mode against a live PipeWire virtual camera, watched
# from outside: its --log lines, its exit code and the exit scripts it starts
# (markers that write their names to res/events); and the camera adapter's
# own live checks (LiveCamera.* of the adapter's test program). Exits 77
# (skipped) when the virtual camera can't be started here.
#
#   cameraEndToEnd.sh ORVALIS SOURCE_DIR ADAPTER_TESTS [CASE...]
set -uo pipefail
orvalis=$1 source_dir=$2 adapter_tests=$3
shift 3
camera="$source_dir/scripts/virtual-camera"
query="$source_dir/demo/Image_Archive/Current_Image.jpg"
export QT_QPA_PLATFORM=offscreen
root=$(mktemp -d)
trap '"$camera" stop "$root/cam" >/dev/null 2>&1; rm -rf "$root"' EXIT
failures=0

fail() {
  echo "FAIL [$case_name]: $*" >&2
  tail -n 15 "$work/stderr" >&2
  failures=$((failures + 1))
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local tenths=$(($1 * 10))
  shift
  for ((i = 0; i < tenths; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}
launch() {
  (cd "$work" && exec env "${cam_env[@]}" "$orvalis" --log 2>"$work/stderr") &
  pid=$!
}
# Waits $1 seconds at most for the program's end; status 124 when it had to be killed.
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
no_leftover() {
  local p
  for p in /proc/[0-9]*; do [ "$(readlink "$p/cwd" 2>/dev/null)" = "$work" ] && return 1; done
  return 0
}
# expect_end STATUS MARKER... (!NAME: that script must not have run)
expect_end() {
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

# The demo's query streamed at the archive's size, as YUY2 (what webcams
# send) and as raw BGRx: the region is found where the still query finds it,
# give or take the camera side's own JPEG decoding and, for YUY2, its halved
# chroma (a few pixels, a degree).
case_match() {
  # The colour tolerance, one byte at offset 8 of the parameters file.
  printf '%b' "\\0$(printf %o "$2")" | dd of="$work/res/Combo_Box_Parameters.bin" bs=1 seek=8 conv=notrunc status=none
  VIRTUAL_CAMERA_FORMAT=$1 "$camera" source "$root/cam" "$query" 600x400 || return 1
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
  echo "$1: $line"
  events_has Scanner_Mode || fail "Scanner_Mode did not run"
  kill -TERM "$pid" # closes the window as its close box does
  finish 10
  expect_end 0 '!Device_Lost'
}
# GStreamer's own RGB to YUY2 conversion, which makes the virtual camera's
# frames, darkens them by about 1.9 gray levels on average; ring means may
# differ by a tenth of the tolerance, 1.6 at the default 16, so YUY2 runs at
# tolerance 20 (2.0). A webcam encodes from its sensor, not from RGB bytes.
case_match_yuy2() { case_match YUY2 20; }
case_match_bgrx() { case_match BGRx 16; }
# 300 camera-mode ticks against the live stream allocate nothing on the tick
# path (the adapter's test program; it skips itself under the sanitizers).
case_allocations() {
  "$camera" source "$root/cam" "$query" 600x400 || return 1
  (cd "$work" && env "${cam_env[@]}" ORVALIS_LIVE_CAMERA=1 \
    "$adapter_tests" --gtest_filter='LiveCamera.*' >"$work/stderr" 2>&1)
  status=$?
  [ "$status" = 0 ] || fail "LiveCamera checks exited $status"
  wait_for 5 no_leftover || fail "a process was left running in the working folder"
}
# The source is stopped while the walk runs: the device list or 3 s of
# silence tell, and the program ends within 4 s.
case_source_killed() {
  "$camera" source "$root/cam" "$query" 600x400 || return 1
  launch
  wait_for 20 sh -c "[ \"\$(grep -c 'Image_0' '$work/stderr' 2>/dev/null)\" -ge 3 ] 2>/dev/null" || fail "the walk did not run"
  local killed_at
  killed_at=$(date +%s%N)
  "$camera" kill-source "$root/cam"
  finish 15
  local took=$((($(date +%s%N) - killed_at) / 1000000))
  echo "source killed: the program ended after $took ms"
  ((took <= 4000)) || fail "the program took $took ms to end, more than 4 s"
  expect_end 1 Device_Lost
}
case_size_mismatch() {
  "$camera" source "$root/cam" "$query" 640x480 || return 1
  launch
  finish 20
  expect_end 1 Scanner_Database_Mismatch '!Device_Lost'
}
# Without a session manager the camera's start blocks: the watchdog ends it.
case_start_blocks() {
  "$camera" source "$root/cam" "$query" 600x400 || return 1
  launch
  finish 20
  expect_end 1 Device_Lost
}
# A close while start-up waits for a first frame that never comes.
case_close_during_start() {
  "$camera" silent "$root/cam" 600x400 || return 1
  launch
  wait_for 20 events_has Scanner_Mode || fail "camera mode was not chosen"
  kill -TERM "$pid"
  finish 20
  expect_end 0 '!Device_Lost'
}

# name, virtual camera start options
for row in match_yuy2 match_bgrx allocations source_killed size_mismatch "start_blocks --no-session-manager" close_during_start; do
  read -ra options <<<"$row"
  case_name="${options[0]}"
  options=("${options[@]:1}")
  if [ $# -gt 0 ] && [[ " $* " != *" $case_name "* ]]; then continue; fi
  "$camera" start "$root/cam" "${options[@]}" >/dev/null
  rc=$?
  [ $rc -eq 77 ] && { echo "SKIP: no virtual camera here" >&2; exit 77; }
  [ $rc -eq 0 ] || { echo "FAIL [$case_name]: virtual camera did not start" >&2; exit 1; }
  mapfile -t cam_env <"$root/cam/env"
  # A fresh working folder: the demo without its still query, marker scripts.
  work="$root/work-$case_name"
  cp -r "$source_dir/demo" "$work"
  rm -f "$work/Image_Archive/Current_Image.jpg"
  for name in Missing_Resources Current_Database_Mismatch Scanner_Mode Scanner_Database_Mismatch Device_Lost; do
    printf '#!/bin/sh\necho %s >> res/events\n' "$name" >"$work/res/$name.sh"
  done
  : >"$work/res/events"
  "case_$case_name" || fail "the source did not start"
  "$camera" stop "$root/cam"
  rm -rf "$root/cam"
  echo "$case_name done"
done
[ "$failures" -eq 0 ]
