#!/usr/bin/env bash
# The package's checks, one a mode:
#   build BUILD CPACK     make BUILD/package/orvalis_*.deb
#   contents BUILD        its files, dependencies and desktop entry
#   lintian BUILD         no lintian errors
#   installed BUILD       the installed programs on the demo and on new folders
#   scripts BUILD SOURCE  the default exit scripts, with notify-send or without
set -euo pipefail
mode="$1"
build="$(cd "$2" && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }
# Detached exit scripts finish when they finish: 60 s at most.
wait_for() { for _ in $(seq 600); do [ -e "$1" ] && return 0; sleep 0.1; done; return 1; }
the_deb() {
  local debs=("$build"/package/orvalis_*.deb)
  { [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ]; } || fail "expected one package, found: ${debs[*]}"
  echo "${debs[0]}"
}
scratch="$(mktemp -d "${TMPDIR:-/tmp}/orvalis-package.XXXXXX")"
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$scratch"' EXIT
scripts=(Missing_Resources Current_Database_Mismatch Scanner_Mode Scanner_Database_Mismatch Device_Lost)

case "$mode" in
build)
  rm -f "$build"/package/orvalis_*.deb
  (cd "$build" && "$3" -G DEB >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack"; }
  the_deb
  ;;
contents)
  deb="$(the_deb)"
  dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >"$scratch/list"
  share=/usr/share/orvalis
  expected=(/usr/bin/orvalis /usr/bin/orvalis-search /usr/share/man/man1/orvalis{,-search}.1.gz
    /usr/share/applications/orvalis.desktop /usr/share/icons/hicolor/scalable/apps/orvalis.svg
    "$share/res/Dark_Gray_Square.jpg" "$share/demo/res/Combo_Box_Parameters.bin"
    "$share"/demo/Image_Archive/{Current_Image,Image_0000000004}.jpg
    /usr/share/doc/orvalis/{copyright,changelog.Debian.gz})
  for size in 16 22 24 32 48 64 128 256; do expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/orvalis.png"); done
  for s in "${scripts[@]}"; do expected+=("$share/res/$s.sh" "$share/demo/res/$s.sh"); done
  for f in "${expected[@]}"; do grep -qxF "$f" "$scratch/list" || fail "the package lacks $f"; done
  # Dependencies come from the libraries the programs load, not from a list.
  depends="$(dpkg-deb -f "$deb" Depends)"
  for lib in libc6 libqt6widgets6 libjpeg62-turbo libpng16-16; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
  done
  dpkg-deb -x "$deb" "$scratch/root"
  desktop-file-validate "$scratch/root/usr/share/applications/orvalis.desktop"
  for s in "${scripts[@]}"; do [ -x "$scratch/root$share/res/$s.sh" ] || fail "$s.sh is not executable"; done
  file "$scratch/root/usr/share/icons/hicolor/48x48/apps/orvalis.png" | grep -q "48 x 48" || fail "48 px icon"
  ;;
lintian)
  lintian --fail-on error --tag-display-limit 0 "$(the_deb)" 2>&1 | tee "$scratch/lintian"
  ! grep -q '^E:' "$scratch/lintian" || fail "lintian reports errors"
  ;;
