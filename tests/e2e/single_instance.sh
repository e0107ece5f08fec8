#!/usr/bin/env bash
# One program per data folder: a second start brings the running program's window back, with an
# empty find box that has the focus, and ends with exit code 0. A program killed outright leaves
# its socket behind; the next start takes it over and serves second starts again.
source "$(dirname "$0")/e2e_common.sh"

make_app tolk.brd
"$VRBX_TOOL" install --app "$APP" tolk.brd >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
LOG="$ARTIFACTS/single_instance.log"

# second_start: runs the program again; it must end by itself, with exit code 0, and bring the
# running program's window WINDOW back with an empty find box that has the focus.
second_start() {
  local status=0
  timeout 20 "$APP/vrbx" >>"$LOG" 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "the second start ended with $status"
  sleep 0.7
  [ "$(window_state "$WINDOW")" = "Normal" ] || fail "the second start did not bring the window back"
  local text
  text=$(focused_text_after_typing "$1")
  [ "$text" = "$1" ] || fail "the find box was not empty and focused (it holds '$text')"
  kill -0 "$PID" || fail "the first program has ended"
}

start_window_manager
trap 'kill $WM 2>/dev/null; rm -rf "$APP"' EXIT

: >"$LOG"
start_program "$LOG"
enter_text "$WINDOW" 80 40 "abc"
xdotool key alt+F4
dismiss_notice "$WINDOW"
[ "$(window_state "$WINDOW")" = "Iconic" ] || fail "the closed window is not minimised"
second_start "first"
import -window root "$ARTIFACTS/single_instance.png"
check_not_blank "$ARTIFACTS/single_instance.png"

# Killed outright, the program leaves its socket; the next start is a first start again.
kill -9 "$PID"
wait "$PID" 2>/dev/null || true
start_program "$LOG"
enter_text "$WINDOW" 80 40 "abc"
second_start "again"
quit_program
echo "OK: second start hands over and ends with 0; a killed program's socket is taken over"
