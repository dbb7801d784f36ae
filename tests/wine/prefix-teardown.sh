#!/bin/sh
# Ends the suite's wineserver, and with it every service and program still running.
set -u
export WINEPREFIX="$1"
/usr/lib/wine/wineserver64 -k 2>/dev/null
/usr/lib/wine/wineserver64 -w 2>/dev/null
exit 0
