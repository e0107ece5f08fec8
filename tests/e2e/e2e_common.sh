# Shared by the end-to-end scripts, which run the real program under a virtual X server.
# Usage: source it with VRBX, VRBX_TOOL, PACKED_RESOURCES, SAMPLE_DATA and ARTIFACTS set.

set -euo pipefail

for tool in xvfb-run xdotool import openbox xclip xdpyinfo; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (tools/install-deps.sh installs it)"
    exit 77
  fi
done

mkdir -p "$ARTIFACTS"
# The program would ask a Wayland desktop's portal for its hot key instead of grabbing it.
unset WAYLAND_DISPLAY

# Under a virtual X server of its own, once that server answers. The script runs again inside.
# -noreset: the server would otherwise reset whenever its last client leaves, breaking the
# connections of clients that arrive meanwhile.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -e "$ARTIFACTS/xvfb.err" -s "-screen 0 1024x768x24 -noreset" "$0" "$@"
fi
for _ in $(seq 1 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || { echo "FAIL: the X server $DISPLAY does not answer"; cat "$ARTIFACTS/xvfb.err"; exit 1; }
APP=$(mktemp -d)
trap 'rm -rf "$APP"' EXIT

# make_app PACKAGE...: a fresh application folder with the sample packages in data/; the
# program is copied in, as it finds its resource package beside itself.
make_app() {
  cp "$VRBX" "$APP/vrbx"
  cp "$PACKED_RESOURCES" "$APP/vrbx.pde"
  mkdir -p "$APP/data"
  for name in "$@"; do cp "$SAMPLE_DATA/$name" "$APP/data/"; done
}

# start_window_manager: openbox, once it has taken the screen; sets WM to its process.
start_window_manager() {
  openbox >/dev/null 2>&1 &
  WM=$!
  for _ in $(seq 1 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
    sleep 0.1
  done
  echo "FAIL: the window manager did not start"
  return 1
}

# wait_window NAME: the id of the first visible window whose title contains NAME.
wait_window() {
  local id=""
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window named '$1' appeared" >&2
  return 1
}

# start_program LOG: starts the program of the application folder, its output going to LOG,
# waits for its main window and sets PID and WINDOW.
start_program() {
  "$APP/vrbx" >>"$1" 2>&1 &
  PID=$!
  WINDOW=$(wait_window "^Вербалон - версия 1.0b$")
  xdotool windowactivate --sync "$WINDOW" >/dev/null 2>&1 || true
  sleep 0.5
}

# dismiss_notice WINDOW: waits for a message box of the program besides its main window WINDOW
# (it has the same title), and presses its button.
dismiss_notice() {
  local id=""
  for _ in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name "^Вербалон - версия 1.0b$" 2>/dev/null | grep -vx "$1" | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "FAIL: no message box appeared"; return 1; }
  xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
  xdotool key Return
  sleep 0.5
}

# window_state WINDOW: "Normal" or "Iconic".
window_state() { xprop -id "$1" WM_STATE | sed -n 's/.*window state: //p'; }

# focused_text_after_typing MARKER: the text of the focused line edit after typing MARKER into
# it: select all, copy, read.
focused_text_after_typing() {
  xdotool type --delay 20 "$1"
  xdotool key ctrl+a ctrl+c
  sleep 0.3
  xclip -o -selection clipboard
}

# quit_program: the quit key; fails unless the program ends with exit code 0.
quit_program() {
  xdotool key ctrl+q
  local status=0
  wait "$PID" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAIL: the quit action ended the program with $status"
    return 1
  fi
}

# check_not_blank FILE: a screenshot that holds more than a few colours.
check_not_blank() {
  local colours
  colours=$(identify -format '%k' "$1")
  if [ "$colours" -lt 16 ]; then
    echo "FAIL: screenshot $1 is blank ($colours colours)"
    return 1
  fi
}

# enter_text WINDOW X Y TEXT: replaces the text of the edit box at a point of the window's
# client area by TEXT, pasted from the clipboard (typing non-Latin letters through a virtual
# keyboard loses some now and then).
enter_text() {
  printf '%s' "$4" | xclip -selection clipboard
  xdotool mousemove --window "$1" "$2" "$3" click 1
  xdotool key ctrl+a ctrl+v
  sleep 0.2
}

# wait_article WINDOW WORD: waits until the article view begins with WORD; fails after a few
# seconds, printing what it shows.
wait_article() {
  local text=""
  for _ in $(seq 1 8); do
    text=$(article_text "$1" 500 150 2>/dev/null || true)
    grep -q "^$2" <<<"$text" && return 0
    sleep 0.5
  done
  echo "FAIL: the article view does not show «$2»; it shows: $(head -3 <<<"$text")"
  return 1
}

# article_text WINDOW X Y: the article view's text, through the clipboard: a click into the view
# at a point of the window's client area, select all, copy, read.
article_text() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.2
  xdotool key ctrl+a ctrl+c
  sleep 0.3
  xclip -o -selection clipboard
}
