# shellcheck shell=bash
# Sourced by the scripts that run Wine: picks the loader for the programs'
# architecture and keeps Wine quiet and away from the desktop (no Mono or Gecko
# installs, no menu entries, no windows, no debug chatter).
#
# SWEEPWELL_ARCH names the architecture of the programs to run: x64 (the
# default) runs them in a 64-bit prefix; x86 in a 32-bit one, as on the older
# releases, which mostly ran 32-bit Windows. SWEEPWELL_REG_VIEW is the `reg`
# option that shows the registry as such a program sees it.

# Calling the loader directly skips the wrapper's "wine32 is missing" hint and
# its choice of the 32-bit loader wherever the 32-bit Wine is installed.
case ${SWEEPWELL_ARCH:=x64} in
  x64)
    export WINEARCH=win64
    SWEEPWELL_REG_VIEW=/reg:64
    if [[ -x /usr/lib/wine/wine64 ]]; then
      WINE=/usr/lib/wine/wine64
    elif command -v wine64 >/dev/null 2>&1; then
      WINE=$(command -v wine64)
    else
      WINE=wine
    fi
    ;;
  x86)
    export WINEARCH=win32
    SWEEPWELL_REG_VIEW=/reg:32
    if [[ -x /usr/lib/wine/wine ]]; then
      WINE=/usr/lib/wine/wine
    else
      WINE=wine
    fi
    ;;
  *)
    echo "SWEEPWELL_ARCH is '$SWEEPWELL_ARCH', not x64 or x86" >&2
    return 2
    ;;
esac
export SWEEPWELL_ARCH SWEEPWELL_REG_VIEW
# One server serves both architectures; Debian's own wrapper prefers this one.
if [[ -x /usr/lib/wine/wineserver64 ]]; then
  WINESERVER=/usr/lib/wine/wineserver64
elif [[ -x /usr/lib/wine/wineserver32 ]]; then
  WINESERVER=/usr/lib/wine/wineserver32
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

# wine_install_id: the prefix's architecture and the Wine loaders installed,
# kept in the mark. A prefix made before the 32-bit Wine was installed lacks
# its files and no longer works: a mark that differs asks for a new prefix.
wine_install_id() {
  local loader
  printf '%s' "$WINEARCH"
  for loader in /usr/lib/wine/wine /usr/lib/wine/wine64; do
    if [[ -x $loader ]]; then
      printf ' %s' "${loader##*/}"
    fi
  done
  echo
}

# wine_prefix_current: $WINEPREFIX is a sandboxed prefix for this architecture
# made by the Wine installed now.
wine_prefix_current() {
  [[ -f $WINEPREFIX/$SWEEPWELL_SANDBOX_MARK &&
     $(<"$WINEPREFIX/$SWEEPWELL_SANDBOX_MARK") == "$(wine_install_id)" ]]
}

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

# wine_run PROGRAM [ARGS...]: runs a Windows program in $WINEPREFIX, from its
# drive C: and with no input; returns the program's exit code.
wine_run() { (cd -- "$WINEPREFIX/drive_c" && "$WINE" "$@" </dev/null); }

# wine_path 'C:\dir\file': where that lies on the host, in $WINEPREFIX's drive C:.
wine_path() {
  local path=${1#[Cc]:}
  path=${path//\\//}
  echo "$WINEPREFIX/drive_c${path%/}"
}

# wine_stop: stops every process of $WINEPREFIX and waits until they are gone.
wine_stop() {
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
}
