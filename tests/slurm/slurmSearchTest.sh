#!/usr/bin/env bash
# scripts/slurm-search on a private one-node Slurm cluster must print what one
# plain orvalis-search run prints (timings aside) and exit as it does, on the
# demo, on 200 made pictures with matches at 37, 120 and 181 and in folders
# with hostile names; it refuses bad options, and slurm-cluster stop stops
# nothing but its own daemons. Exit 77 (skipped) where Slurm is not installed
# or this is not root.
#
#   slurmSearchTest.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
# shellcheck source=tests/support/harness.sh
source "$(dirname "$0")/../support/harness.sh"
build="$(cd "$1" && pwd)" source="$(cd "$2" && pwd)"
cluster="$source/scripts/slurm-cluster"
chmod 755 "$work" # munged wants every folder above its socket open to all
# shellcheck disable=SC2317 # run at exit
stop_cluster() { "$cluster" stop "$work/cluster" || echo "FAIL: the cluster did not stop" >&2; }
on_exit stop_cluster
cluster_env="$("$cluster" start "$work/cluster")"
case $? in
  0) eval "$cluster_env" ;;
  3) skip "no Slurm here (needs root and munge slurmctld slurmd slurm-client)" ;;
  *) die "the cluster did not start" ;;
esac
cp -r "$source/demo" "$work/demo"
"$build/orvalis-make-test-folder" "$work/made" planted 200 200 150 37 120 181 || die "no archive"

untimed() {
  sed -E -e 's/"(filterMs|scanMs|totalMs)": *[-+.0-9eE]+//g' -e 's/\(filter [.0-9]+ ms, scan [.0-9]+ ms\)$//' \
    -e 's/, [.0-9]+ ms$//' "$1"
}
# expect NAME FOLDER SHARD_SIZE EXIT [ARGUMENTS...]
expect() {
  local name="$1" folder="$2" size="$3" code="$4" plain slurm
  shift 4
  (cd "$folder" && "$build/orvalis-search" "$@" >"$work/plain.out" 2>"$work/plain.err"); plain=$?
  (cd "$folder" && "$source/scripts/slurm-search" --tool "$build/orvalis-search" --shard-size "$size" --poll 1 \
    "$@" >"$work/slurm.out" 2>"$work/slurm.err"); slurm=$?
  [ "$plain" -eq "$code" ] || fail "$name: the plain run exited $plain, not $code: $(cat "$work/plain.err")"
  [ "$slurm" -eq "$code" ] || fail "$name: slurm-search exited $slurm, not $code: $(cat "$work/slurm.err")"
  [ "$code" -gt 1 ] || diff <(untimed "$work/plain.out") <(untimed "$work/slurm.out") >&2 ||
    fail "$name: slurm-search's lines differ from the plain run's"
}

expect "demo"        "$work/demo"  2 0
expect "first match" "$work/made" 20 0
expect "every match" "$work/made" 20 0 --all
found="$(grep -E '"matchFound": *true' "$work/slurm.out" | sed -E 's/.*"index": *([0-9]+).*/\1/' | tr '\n' ' ')"
[ "$found" = "37 120 181 " ] || fail "every match: found $found"
expect "no match"    "$work/made" 25 1 --first 40 --last 110
expect "human lines" "$work/made" 50 0 --human --first 100
# A shard without a match is a task done, not failed, for the scheduler.
jobs="$(scontrol -o show job 2>&1)"
grep -q 'JobState=COMPLETED' <<<"$jobs" || fail "no finished task in the controller's memory: $jobs"
grep -q 'JobState=FAILED' <<<"$jobs" && fail "shards without a match ended as failed tasks"
# A damaged picture in shard 7 (140 to 159): every match needs that shard,
# the first match lies before it.
echo damaged >"$work/made/Image_Archive/Image_0000000150.jpg"
expect "failed shard" "$work/made" 20 2 --all
grep -q "shard 7 (numbers 140 to 159, task [0-9]*_7) failed: .*Image_0000000150.jpg" "$work/slurm.err" ||
  fail "failed shard: not named: $(cat "$work/slurm.err")"
