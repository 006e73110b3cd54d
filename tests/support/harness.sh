#!/usr/bin/env bash
# Sourced by the tests that run the real programs as processes: a private
# scratch folder, deadlines, background processes that are always reaped,
# exit-script markers, an X display, and how a test fails or skips.
#
#   source "$(dirname "$0")/../support/harness.sh"
#
# $work is the scratch folder; it goes at exit with everything started.

# shellcheck disable=SC2034 # started, status and window are the sourcing script's to read
work="$(mktemp -d "${TMPDIR:-/tmp}/orvalis-test.XXXXXX")" failures=0 started="" status="" window=""
harness_pids=() harness_exits=()
harness_cleanup() {
  local i pid
  for ((i = ${#harness_exits[@]} - 1; i >= 0; i--)); do eval "${harness_exits[i]}" || true; done
  for pid in "${harness_pids[@]}"; do kill -KILL "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap harness_cleanup EXIT

# on_exit COMMAND [ARGUMENTS...]: run at exit, its output dropped, before
# what was started is killed (the last given first).
on_exit() { harness_exits+=("$(printf '%q ' "$@")>/dev/null 2>&1"); }

# fail MESSAGE: says it and counts it; the lines of $log (when set) follow.
fail() {
  echo "FAIL: $*" >&2
  [ -z "${log:-}" ] || [ ! -f "$log" ] || tail -n 15 "$log" | sed 's/^/  | /' >&2
  failures=$((failures + 1))
}
die() { # MESSAGE: fails and ends the test
  fail "$@"
  exit 1
}
skip() { # REASON: ends the test as skipped
  echo "SKIP: $*"
  exit 77
}
# passed [WORDS]: the test's end: status 1 when anything failed.
passed() {
  [ "$failures" -eq 0 ] || exit 1
  echo "PASS${1:+: $*}"
  exit 0
}

# wait_for SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds;
# status 1 when SECONDS (a whole number) pass first.
wait_for() {
  local deadline=$(($(date +%s%N) + $1 * 1000000000))
  shift
  until "$@"; do
    [ "$(date +%s%N)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# start COMMAND...: runs it in the background, its pid in $started; killed at
# exit unless reaped before.
start() {
  "$@" &
  started=$!
  harness_pids+=("$started")
}
# ended PID: the process is gone or a zombie waiting to be reaped.
ended() {
  local state
  state="$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)"
  [ -z "$state" ] || [ "$state" = Z ]
}
# reap PID SECONDS: waits at most SECONDS for its end, then kills it; its
# exit status in $status, 124 when it had to be killed.
reap() {
  local kept=() pid
  for pid in "${harness_pids[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
  harness_pids=("${kept[@]}")
  if wait_for "$2" ended "$1"; then
    status=0
    wait "$1" || status=$?
  else
    kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    status=124
  fi
}

# marker_scripts FOLDER: res/NAME.sh for every exit script, each appending its
# NAME to res/markers.txt. ran FOLDER NAME: that script ran (detached
# scripts finish when they finish: 5 s). not_ran FOLDER NAME: it did not.
exit_scripts=(Missing_Resources Current_Database_Mismatch Scanner_Mode Scanner_Database_Mismatch Device_Lost)
marker_scripts() {
  local name
  mkdir -p "$1/res"
  for name in "${exit_scripts[@]}"; do
    printf '#!/bin/sh\necho %s >> res/markers.txt\n' "$name" >"$1/res/$name.sh"
    chmod +x "$1/res/$name.sh"
  done
}
marked() { grep -qx "$2" "$1/res/markers.txt" 2>/dev/null; }
ran() { wait_for 5 marked "$1" "$2"; }
not_ran() { ! marked "$1" "$2"; }

# start_display: a private X display (Xvfb) in $DISPLAY for what follows;
# status 1 when Xvfb or xdotool is missing or no display starts.
start_display() {
  command -v Xvfb >/dev/null && command -v xdotool >/dev/null || return 1
  start Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null
  wait_for 10 test -s "$work/display" || return 1
  DISPLAY=":$(cat "$work/display")"
  export DISPLAY
}
# window_of PID: the id of its visible window named Orvalis, in $window,
# waiting up to 60 s for it.
window_of() {
  window=""
  wait_for 60 window_shown "$1"
}
window_shown() {
  window="$(xdotool search --onlyvisible --pid "$1" --name Orvalis 2>/dev/null | head -1)"
  [ -n "$window" ]
}
