#!/usr/bin/env bash
# The window in camera mode against a live PipeWire virtual camera, watched
# from outside: its --log lines, its exit code and the exit scripts it starts
# (markers that write their names to res/markers.txt). Exits 77 (skipped) when
# the virtual camera can't be started here.
#
#   cameraEndToEnd.sh ORVALIS SOURCE_DIR [CASE...]
# shellcheck disable=SC2317 # the cases and the probes wait_for runs are called by name
set -uo pipefail
# shellcheck source=tests/support/harness.sh
source "$(dirname "$0")/../support/harness.sh"
orvalis=$1 source_dir=$2
shift 2
camera="$source_dir/scripts/virtual-camera"
query="$source_dir/demo/Image_Archive/Current_Image.jpg"
export QT_QPA_PLATFORM=offscreen
on_exit "$camera" stop "$work/cam"

launch() {
  start env -C "$folder" "${cam_env[@]}" "$orvalis" --log 2>"$log"
  pid=$started
}
logged() { grep -q "$1" "$log" 2>/dev/null; }
walked() { [ "$(grep -c 'Image_0' "$log" 2>/dev/null)" -ge "$1" ]; }
no_leftover() {
  local p
  for p in /proc/[0-9]*; do [ "$(readlink "$p/cwd" 2>/dev/null)" = "$folder" ] && return 1; done
  return 0
}
# expect_end STATUS MARKER... (!NAME: that script must not have run)
expect_end() {
  local want=$1 marker
  shift
  [ "$status" = "$want" ] || fail "[$case_name] exit status $status, expected $want"
  for marker in "$@"; do
    if [ "${marker#!}" != "$marker" ]; then
      not_ran "$folder" "${marker#!}" || fail "[$case_name] ${marker#!} ran"
    else
      ran "$folder" "$marker" || fail "[$case_name] $marker did not run"
    fi
  done
  wait_for 5 no_leftover || fail "[$case_name] a process was left running in the working folder"
}

# The demo's query streamed at the archive's size, as YUY2 (what webcams
# send) and as raw BGRx: the region is found where the still query finds it,
# give or take the camera side's own JPEG decoding and, for YUY2, its halved
# chroma (a few pixels, a degree).
case_match() {
  # The colour tolerance, one byte at offset 8 of the parameters file.
  printf '%b' "\\0$(printf %o "$2")" | dd of="$folder/res/Combo_Box_Parameters.bin" bs=1 seek=8 conv=notrunc status=none
  VIRTUAL_CAMERA_FORMAT=$1 "$camera" source "$work/cam" "$query" 600x400 || return 1
  launch
  wait_for 20 logged "Image_0000000004.jpg" || fail "[$case_name] archive picture 4 was not searched"
  local line
  line=$(grep -m1 "Image_0000000004.jpg" "$log")
  if [[ $line =~ MATCH\ at\ column\ ([0-9]+),\ row\ ([0-9]+),\ turned\ ([0-9]+)\.[0-9]+\ degrees ]]; then
    local x=${BASH_REMATCH[1]} y=${BASH_REMATCH[2]} a=${BASH_REMATCH[3]}
    ((x >= 447 && x <= 453 && y >= 247 && y <= 253 && a >= 39 && a <= 41)) ||
      fail "[$case_name] found at column $x, row $y, $a degrees; expected about 450, 250, 40"
  else
    fail "[$case_name] picture 4: '$line'"
  fi
  echo "$1: $line"
  marked "$folder" Scanner_Mode || fail "[$case_name] Scanner_Mode did not run"
  kill -TERM "$pid" # closes the window as its close box does
  reap "$pid" 10
  expect_end 0 '!Device_Lost'
}
# GStreamer's own RGB to YUY2 conversion, which makes the virtual camera's
# frames, darkens them by about 1.9 gray levels on average; ring means may
# differ by a tenth of the tolerance, 1.6 at the default 16, so YUY2 runs at
# tolerance 20 (2.0). A webcam encodes from its sensor, not from RGB bytes.
case_match_yuy2() { case_match YUY2 20; }
case_match_bgrx() { case_match BGRx 16; }
# The source is stopped while the walk runs: the device list or 3 s of
# silence tell, and the program ends within 4 s.
case_source_killed() {
  "$camera" source "$work/cam" "$query" 600x400 || return 1
  launch
  wait_for 20 walked 3 || fail "[$case_name] the walk did not run"
  local killed_at
  killed_at=$(date +%s%N)
  "$camera" kill-source "$work/cam"
  reap "$pid" 15
  local took=$((($(date +%s%N) - killed_at) / 1000000))
  echo "source killed: the program ended after $took ms"
  ((took <= 4000)) || fail "[$case_name] the program took $took ms to end, more than 4 s"
  expect_end 1 Device_Lost
}
case_size_mismatch() {
  "$camera" source "$work/cam" "$query" 640x480 || return 1
  launch
  reap "$pid" 20
  expect_end 1 Scanner_Database_Mismatch '!Device_Lost'
}
# Without a session manager the camera's start blocks: the watchdog ends it.
case_start_blocks() {
  "$camera" source "$work/cam" "$query" 600x400 || return 1
  launch
  reap "$pid" 20
  expect_end 1 Device_Lost
}
# A close while start-up waits for a first frame that never comes.
case_close_during_start() {
  "$camera" silent "$work/cam" 600x400 || return 1
  launch
  wait_for 20 marked "$folder" Scanner_Mode || fail "[$case_name] camera mode was not chosen"
  kill -TERM "$pid"
  reap "$pid" 20
  expect_end 0 '!Device_Lost'
}

# name, virtual camera start options
for row in match_yuy2 match_bgrx source_killed size_mismatch "start_blocks --no-session-manager" close_during_start; do
  read -ra options <<<"$row"
  case_name="${options[0]}"
  options=("${options[@]:1}")
  if [ $# -gt 0 ] && [[ " $* " != *" $case_name "* ]]; then continue; fi
  "$camera" start "$work/cam" "${options[@]}" >/dev/null
  rc=$?
  [ $rc -eq 77 ] && skip "no virtual camera here"
  [ $rc -eq 0 ] || die "[$case_name] virtual camera did not start"
  mapfile -t cam_env <"$work/cam/env"
  # A fresh working folder: the demo without its still query, marker scripts.
  folder="$work/work-$case_name" log="$work/work-$case_name/stderr"
  cp -r "$source_dir/demo" "$folder"
  rm -f "$folder/Image_Archive/Current_Image.jpg"
  marker_scripts "$folder"
  "case_$case_name" || fail "[$case_name] the source did not start"
  "$camera" stop "$work/cam"
  rm -rf "$work/cam"
  echo "$case_name done"
done
passed "every case"
