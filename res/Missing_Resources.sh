#!/bin/sh
# Started by Orvalis from its working folder; see the README, "Exit scripts".
# Writes a one-line notice to standard error and to res/last_event.log, and
# shows it as a desktop notification where notify-send is installed.
msg="$(date '+%Y-%m-%d %H:%M:%S') Orvalis: Risorse mancanti: impossibile caricare res/Dark_Gray_Square.jpg o Image_Archive/Image_0000000000.jpg."
echo "$msg" >&2
echo "$msg" >> res/last_event.log 2>/dev/null || true
if command -v notify-send >/dev/null 2>&1; then
  notify-send --app-name=Orvalis --icon=orvalis Orvalis "${msg#*Orvalis: }" >/dev/null 2>&1 || true
fi
