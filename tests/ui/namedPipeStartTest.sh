#!/usr/bin/env bash
# The real window in a folder whose archive picture 0 is a named pipe: it
# must refuse it as a missing picture (Missing_Resources, exit code 1) and
# never block on it, before start-up or during it.
#
#   namedPipeStartTest.sh ORVALIS SOURCE_DIR
set -uo pipefail
orvalis="$1" source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$source/demo" "$work/folder"
cp "$source"/res/*.sh "$work/folder/res/"
rm "$work/folder/Image_Archive/Image_0000000000.jpg"
mkfifo "$work/folder/Image_Archive/Image_0000000000.jpg"
(cd "$work/folder" && QT_QPA_PLATFORM=offscreen timeout 60 "$orvalis") 2>"$work/stderr"
code=$?
if [ "$code" != 1 ]; then
  echo "FAIL: exit code $code (124: it blocked), expected 1"; cat "$work/stderr"; exit 1
fi
# The script runs detached: its notice may come a little later.
for _ in $(seq 100); do grep -q 'Risorse mancanti' "$work/folder/res/last_event.log" 2>/dev/null && break; sleep 0.1; done
grep -q 'Risorse mancanti' "$work/folder/res/last_event.log" 2>/dev/null ||
  { echo "FAIL: Missing_Resources did not run"; cat "$work/stderr"; exit 1; }
echo "refused at once"
