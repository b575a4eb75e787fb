# shellcheck shell=bash
# Sourced by the scripts that run Wine: picks the 64-bit loader and keeps Wine
# quiet and away from the desktop (no Mono or Gecko installs, no menu entries,
# no windows, no debug chatter).

# Calling the 64-bit loader directly skips the wrapper's "wine32 is missing"
# hint and keeps `reg` on the 64-bit registry view even where a 32-bit Wine is
# also installed.
if [[ -x /usr/lib/wine/wine64 ]]; then
  WINE=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null 2>&1; then
  WINE=$(command -v wine64)
else
  WINE=wine
fi
if [[ -x /usr/lib/wine/wineserver64 ]]; then
  WINESERVER=/usr/lib/wine/wineserver64
else
  WINESERVER=wineserver
fi
export WINELOADER=$WINE
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

# Marks a prefix whose sandboxing has finished (scripts/wine-prefix.sh).
# shellcheck disable=SC2034 # read by the scripts that source this file
SWEEPWELL_SANDBOX_MARK=.sweepwell-sandbox

# wine_start: unless it runs already, starts the wineserver of $WINEPREFIX
# (kept for $1 seconds after the last program ends, default 300) and Wine's own
# services, all with their standard streams on /dev/null. Wine's helper
# processes inherit the streams of whoever starts them, so a test runner reading
# a pipe would otherwise wait for them to go away. The lock keeps a parallel
# caller from starting a program, and so the services, before them.
wine_start() {
  (
    flock 8
    # Exits with 0 only when it started a new server. Neither the server nor
    # the services may inherit the lock, or it would never be released.
    if "$WINESERVER" "-p${1:-300}" </dev/null >/dev/null 2>&1 8>&-; then
      "$WINE" wineboot </dev/null >/dev/null 2>&1 8>&-
    fi
  ) 8>"$WINEPREFIX/.sweepwell-start.lock"
}

# wine_stop: stops every process of $WINEPREFIX and waits until they are gone.
wine_stop() {
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
}
