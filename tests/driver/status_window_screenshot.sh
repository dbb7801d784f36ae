#!/bin/sh
# Shows the status window on a virtual X screen of known size, in a throwaway Wine prefix
# of its own (the suite's prefix has no display), checks it from Win32 and keeps a
# screenshot as build/<dir>/artifacts/status_window.png.
set -eu
build=${TESSIVANE_BUILD_DIR:?}
for tool in xvfb-run xauth xwd convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
work="$build/status_window_screen"
prefix="$work/prefix"
mkdir -p "$build/artifacts"
rm -rf "$work"
mkdir -p "$work"
rm -f "$build/artifacts/status_window.png"

cat >"$work/inside.sh" <<'INSIDE'
#!/bin/sh
set -u
work=$1 build=$2
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
server=/usr/lib/wine/wineserver64
"$server" -p </dev/null >>"$work/wine.log" 2>&1
/usr/lib/wine/wine64 wineboot -i </dev/null >>"$work/wine.log" 2>&1
# No window manager runs on the virtual screen: Wine draws the caption and frame itself.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$work/wine.log" 2>&1
# The markers live on the prefix's drive C:, whose paths do not depend on the clone's place.
/usr/lib/wine/wine64 "$build/tests/status_window_probe.exe" 1024 768 'C:\ready' 'C:\done' \
  >"$work/probe.out" 2>>"$work/wine.log" &
probe=$!
waited=0
while [ ! -e "$WINEPREFIX/drive_c/ready" ] && [ $waited -lt 600 ]; do sleep 0.1; waited=$((waited + 1)); done
sleep 1
xwd -root -silent >"$work/screen.xwd"
touch "$WINEPREFIX/drive_c/done"
wait $probe
status=$?
"$server" -k
"$server" -w
exit $status
INSIDE

set +e
xvfb-run -a -s "-screen 0 1024x768x24" sh "$work/inside.sh" "$work" "$build"
status=$?
set -e
cat "$work/probe.out" 2>/dev/null || true
[ -s "$work/screen.xwd" ] || { echo "no screenshot taken"; exit 1; }
convert "xwd:$work/screen.xwd" "$build/artifacts/status_window.png"
echo "screenshot: $build/artifacts/status_window.png"
rm -rf "$prefix"
exit $status
