#!/bin/sh
# Started by Orvalis from its working folder; see the README, "Exit scripts".
# Hands its notice to notice.sh beside it, which writes it to standard error
# and res/last_event.log and shows it on the desktop; only the shell's own
# words run before that script sets a safe PATH.
case "$0" in */*) here="${0%/*}" ;; *) here=. ;; esac
exec /bin/sh "$here/notice.sh" "Il fotogramma della telecamera e le immagini dell'archivio hanno dimensioni diverse."
