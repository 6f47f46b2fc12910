# Sourced by the scripts that run the Wine tests, so that the X server and the
# Wine prefix are made one way everywhere.

# Starts an X server on a free display and exports DISPLAY; its pid in XVFB_PID.
start_xvfb() {
  local display_file
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  # Xvfb picks a free display itself and names it once it accepts clients.
  for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
  if [ ! -s "$display_file" ]; then
    rm -f "$display_file"
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=:$(head -n1 "$display_file")
  rm -f "$display_file"
}

# Makes a fresh $WINEPREFIX whose wineserver stays up for the tests.
make_wine_prefix() {
  wineserver -k 2>/dev/null || true  # a server left by an interrupted run
  timeout 60 wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
  mkdir -p "$WINEPREFIX"
  # wineboot -i on an empty prefix starts the system services twice over; under a
  # server that stays up, the pair then fight over the service database (a test's
  # driver service never starts). So the prefix is made under a server of its own,
  # which is let go, and the tests get a fresh one that stays up, warmed by one
  # program so that its services are up before the first test.
  timeout 300 wineboot -i >/dev/null 2>&1
  timeout 60 wineserver -w
  wineserver -p
  timeout 60 wine cmd /c exit >/dev/null 2>&1
  touch "$WINEPREFIX/.nibflash-ready"  # scripts/wine-run.sh then leaves it alone
}

# Ends the wineserver and the X server: for the EXIT trap of a script that made them.
stop_wine_and_xvfb() {
  wineserver -k 2>/dev/null || true
  [ -z "${XVFB_PID:-}" ] || kill "$XVFB_PID" 2>/dev/null || true
}
