#!/usr/bin/env bash
# The packages' checks, one a mode:
#   build BUILD CPACK     make BUILD/package/orvalis{,-search}_*.deb
#   contents BUILD        their files, relations, licence, man pages, hardening, metadata
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
  local debs=("$build"/package/"$1"_*.deb)
  { [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ]; } || fail "expected one $1 package, found: ${debs[*]}"
  echo "${debs[0]}"
}
scratch="$(mktemp -d "${TMPDIR:-/tmp}/orvalis-package.XXXXXX")"
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$scratch"' EXIT
scripts=(Missing_Resources Current_Database_Mismatch Scanner_Mode Scanner_Database_Mismatch Device_Lost)

case "$mode" in
build)
  rm -f "$build"/package/*.deb
  (cd "$build" && "$3" -G DEB >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack"; }
  the_deb orvalis && the_deb orvalis-search
  ;;
contents)
  for p in orvalis orvalis-search; do
    dpkg-deb -x "$(the_deb "$p")" "$scratch/$p"
    dpkg-deb -c "$(the_deb "$p")" | awk '{print $NF}' | sed 's|^\./|/|' >"$scratch/$p.files"
  done
  share=/usr/share/orvalis
  script_files=()
  for s in "${scripts[@]}"; do script_files+=("$share/res/$s.sh" "$share/demo/res/$s.sh"); done
  # package, what (file, a control field, !field: must not hold), expected
  expectations=(
    "orvalis-search file /usr/bin/orvalis-search /usr/bin/orvalis-slurm-search
       /usr/share/man/man1/orvalis-search.1.gz /usr/share/man/man1/orvalis-slurm-search.1.gz
       /usr/share/doc/orvalis-search/copyright /usr/share/doc/orvalis-search/changelog.Debian.gz
       /usr/share/doc/orvalis-search/README.md.gz"
    "orvalis-search !file /usr/bin/orvalis /usr/share/orvalis/"
    "orvalis-search Depends libc6 libjpeg62-turbo libpng16-16 libstdc++6"
    "orvalis-search !Depends qt gstreamer"
    "orvalis file /usr/bin/orvalis /usr/share/man/man1/orvalis.1.gz /usr/share/applications/orvalis.desktop
       /usr/share/metainfo/org.orvalis.Orvalis.metainfo.xml /usr/share/icons/hicolor/scalable/apps/orvalis.svg
       /usr/share/icons/hicolor/48x48/apps/orvalis.png $share/res/Dark_Gray_Square.jpg
       $share/demo/res/Combo_Box_Parameters.bin $share/demo/Image_Archive/Image_0000000004.jpg
       ${script_files[*]}
       /usr/share/doc/orvalis/copyright /usr/share/doc/orvalis/changelog.Debian.gz /usr/share/doc/orvalis/README.md.gz"
    "orvalis !file /usr/bin/orvalis-search"
    "orvalis Depends libqt6widgets6 libqt6multimedia6 libjpeg62-turbo gstreamer1.0-plugins-base gstreamer1.0-plugins-good"
    "orvalis Recommends gstreamer1.0-pipewire libnotify-bin orvalis-search"
  )
  for row in "${expectations[@]}"; do
    read -r p what values <<<"$(tr -s ' \n' ' ' <<<"$row")"
    for v in $values; do
      case "$what" in
      file) grep -qxF "$v" "$scratch/$p.files" || fail "$p lacks $v" ;;
      !file) ! grep -qxF "$v" "$scratch/$p.files" || fail "$p holds $v" ;;
      !*) ! dpkg-deb -f "$(the_deb "$p")" "${what#!}" | grep -qi "$v" || fail "$p's ${what#!} names $v: $(dpkg-deb -f "$(the_deb "$p")" "${what#!}")" ;;
      *) dpkg-deb -f "$(the_deb "$p")" "$what" | tr -s ',|' '\n' | awk '{print $1}' | grep -qxF "$v" ||
        fail "$p's $what lacks $v: $(dpkg-deb -f "$(the_deb "$p")" "$what")" ;;
      esac
    done
  done
  root="$scratch/orvalis"
  for s in "${scripts[@]}"; do [ -x "$root$share/res/$s.sh" ] || fail "$s.sh is not executable"; done
  # The menu entry and the software centres' record are valid, and the menu
  # entry claims no file type: Orvalis never opens an ordinary folder.
  desktop-file-validate "$root/usr/share/applications/orvalis.desktop"
  ! grep -q '^MimeType=' "$root/usr/share/applications/orvalis.desktop" || fail "the menu entry claims a file type"
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.orvalis.Orvalis.metainfo.xml" >"$scratch/appstream" ||
    fail "appstreamcli: $(cat "$scratch/appstream")"
  # The licence: LICENSE itself in a machine-readable copyright file.
  for p in orvalis orvalis-search; do
    copyright="$scratch/$p/usr/share/doc/$p/copyright"
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" || fail "$p: not DEP-5"
    grep -qx 'License: MIT' "$copyright" || fail "$p: no MIT licence"
    grep -qF 'Copyright (c) 2026 the Orvalis developers' "$copyright" || fail "$p: no copyright line"
  done
  # Both programs hardened as Debian 12 builds its packages (its
  # dpkg-buildflags offers no stack clash or control flow protection).
  hardening-check --nocfprotection "$root/usr/bin/orvalis" "$scratch/orvalis-search/usr/bin/orvalis-search" >"$scratch/hardening" ||
    fail "hardening-check: $(cat "$scratch/hardening")"
  # Every option --help lists is in the man page.
  export QT_QPA_PLATFORM=offscreen
  for program in orvalis/usr/bin/orvalis orvalis-search/usr/bin/orvalis-search orvalis-search/usr/bin/orvalis-slurm-search; do
    page="$scratch/${program%%/*}/usr/share/man/man1/${program##*/}.1.gz"
    "$scratch/$program" --help | grep -oE '^ +(-[a-zA-Z], )?--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+' | sort -u >"$scratch/options"
    [ -s "$scratch/options" ] || fail "${program##*/} --help lists no options"
    # Read whole into a file: grep -q leaving a pipe early would fail zcat under pipefail.
    zcat "$page" | sed 's/\\-/-/g' >"$scratch/page"
    while read -r option; do
      grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" "$scratch/page" || fail "${program##*/}(1) lacks $option"
    done <"$scratch/options"
  done
  ;;
lintian)
  lintian --fail-on error --display-info --tag-display-limit 0 "$(the_deb orvalis-search)" "$(the_deb orvalis)" 2>&1 | tee "$scratch/lintian"
  ! grep -q '^E:' "$scratch/lintian" || fail "lintian reports errors"
  ! grep -q 'hardening-no-' "$scratch/lintian" || fail "lintian reports missing hardening"
  ;;
installed)
  deb="$(the_deb orvalis)"
  dpkg -x "$deb" "$scratch/root"
  dpkg -x "$(the_deb orvalis-search)" "$scratch/root"
  export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" QT_QPA_PLATFORM=offscreen
  mkdir -p "$HOME"
  orvalis="$scratch/root/usr/bin/orvalis"
  version="$(dpkg-deb -f "$deb" Version)"
  for program in orvalis orvalis-search; do
    "$scratch/root/usr/bin/$program" --version >"$scratch/version"
    head -n 1 "$scratch/version" | grep -qxE "$program ${version%-*}( .*)?" || fail "$program --version: $(cat "$scratch/version")"
    grep -q MIT "$scratch/version" || fail "$program --version names no licence"
  done

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

  # A new working folder gets the default scripts and backdrop (said on
  # stderr), no parameters file, and its copied script says what is missing.
  mkdir -p "$scratch/new/Image_Archive"
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
  mkdir -p "$scratch/foreign/res" "$scratch/foreign/Image_Archive"
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
