#!/usr/bin/env bash
# The window stays responsive during a long scan: started on a folder of
# pictures without texture (whose first scan takes far longer than this test
# waits), it is sent Esc from outside after 2 s and must be gone within the
# deadline (1 s), with exit code 0 and no picture reported, while the scan
# was still running.
#
#   closeDuringScanTest.sh ORVALIS MAKE_FLAT_FOLDER BACKDROP [DEADLINE_MS]
set -uo pipefail
orvalis="$1" makeFolder="$2" backdrop="$3" deadline="${4:-1000}"

for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work="$(mktemp -d)"
xvfbPid="" windowPid=""
cleanup() {
  [ -n "$windowPid" ] && kill -KILL "$windowPid" 2>/dev/null
  [ -n "$xvfbPid" ] && kill "$xvfbPid" 2>/dev/null && wait "$xvfbPid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/stderr" ] && sed 's/^/  orvalis: /' "$work/stderr"; exit 1; }

"$makeFolder" "$work/folder" "$backdrop" 255 || fail "cannot make the working folder"

# A display of our own, on the first free number.
display=""
for n in $(seq 90 130); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfbPid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  if [ -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
  kill "$xvfbPid" 2>/dev/null; wait "$xvfbPid" 2>/dev/null; xvfbPid=""
done
[ -n "$display" ] || { echo "skipped: no display could be started"; exit 77; }
export DISPLAY="$display"
unset QT_QPA_PLATFORM

(cd "$work/folder" && exec "$orvalis" --log) 2>"$work/stderr" &
windowPid=$!

# The window, once it is mapped.
window=""
for _ in $(seq 200); do
  window="$(xdotool search --pid "$windowPid" --name 'Orvalis' 2>/dev/null | head -1)"
  [ -n "$window" ] && break
  kill -0 "$windowPid" 2>/dev/null || fail "the window ended before it was shown"
  sleep 0.05
done
[ -n "$window" ] || fail "no window appeared"

sleep 2
grep -q 'Image_0000000000' "$work/stderr" &&
  fail "the first scan ended within 2 s: the folder is no long scan, the test proves nothing"
xdotool windowfocus --sync "$window" 2>/dev/null && xdotool windowraise "$window" 2>/dev/null
sent=$(date +%s%N)
xdotool key Escape

code=""
while :; do
  if ! kill -0 "$windowPid" 2>/dev/null; then wait "$windowPid"; code=$?; windowPid=""; break; fi
  [ $(( ($(date +%s%N) - sent) / 1000000 )) -gt "$deadline" ] && break
  sleep 0.02
done
[ -n "$code" ] || fail "still running $deadline ms after Esc"
elapsed=$(( ($(date +%s%N) - sent) / 1000000 ))
[ "$code" = 0 ] || fail "exit code $code after Esc"
grep -q 'Image_0000000000' "$work/stderr" && fail "a picture was reported after the close"
echo "closed ${elapsed} ms after Esc, during the scan"
