#!/bin/sh
# The exit scripts beside it hand it their notice: it writes the notice, with
# the time, to standard error and to res/last_event.log, and shows it as a
# desktop notification where notify-send is installed.
# The folder may come from anyone: commands come from the system alone (an
# empty PATH entry would be the folder itself), and the log is appended to
# only as a plain file of the folder's own, never through a link (soft or
# hard) or a pipe.
PATH=/usr/bin:/bin
export PATH
msg="$(date '+%Y-%m-%d %H:%M:%S') Orvalis: $1"
echo "$msg" >&2
log=res/last_event.log
if [ -d res ] && [ ! -L res ] && [ ! -L "$log" ] &&
  { [ ! -e "$log" ] || { [ -f "$log" ] && [ "$(stat -c %h -- "$log" 2>/dev/null)" = 1 ]; }; }; then
  echo "$msg" >>"$log" 2>/dev/null || true
fi
if command -v notify-send >/dev/null 2>&1; then
  notify-send --app-name=Orvalis --icon=orvalis Orvalis "${msg#*Orvalis: }" >/dev/null 2>&1 || true
fi
