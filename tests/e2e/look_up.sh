#!/usr/bin/env bash
# A look-up from end to end: the program starts on an application folder with one dictionary
# installed, a word of the list is chosen, and the article view shows that word's article.
source "$(dirname "$0")/e2e_common.sh"

make_app tolk.brd
"$VRBX_TOOL" install --app "$APP" tolk.brd >/dev/null
first=$("$VRBX_TOOL" words --app "$APP" а | head -1 | cut -f1)

start_window_manager
trap 'kill $WM 2>/dev/null; rm -rf "$APP"' EXIT
start_program "$ARTIFACTS/look_up.log"

# A click into the word list, then Home: the first word of the index is chosen.
xdotool mousemove --window "$WINDOW" 60 120 click 1
xdotool key Home
wait_article "$WINDOW" "$first"
import -window root "$ARTIFACTS/look_up.png"
check_not_blank "$ARTIFACTS/look_up.png"
quit_program
echo "OK: «$first» shown; screenshot $ARTIFACTS/look_up.png"
