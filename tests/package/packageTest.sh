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
# shellcheck source=tests/support/harness.sh
source "$(dirname "$0")/../support/harness.sh"
# Detached exit scripts finish when they finish: 60 s at most.
appears() { wait_for 60 test -e "$1"; }
the_deb() {
  local debs=("$build"/package/"$1"_*.deb)
  { [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ]; } || die "expected one $1 package, found: ${debs[*]}"
  echo "${debs[0]}"
}
scratch="$work" scripts=("${exit_scripts[@]}")

case "$mode" in
build)
  rm -f "$build"/package/*.deb
  (cd "$build" && "$3" -G DEB >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; die "cpack"; }
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
      file) grep -qxF "$v" "$scratch/$p.files" || die "$p lacks $v" ;;
      !file) ! grep -qxF "$v" "$scratch/$p.files" || die "$p holds $v" ;;
      !*) ! dpkg-deb -f "$(the_deb "$p")" "${what#!}" | grep -qi "$v" || die "$p's ${what#!} names $v: $(dpkg-deb -f "$(the_deb "$p")" "${what#!}")" ;;
      *) dpkg-deb -f "$(the_deb "$p")" "$what" | tr -s ',|' '\n' | awk '{print $1}' | grep -qxF "$v" ||
        die "$p's $what lacks $v: $(dpkg-deb -f "$(the_deb "$p")" "$what")" ;;
      esac
    done
  done
  root="$scratch/orvalis"
  for s in "${scripts[@]}"; do [ -x "$root$share/res/$s.sh" ] || die "$s.sh is not executable"; done
  # The menu entry and the software centres' record are valid, and the menu
  # entry claims no file type: Orvalis never opens an ordinary folder.
  desktop-file-validate "$root/usr/share/applications/orvalis.desktop"
  ! grep -q '^MimeType=' "$root/usr/share/applications/orvalis.desktop" || die "the menu entry claims a file type"
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.orvalis.Orvalis.metainfo.xml" >"$scratch/appstream" ||
    die "appstreamcli: $(cat "$scratch/appstream")"
  # The licence: LICENSE itself in a machine-readable copyright file.
  for p in orvalis orvalis-search; do
    copyright="$scratch/$p/usr/share/doc/$p/copyright"
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" || die "$p: not DEP-5"
    grep -qx 'License: MIT' "$copyright" || die "$p: no MIT licence"
    grep -qF 'Copyright (c) 2026 the Orvalis developers' "$copyright" || die "$p: no copyright line"
  done
  # Both programs hardened as Debian 12 builds its packages (its
  # dpkg-buildflags offers no stack clash or control flow protection).
  hardening-check --nocfprotection "$root/usr/bin/orvalis" "$scratch/orvalis-search/usr/bin/orvalis-search" >"$scratch/hardening" ||
    die "hardening-check: $(cat "$scratch/hardening")"
  # Every option --help lists is in the man page.
  export QT_QPA_PLATFORM=offscreen
  for program in orvalis/usr/bin/orvalis orvalis-search/usr/bin/orvalis-search orvalis-search/usr/bin/orvalis-slurm-search; do
    page="$scratch/${program%%/*}/usr/share/man/man1/${program##*/}.1.gz"
    "$scratch/$program" --help | grep -oE '^ +(-[a-zA-Z], )?--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+' | sort -u >"$scratch/options"
    [ -s "$scratch/options" ] || die "${program##*/} --help lists no options"
    # Read once: grep -q quits at the first hit, and with pipefail the
    # writer it leaves behind fails the check by SIGPIPE.
    zcat "$page" | sed 's/\\-/-/g' >"$scratch/page"
    while read -r option; do
      grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" "$scratch/page" || die "${program##*/}(1) lacks $option"
    done <"$scratch/options"
  done
  ;;
lintian)
  lintian --fail-on error --display-info --tag-display-limit 0 "$(the_deb orvalis-search)" "$(the_deb orvalis)" 2>&1 | tee "$scratch/lintian"
  ! grep -q '^E:' "$scratch/lintian" || die "lintian reports errors"
  ! grep -q 'hardening-no-' "$scratch/lintian" || die "lintian reports missing hardening"
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
    head -n 1 "$scratch/version" | grep -qxE "$program ${version%-*}( .*)?" || die "$program --version: $(cat "$scratch/version")"
    grep -q MIT "$scratch/version" || die "$program --version names no licence"
  done

  # A copy of the demo named from elsewhere: the window searches there (a
  # --log line a tick) until SIGTERM closes it as its close box does.
  cp -r "$scratch/root/usr/share/orvalis/demo" "$scratch/demo"
  start env -C / "$orvalis" --log "$scratch/demo" 2>"$scratch/demo.err"
  pid=$started
  wait_for 60 grep -q 'Image_Archive/Image_' "$scratch/demo.err" || die "no tick within 60 s: $(cat "$scratch/demo.err")"
  ! ended "$pid" || die "orvalis ended: $(cat "$scratch/demo.err")"
  kill "$pid"
  reap "$pid" 10
  [ "$status" -eq 0 ] || die "orvalis on the demo ended with $status when stopped: $(cat "$scratch/demo.err")"
  [ ! -e "$scratch/demo/res/last_event.log" ] || die "an exit script ran on the demo"

  # A new working folder gets the default scripts and backdrop (said on
  # stderr), no parameters file, and its copied script says what is missing.
  mkdir -p "$scratch/new/Image_Archive"
  status=0
  "$orvalis" "$scratch/new" 2>"$scratch/new.err" || status=$?
  [ "$status" -eq 1 ] || die "a folder without pictures ended with $status"
  grep -q "had no res/: copied" "$scratch/new.err" || die "no word of the copy: $(cat "$scratch/new.err")"
  for s in "${scripts[@]}" notice; do [ -x "$scratch/new/res/$s.sh" ] || die "no $s.sh copied"; done
  [ -f "$scratch/new/res/Dark_Gray_Square.jpg" ] || die "no backdrop copied"
  [ ! -e "$scratch/new/res/Combo_Box_Parameters.bin" ] || die "a parameters file was made at start-up"
  appears "$scratch/new/res/last_event.log" || die "Missing_Resources.sh did not run"
  grep -q "Risorse mancanti" "$scratch/new/res/last_event.log" || die "unexpected notice"

  # A folder with scripts of its own, opened from the desktop, runs the
  # installed defaults until the user trusts it (--trust needs no display).
  mkdir -p "$scratch/foreign/res" "$scratch/foreign/Image_Archive"
  printf ': > foreign.ran\n' >"$scratch/foreign/res/Missing_Resources.sh"
  status=0
  "$orvalis" --from-desktop "$scratch/foreign" 2>/dev/null || status=$?
  [ "$status" -eq 1 ] || die "the foreign folder ended with $status"
  appears "$scratch/foreign/res/last_event.log" || die "the installed Missing_Resources.sh did not run"
  [ ! -e "$scratch/foreign/foreign.ran" ] || die "the folder's own script ran from the desktop"
  env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$orvalis" --trust "$scratch/foreign" 2>/dev/null || die "--trust"
  "$orvalis" --from-desktop "$scratch/foreign" 2>/dev/null && die "the trusted folder ended with 0"
  appears "$scratch/foreign/foreign.ran" || die "the trusted folder's own script did not run"
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
        die "$s.sh, log $log: failed or hung"
      text="$(sed -n 's/^.*Orvalis: //p' "$scratch/err")"
      [ -n "$text" ] || die "$s.sh said nothing on stderr"
      [ ! -e "$scratch/ran" ] || die "$s.sh, log $log: ran the folder's own date or notify-send"
      { [ "$(ls "$scratch/outside")" = file ] && [ "$(cat "$scratch/outside/file")" = untouched ]; } ||
        die "$s.sh, log $log: wrote outside the folder"
      [ "$log" != plain ] || tail -n 1 "$work/res/last_event.log" | grep -qF "Orvalis: $text" ||
        die "$s.sh: no line in res/last_event.log"
    done
  done
  ;;
*) die "unknown mode $mode" ;;
esac
