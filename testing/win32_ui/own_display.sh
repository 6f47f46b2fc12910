#!/usr/bin/env bash
# Runs a command with an X server of its own:  own_display.sh <command> [args...]
# For tests that take pictures under Wine. Wine puts a shown desktop in an X
# window at the top-left corner of the screen, and X keeps no pixels of a window
# that another covers: on a screen shared with other tests, their windows would
# end up in the pictures.
set -euo pipefail
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$display_file"' EXIT
# Xvfb names its display once it accepts clients.
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
[ -s "$display_file" ] || { echo "own_display.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$display_file")
"$@"
