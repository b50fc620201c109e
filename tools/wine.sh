# The tests' private Wine session: an Xvfb display, the build's own Wine
# prefix, one persistent wineserver and Wine's virtual desktop. Sourced by
# tools/test and tools/with-wine; vesk_wine_start sets it up, vesk_wine_stop
# ends it.
#
# Every program runs inside one virtual desktop of the screen's size (the
# prefix's registry says so, and the desktop process is started here, before
# any test). Without it no window manager is there: Wine draws no captions,
# the caption area belongs to the desktop window (a click on it activates the
# desktop), and the X stacking does not follow the Z order, so a click goes
# to a window that Windows would show behind another (docs/testing.md).
#
# Every Wine program of a test run talks to the one wineserver started here
# with its output on /dev/null. A wineserver that a test started itself would
# inherit the test's output pipe and make whoever reads it wait for ever, and
# starting a fresh server per program costs half a second each.

vesk_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
vesk_wine="${VESK_WINE:-wine-stable}"
vesk_wineserver="$(command -v wineserver-stable || command -v wineserver || echo /usr/lib/wine/wineserver)"
vesk_xvfb_pid=""
vesk_wineserver_started=""
vesk_screen=1280x1024

vesk_wine_say() { echo "wine session: $*" >&2; }

# Starts Xvfb on a free display (Xvfb picks it and writes its number) and
# exports DISPLAY.
vesk_xvfb_start() {
  local number_file
  number_file="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 "${vesk_screen}x24" -nolisten tcp -noreset \
    3>"$number_file" >"$vesk_wine_logs/xvfb.log" 2>&1 </dev/null &
  vesk_xvfb_pid=$!
  local tries=0
  until grep -q '^[0-9][0-9]*$' "$number_file" 2>/dev/null; do
    if ! kill -0 "$vesk_xvfb_pid" 2>/dev/null || [ $tries -ge 200 ]; then
      vesk_wine_say "Xvfb did not start (see $vesk_wine_logs/xvfb.log)"
      rm -f "$number_file"
      return 1
    fi
    sleep 0.05
    tries=$((tries + 1))
  done
  export DISPLAY=":$(head -n 1 "$number_file")"
  rm -f "$number_file"
}

# Creates the prefix once per build tree (about 15 s and 600 MB). The marker
# file is written last, so a creation that was cut short is redone.
vesk_prefix_create() {
  [ -f "$WINEPREFIX/.vesk-ready" ] && return 0
  vesk_wine_say "creating the Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  if ! timeout 300 "$vesk_wine" wineboot.exe -i >"$vesk_wine_logs/wineboot.log" 2>&1 </dev/null; then
    vesk_wine_say "wineboot failed (see $vesk_wine_logs/wineboot.log)"
    return 1
  fi
  # wineboot returns before its services have written the registry.
  timeout 120 "$vesk_wineserver" -w || true
  touch "$WINEPREFIX/.vesk-ready"
}

# Makes every program of the prefix run in the virtual desktop "Default".
# Done once per prefix; the registry is written by the server, so it is
# stopped and started again for the change to be kept and seen.
vesk_desktop_configure() {
  [ -f "$WINEPREFIX/.vesk-desktop" ] && return 0
  local key='HKCU\Software\Wine\Explorer'
  timeout 60 "$vesk_wine" reg.exe add "$key" /v Desktop /d Default /f >>"$vesk_wine_logs/desktop-setup.log" 2>&1 </dev/null &&
    timeout 60 "$vesk_wine" reg.exe add "$key\Desktops" /v Default /d "$vesk_screen" /f \
      >>"$vesk_wine_logs/desktop-setup.log" 2>&1 </dev/null || {
    vesk_wine_say "the virtual desktop could not be set (see $vesk_wine_logs/desktop-setup.log)"
    return 1
  }
  timeout 30 "$vesk_wineserver" -k >/dev/null 2>&1 || true
  timeout 30 "$vesk_wineserver" -w >/dev/null 2>&1 || true
  touch "$WINEPREFIX/.vesk-desktop"
  timeout 30 "$vesk_wineserver" -p >/dev/null 2>&1 </dev/null
}

# Starts the desktop process in a session of its own, so that no test's
# clean-up ends it, and waits until its X window exists. Started by the
# first window of a test instead, it would belong to that test's processes.
vesk_desktop_start() {
  setsid "$vesk_wine" explorer.exe "/desktop=Default,$vesk_screen" \
    >"$vesk_wine_logs/desktop.log" 2>&1 </dev/null &
  local tries=0
  until xwininfo -root -children 2>/dev/null | grep -q '"Default - Wine desktop"'; do
    if [ $tries -ge 600 ]; then
      vesk_wine_say "the virtual desktop did not appear (see $vesk_wine_logs/desktop.log)"
      return 1
    fi
    sleep 0.05
    tries=$((tries + 1))
  done
}

vesk_wine_start() {
  export WINEPREFIX="${VESK_WINEPREFIX:-$vesk_root/build/win32/wineprefix}"
  export WINEARCH="${VESK_WINEARCH:-win32}"
  export WINEDEBUG=-all
  # Without this Wine writes menu entries and desktop files on the host.
  export WINEDLLOVERRIDES=winemenubuilder.exe=d
  vesk_wine_logs="$(dirname "$WINEPREFIX")/wine-logs"
  mkdir -p "$vesk_wine_logs"
  vesk_xvfb_start || return 1
  vesk_wine_say "display $DISPLAY, prefix $WINEPREFIX"
  # A server left behind by a run that was killed would refuse a second one.
  vesk_wineserver_started=1
  timeout 30 "$vesk_wineserver" -k >/dev/null 2>&1 || true
  timeout 30 "$vesk_wineserver" -w >/dev/null 2>&1 || true
  vesk_prefix_create || return 1
  if ! timeout 30 "$vesk_wineserver" -p >/dev/null 2>&1 </dev/null; then
    vesk_wine_say "wineserver did not start"
    return 1
  fi
  vesk_desktop_configure || return 1
  # The first program starts Wine's services and desktop process, which keep
  # the output handles of the program that started them; let them have
  # /dev/null. A prefix update after a Wine upgrade also reports here.
  if ! timeout 120 "$vesk_wine" cmd.exe /c exit 0 >"$vesk_wine_logs/warm-up.log" 2>&1 </dev/null; then
    vesk_wine_say "Wine does not run programs (see $vesk_wine_logs/warm-up.log)"
    return 1
  fi
  vesk_desktop_start || return 1
}

# Safe to call more than once and after a start that failed half-way.
vesk_wine_stop() {
  if [ -n "$vesk_wineserver_started" ]; then
    timeout 30 "$vesk_wineserver" -k >/dev/null 2>&1 || true
    timeout 30 "$vesk_wineserver" -w >/dev/null 2>&1 || true
    vesk_wineserver_started=""
  fi
  if [ -n "$vesk_xvfb_pid" ]; then
    kill "$vesk_xvfb_pid" 2>/dev/null || true
    wait "$vesk_xvfb_pid" 2>/dev/null || true
    vesk_xvfb_pid=""
  fi
}
