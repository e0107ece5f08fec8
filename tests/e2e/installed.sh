#!/usr/bin/env bash
# The program as a system-wide installation: installed into a prefix that is then made
# read-only, run with a fresh home folder. The window comes up, a sample dictionary installs
# from the installed data folder, the index and the history land in the user's own data folder,
# and nothing under the prefix changes.
source "$(dirname "$0")/e2e_common.sh"

PREFIX=$APP/prefix
export HOME=$APP/home
unset XDG_DATA_HOME
export XDG_DATA_DIRS=$PREFIX/share
mkdir -p "$HOME"
cmake --install "$BUILD_DIR" --prefix "$PREFIX" >/dev/null
chmod -R a-w "$PREFIX"
start_window_manager
trap 'kill $WM 2>/dev/null || true; chmod -R u+w "$APP"; rm -rf "$APP"' EXIT
fingerprint() { (cd "$PREFIX" && find . -type f -exec sha256sum {} + | sort); }
before=$(fingerprint)

user=$HOME/.local/share/verbalon
"$PREFIX/bin/vrbx-tool" install tolk.brd >/dev/null 2>&1
[ -f "$user/vrbx.pde" ] || { echo "FAIL: no resource package in $user"; exit 1; }
"$PREFIX/bin/vrbx-tool" list | grep -q "tolk.brd" || { echo "FAIL: tolk.brd is not installed"; exit 1; }

"$PREFIX/bin/vrbx" >>"$ARTIFACTS/installed.log" 2>&1 &
PID=$!
WINDOW=$(wait_window "^Вербалон - версия 1.0b$")
xdotool windowactivate --sync "$WINDOW" >/dev/null 2>&1 || true
sleep 0.5
enter_text "$WINDOW" 60 45 "дом"
xdotool key Return
sleep 0.5
import -window root "$ARTIFACTS/installed.png"
check_not_blank "$ARTIFACTS/installed.png"
quit_program

# The stored history is Windows-1251: «дом» is E4 EE EC.
"$PREFIX/bin/vrbx-tool" cat "$user/vrbx.pde" history.dat | grep -q $'\xe4\xee\xec' ||
  { echo "FAIL: the history was not saved in $user"; exit 1; }
[ "$before" = "$(fingerprint)" ] || { echo "FAIL: files under the prefix changed"; exit 1; }
echo "OK: installed read-only, data in $user; screenshot $ARTIFACTS/installed.png"
