#!/usr/bin/env bash
# A look-up from end to end: the program starts on an application folder with one dictionary
# installed, a word of the list is chosen, and the article view shows that word's article.
source "$(dirname "$0")/e2e_common.sh"

make_app tolk.brd
"$VRBX_TOOL" install --app "$APP" tolk.brd >/dev/null
first=$("$VRBX_TOOL" words --app "$APP" а | head -1 | cut -f1)

start_window_manager
"$APP/vrbx" >"$ARTIFACTS/look_up.log" 2>&1 &
pid=$!
window=$(wait_window "^Вербалон - версия 1.0b$")
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true

# A click into the word list, then Home: the first word of the index is chosen.
sleep 0.5
xdotool mousemove --window "$window" 60 120 click 1
xdotool key Home
wait_article "$window" "$first"
import -window root "$ARTIFACTS/look_up.png"

xdotool key ctrl+q
status=0
wait "$pid" || status=$?
kill "$WM" 2>/dev/null || true

check_not_blank "$ARTIFACTS/look_up.png"
[ "$status" -eq 0 ] || { echo "FAIL: the program ended with $status"; exit 1; }
echo "OK: «$first» shown; screenshot $ARTIFACTS/look_up.png"
