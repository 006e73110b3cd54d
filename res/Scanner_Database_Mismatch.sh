#!/bin/sh
# Started by Orvalis from its working folder; see the README, "Exit scripts".
# Writes a one-line notice to standard error and to res/last_event.log.
msg="$(date '+%Y-%m-%d %H:%M:%S') Orvalis: Il fotogramma della telecamera e le immagini dell'archivio hanno dimensioni diverse."
echo "$msg" >&2
echo "$msg" >> res/last_event.log 2>/dev/null || true