installed)
  deb="$(the_deb)"
  dpkg -x "$deb" "$scratch/root"
  export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" QT_QPA_PLATFORM=offscreen
  mkdir -p "$HOME"
  orvalis="$scratch/root/usr/bin/orvalis"
  version="$(dpkg-deb -f "$deb" Version)"
  [ "$("$scratch/root/usr/bin/orvalis-search" --version)" = "orvalis-search ${version%-*}" ] || fail "orvalis-search --version"
  [ "$("$orvalis" --version)" = "orvalis ${version%-*}" ] || fail "orvalis --version"

  # A copy of the demo named from elsewhere: the window searches there (a
  # --log line a tick) until SIGTERM closes it as its close box does.
  cp -r "$scratch/root/usr/share/orvalis/demo" "$scratch/demo"
  (cd / && exec "$orvalis" --log "$scratch/demo") 2>"$scratch/demo.err" &
  pid=$!
  for _ in $(seq 600); do grep -q 'Image_Archive/Image_' "$scratch/demo.err" && break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null || fail "orvalis ended: $(cat "$scratch/demo.err")"
  grep -q 'Image_Archive/Image_' "$scratch/demo.err" || fail "no tick within 60 s"
  kill "$pid"
  status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || fail "orvalis on the demo ended with $status when stopped: $(cat "$scratch/demo.err")"
  [ ! -e "$scratch/demo/res/last_event.log" ] || fail "an exit script ran on the demo"

  # A new folder gets the default scripts and backdrop (said on stderr), no
  # parameters file, and its copied script says what is missing.
  mkdir "$scratch/new"
  status=0
  "$orvalis" "$scratch/new" 2>"$scratch/new.err" || status=$?
  [ "$status" -eq 1 ] || fail "a folder without pictures ended with $status"
  grep -q "had no res/: copied" "$scratch/new.err" || fail "no word of the copy: $(cat "$scratch/new.err")"
  for s in "${scripts[@]}"; do [ -x "$scratch/new/res/$s.sh" ] || fail "no $s.sh copied"; done
  [ -f "$scratch/new/res/Dark_Gray_Square.jpg" ] || fail "no backdrop copied"
  [ ! -e "$scratch/new/res/Combo_Box_Parameters.bin" ] || fail "a parameters file was made at start-up"
  wait_for "$scratch/new/res/last_event.log" || fail "Missing_Resources.sh did not run"
  grep -q "Risorse mancanti" "$scratch/new/res/last_event.log" || fail "unexpected notice"

  # A folder with scripts of its own, opened from the desktop, runs the
  # installed defaults until the user trusts it (--trust needs no display).
  mkdir -p "$scratch/foreign/res"
  printf ': > foreign.ran\n' >"$scratch/foreign/res/Missing_Resources.sh"
  status=0
  "$orvalis" --from-desktop "$scratch/foreign" 2>/dev/null || status=$?
  [ "$status" -eq 1 ] || fail "the foreign folder ended with $status"
  wait_for "$scratch/foreign/res/last_event.log" || fail "the installed Missing_Resources.sh did not run"
  [ ! -e "$scratch/foreign/foreign.ran" ] || fail "the folder's own script ran from the desktop"
  env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$orvalis" --trust "$scratch/foreign" 2>/dev/null || fail "--trust"
  "$orvalis" --from-desktop "$scratch/foreign" 2>/dev/null && fail "the trusted folder ended with 0"
  wait_for "$scratch/foreign/foreign.ran" || fail "the trusted folder's own script did not run"
  ;;
scripts)
  # Each script in a folder that may be anyone's, with its own ./date and
  # ./notify-send and an empty PATH entry: they never run, nothing outside the
  # folder changes, and the script finishes whatever res/last_event.log is.
  mkdir -p "$scratch/outside"
  echo untouched >"$scratch/outside/file"
  for s in "${scripts[@]}"; do
    for log in plain link-out hard-link-out res-link-out fifo; do
      work="$scratch/$s-$log"
      mkdir -p "$work/res"
      for bin in date notify-send; do printf '#!/bin/sh\n: >"%s/ran"\n' "$scratch" >"$work/$bin"; done
      chmod +x "$work/date" "$work/notify-send"
      case "$log" in
      link-out) ln -s "$scratch/outside/file" "$work/res/last_event.log" ;;
      hard-link-out) ln "$scratch/outside/file" "$work/res/last_event.log" ;;
      res-link-out) rmdir "$work/res" && ln -s "$scratch/outside" "$work/res" ;;
      fifo) mkfifo "$work/res/last_event.log" ;;
      esac
      (cd "$work" && PATH=":/usr/bin:/bin" timeout 10 /bin/sh "$3/res/$s.sh") 2>"$scratch/err" ||
        fail "$s.sh, log $log: failed or hung"
      text="$(sed -n 's/^.*Orvalis: //p' "$scratch/err")"
      [ -n "$text" ] || fail "$s.sh said nothing on stderr"
      [ ! -e "$scratch/ran" ] || fail "$s.sh, log $log: ran the folder's own date or notify-send"
      { [ "$(ls "$scratch/outside")" = file ] && [ "$(cat "$scratch/outside/file")" = untouched ]; } ||
        fail "$s.sh, log $log: wrote outside the folder"
      [ "$log" != plain ] || tail -n 1 "$work/res/last_event.log" | grep -qF "Orvalis: $text" ||
        fail "$s.sh: no line in res/last_event.log"
    done
  done
  ;;
*) fail "unknown mode $mode" ;;
esac
