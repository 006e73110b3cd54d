#!/usr/bin/env bash
# scripts/slurm-search on a private one-node Slurm cluster must print what
# one plain orvalis-search run prints (timings aside) and exit as it does:
# the demo, and a generated archive of 200 pictures with matches at 37, 120
# and 181, for the first match, every match, no match, and a shard that
# fails. Exit 77 (skipped) where Slurm is not installed or this is not root.
#
#   slurmSearchTest.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build="$(cd "$1" && pwd)"
source="$(cd "$2" && pwd)"
cluster_script="$source/scripts/slurm-cluster"

work="$(mktemp -d "${TMPDIR:-/tmp}/orvalis-slurm-test.XXXXXX")"
chmod 755 "$work"  # munged wants every folder above its socket open to all
finish() {
  "$cluster_script" stop "$work/cluster" || echo "FAIL: the cluster did not stop" >&2
  rm -rf "$work"
}
trap finish EXIT

started="$("$cluster_script" start "$work/cluster")"
case $? in
  0) eval "$started" ;;
  3) echo "SKIP: no Slurm here (needs root and munge slurmctld slurmd slurm-client)"; exit 77 ;;
  *) echo "FAIL: the cluster did not start" >&2; exit 1 ;;
esac

cp -r "$source/demo" "$work/demo"
"$build/orvalis-make-test-archive" "$work/made" 200 200 150 37 120 181 || { echo "FAIL: no archive" >&2; exit 1; }

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# Timings are the only fields that may differ between two runs.
untimed() {
  sed -E -e 's/"(filterMs|scanMs|totalMs)": *[-+.0-9eE]+//g' -e 's/\(filter [.0-9]+ ms, scan [.0-9]+ ms\)$//' \
    -e 's/, [.0-9]+ ms$//' "$1"
}

# expect NAME FOLDER SHARD_SIZE EXIT [ARGUMENTS...]: both runs exit with EXIT
# and print the same lines.
expect() {
  local name="$1" folder="$2" size="$3" code="$4"; shift 4
  local plain slurm
  (cd "$folder" && "$build/orvalis-search" "$@" >"$work/plain.out" 2>"$work/plain.err"); plain=$?
  (cd "$folder" && "$source/scripts/slurm-search" --tool "$build/orvalis-search" --shard-size "$size" --poll 1 \
    "$@" >"$work/slurm.out" 2>"$work/slurm.err"); slurm=$?
  [ "$plain" -eq "$code" ] || fail "$name: the plain run exited $plain, not $code: $(cat "$work/plain.err")"
  [ "$slurm" -eq "$code" ] || fail "$name: slurm-search exited $slurm, not $code: $(cat "$work/slurm.err")"
  if [ "$code" -le 1 ] && ! diff <(untimed "$work/plain.out") <(untimed "$work/slurm.out") >&2; then
    fail "$name: slurm-search's lines differ from the plain run's"
  fi
  echo "$name: plain $plain, slurm-search $slurm"
}
matches() { grep -E '"matchFound": *true' "$1" | sed -E 's/.*"index": *([0-9]+).*/\1/' | tr '\n' ' '; }

#      name            folder        size exit arguments
expect "demo"          "$work/demo"     2   0
expect "first match"   "$work/made"    20   0
expect "every match"   "$work/made"    20   0  --all
[ "$(matches "$work/slurm.out")" = "37 120 181 " ] || fail "every match: found $(matches "$work/slurm.out")"
expect "no match"      "$work/made"    25   1  --first 40 --last 110
expect "human lines"   "$work/made"    50   0  --human --first 100

# A damaged picture in shard 7 (numbers 140 to 159): every match needs that
# shard, so both fail; the first match lies before it, so neither notices.
cp "$work/made/Image_Archive/Image_0000000150.jpg" "$work/good.jpg"
echo damaged >"$work/made/Image_Archive/Image_0000000150.jpg"
expect "failed shard"  "$work/made"    20   2  --all
grep -q "shard 7 (numbers 140 to 159, task [0-9]*_7) failed: .*Image_0000000150.jpg" "$work/slurm.err" ||
  fail "failed shard: not named: $(cat "$work/slurm.err")"
expect "failure after the match" "$work/made" 20 0

# Nothing left behind after success: no shard folders, no job in the queue.
leftover="$(cd "$work/made" && ls -d orvalis-shards.* 2>/dev/null | wc -l)"
[ "$leftover" -eq 1 ] || fail "expected only the failed run's shard folder, found $leftover"
[ -z "$(squeue -h 2>&1)" ] || fail "jobs left in the queue: $(squeue -h 2>&1)"

[ $failures -eq 0 ] || exit 1
echo "PASS"
