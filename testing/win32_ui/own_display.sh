#!/usr/bin/env bash
# Runs a command with an X server of its own:  own_display.sh <command> [args...]
# For tests that take pictures under Wine. Wine puts a shown desktop in an X
# window at the top-left corner of the screen, and X keeps no pixels of a window
# that another covers: on a screen shared with other tests, their windows would
# end up in the pictures.
set -euo pipefail
source "$(dirname "$0")/../../scripts/wine-env.sh"
start_xvfb
trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT
"$@"
