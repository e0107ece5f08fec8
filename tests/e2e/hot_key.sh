#!/usr/bin/env bash
# The notification-area part of the program on a desktop without one (Xvfb has none): closing
# the window minimises it, saying so once, Ctrl+Alt+D pressed in another program brings it back with an empty
# find box that has the focus, and the quit action ends the program with exit code 0 and the
# history written. Then, with another program holding the key, the program still starts and
# the key inside its window still empties the find box.
source "$(dirname "$0")/e2e_common.sh"

make_app tolk.brd
"$VRBX_TOOL" install --app "$APP" tolk.brd >/dev/null

fail() { echo "FAIL: $*"; exit 1; }

start_window_manager
trap 'kill $WM 2>/dev/null; rm -rf "$APP"' EXIT

start_program "$ARTIFACTS/hot_key.log"
window=$WINDOW
# Some text in the find box, which the hot key must empty.
enter_text "$window" 80 40 "abc"

# Closing keeps the program: without a notification area the window is minimised, after a word
# on why, the first time.
xdotool key alt+F4
dismiss_notice "$window"
kill -0 "$PID" || fail "closing the window ended the program"
[ "$(window_state "$window")" = "Iconic" ] || fail "the closed window is not minimised"

# Ctrl+Alt+D from another program's window.
xmessage -title "another program" "another program" &
other=$!
other_window=$(wait_window "another program")
xdotool windowactivate --sync "$other_window" >/dev/null 2>&1 || true
sleep 0.3
xdotool key ctrl+alt+d
sleep 0.7
[ "$(window_state "$window")" = "Normal" ] || fail "Ctrl+Alt+D did not bring the window back"
text=$(focused_text_after_typing "hello")
[ "$text" = "hello" ] || fail "the find box was not empty and focused (it holds '$text')"
import -window root "$ARTIFACTS/hot_key.png"
check_not_blank "$ARTIFACTS/hot_key.png"
kill "$other" 2>/dev/null || true

# A filter run, then the quit action.
xdotool key Return
sleep 0.3
quit_program
"$VRBX_TOOL" cat "$APP/vrbx.pde" history.dat | tr -d "\r" | grep -qx "hello" || fail "history.dat lacks the query"

# Another program holds the key (in the Num Lock state): the program starts normally, and the
# key pressed in its window still runs "Открыть".
"$HOLD_KEY" >"$ARTIFACTS/hold_key.log" &
holder=$!
for _ in $(seq 1 50); do grep -q held "$ARTIFACTS/hold_key.log" && break; sleep 0.1; done
start_program "$ARTIFACTS/hot_key.log"
enter_text "$WINDOW" 80 40 "abc"
xdotool key ctrl+alt+d
sleep 0.3
text=$(focused_text_after_typing "again")
[ "$text" = "again" ] || fail "with the key held elsewhere, Ctrl+Alt+D did not empty the find box ('$text')"
quit_program
kill "$holder" 2>/dev/null || true
echo "OK: hot key, minimise on close, quit with history, key held elsewhere"
