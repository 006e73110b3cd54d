#!/usr/bin/env bash
# The window stays responsive during a long scan: on a folder of pictures
# without texture, whose first scan takes minutes, Esc sent from outside once
# the scan runs must end the program within DEADLINE_MS, with exit code 0 and
# no picture reported.
#
#   closeDuringScanTest.sh ORVALIS MAKE_TEST_FOLDER BACKDROP DEADLINE_MS
set -uo pipefail
# shellcheck source=tests/support/harness.sh
source "$(dirname "$0")/../support/harness.sh"
orvalis="$1" makeFolder="$2" backdrop="$3" deadline="$4"
start_display || skip "no X display here (Xvfb and xdotool)"
unset QT_QPA_PLATFORM
"$makeFolder" "$work/folder" flat "$backdrop" || die "cannot make the working folder"

log="$work/stderr"
start env -C "$work/folder" "$orvalis" --log 2>"$log"
pid=$started
window_of "$pid" || die "no window appeared"

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
# shellcheck disable=SC2317 # run by wait_for
scanning() { ended "$pid" || [ "$(scanTicks)" -ge $((before + 50)) ]; }
if ! wait_for 60 scanning || ended "$pid"; then die "no scan started, or the program ended"; fi
reported() { grep -q 'Image_0000000000' "$log"; }
reported && die "the first scan is over already: the folder is no long scan, the test proves nothing"

xdotool windowfocus --sync "$window" 2>/dev/null && xdotool windowraise "$window" 2>/dev/null
sent=$(date +%s%N)
xdotool key Escape
reap "$pid" $(((deadline + 999) / 1000))
took=$((($(date +%s%N) - sent) / 1000000))
if [ "$status" = 124 ] || [ "$took" -gt "$deadline" ]; then die "still running $took ms after Esc (deadline $deadline ms)"; fi
[ "$status" = 0 ] || fail "exit code $status after Esc"
reported && fail "a picture was reported after the close"
passed "closed $took ms after Esc, during the scan"
