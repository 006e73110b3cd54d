#!/usr/bin/env bash
# The window stays responsive during a long scan: on a folder of pictures
# without texture, whose first scan takes minutes, Esc sent from outside once
# the scan runs must end the program within DEADLINE_MS, with exit code 0 and
# no picture reported.
#
#   closeDuringScanTest.sh ORVALIS MAKE_FLAT_FOLDER BACKDROP DEADLINE_MS
set -uo pipefail
orvalis="$1" makeFolder="$2" backdrop="$3" deadline="$4"
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work="$(mktemp -d)" xvfbPid="" pid=""
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  [ -n "$xvfbPid" ] && kill "$xvfbPid" 2>/dev/null && wait "$xvfbPid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; sed 's/^/  orvalis: /' "$work/stderr" 2>/dev/null; exit 1; }
reported() { grep -q 'Image_0000000000' "$work/stderr"; }
# Polls the command for up to 60 s while the program runs.
await() {
  for _ in $(seq 1200); do
    "$@" && return 0
    kill -0 "$pid" 2>/dev/null || fail "the program ended early"
    sleep 0.05
  done
  return 1
}

"$makeFolder" "$work/folder" "$backdrop" || fail "cannot make the working folder"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfbPid=$!
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "skipped: no display could be started"; exit 77; }
DISPLAY=":$(cat "$work/display")"
export DISPLAY
unset QT_QPA_PLATFORM

(cd "$work/folder" && exec "$orvalis" --log) 2>"$work/stderr" &
pid=$!
window=""
mapped() { window="$(xdotool search --pid "$pid" --name Orvalis 2>/dev/null | head -1)" && [ -n "$window" ]; }
await mapped || fail "no window appeared"

# The scan runs on threads of the program's own besides its main one: their
# CPU time (clock ticks) grows only while it runs.
scanTicks() {
  local task sum=0
  for task in /proc/"$pid"/task/*; do
    [ "${task##*/}" = "$pid" ] && continue
    sum=$((sum + $(sed 's/.*) //' "$task/stat" 2>/dev/null | awk '{print $12 + $13}')))
  done
  echo "$sum"
}
before=$(scanTicks)
scanning() { [ "$(scanTicks)" -ge $((before + 50)) ]; }
await scanning || fail "no scan started"
reported && fail "the first scan is over already: the folder is no long scan, the test proves nothing"

xdotool windowfocus --sync "$window" 2>/dev/null && xdotool windowraise "$window" 2>/dev/null
sent=$(date +%s%N)
xdotool key Escape
while kill -0 "$pid" 2>/dev/null; do
  [ $((($(date +%s%N) - sent) / 1000000)) -gt "$deadline" ] && fail "still running $deadline ms after Esc"
  sleep 0.02
done
wait "$pid"
code=$? pid=""
[ "$code" = 0 ] || fail "exit code $code after Esc"
reported && fail "a picture was reported after the close"
echo "closed $((($(date +%s%N) - sent) / 1000000)) ms after Esc, during the scan"