expect "failure after the match" "$work/made" 20 0
# A task that dies without a word is named with what Slurm knows of it.
printf '#!/bin/sh\ncase "$*" in *--shard*) kill -KILL $$ ;; esac\nexec %q "$@"\n' "$build/orvalis-search" >"$work/dies"
chmod +x "$work/dies"
(cd "$work/demo" && "$source/scripts/slurm-search" --tool "$work/dies" --poll 1 >/dev/null 2>"$work/dies.err") &&
  fail "a dead task went unnoticed"
grep -q "shard 0 .* failed: it wrote nothing; JobState=FAILED .*ExitCode=0:9" "$work/dies.err" ||
  fail "a dead task: $(cat "$work/dies.err")"
# Hostile names, of the working folder and of the archive in it: find took
# -delete for an expression, Slurm % and \ in the folder for its patterns.
# Each must search as the plain run does and leave the folder's files alone.
for name in -delete 'a%jb' 'back\slash' 'with space' $'bad\xffbyte'; do
  folder="$work/names/$name"
  mkdir -p "$folder" && cp -r "$source/demo/res" "$folder/" && cp -r "$source/demo/Image_Archive" "$folder/$name"
  : >"$folder/sentinel"
  expect "name $name" "$folder" 2 0 "--archive=$name"
  [ -e "$folder/sentinel" ] || fail "name $name: a file beside the archive went"
done
# Options as strict as the tool's: refused with a word, before anything runs.
cp -r "$source/demo" "$work/refused" && : >"$work/refused/sentinel"
while IFS='|' read -r words said; do
  read -ra args <<<"$words"
  (cd "$work/refused" && "$source/scripts/slurm-search" --tool "$build/orvalis-search" "${args[@]}" \
    >/dev/null 2>"$work/refused.err") && fail "$words: accepted"
  grep -qF "slurm-search: $said" "$work/refused.err" || fail "$words: $(cat "$work/refused.err")"
done <<'ROWS'
--keep=no|--keep takes no value
--human=x|--human takes no value
--tool --keep|--tool needs a value, not the option '--keep'
--archive -delete|--archive needs a value, not the option '-delete'
--poll=0|--poll: '0' is not a number of seconds above 0
-- --keep|unexpected argument '--keep'
ROWS
[ -e "$work/refused/sentinel" ] || fail "a refused run deleted a file"
[ -z "$(find "$work/refused" -name 'orvalis-shards.*')" ] || fail "a refused run made a shard folder"
# stop leaves alone what a pid file names unless it is this very cluster's
# daemon: any process, or the same daemon of another cluster.
mkdir -p "$work/other/run"
start sleep 600 >/dev/null 2>&1
sleeper=$started
echo "$sleeper" >"$work/other/run/slurmd.pid"
cp "$work/cluster/run/slurmctld.pid" "$work/other/run/"
"$cluster" stop "$work/other" 2>"$work/stop.err" && fail "stop took another cluster's pids"
for pid in "$sleeper" "$(cat "$work/cluster/run/slurmctld.pid")"; do
  kill -0 "$pid" 2>/dev/null || fail "stop ended process $pid, not its own: $(cat "$work/stop.err")"
done
[ "$(grep -c 'left alone' "$work/stop.err")" -eq 2 ] || fail "stop said: $(cat "$work/stop.err")"
# Only the failed runs' shard folders stay behind, and no job in the queue.
[ "$(find "$work/made" "$work/demo" -maxdepth 1 -name 'orvalis-shards.*' | wc -l)" -eq 2 ] ||
  fail "shard folders left behind"
[ -z "$(squeue -h 2>&1)" ] || fail "jobs left in the queue: $(squeue -h 2>&1)"
passed "every run as the plain one"
