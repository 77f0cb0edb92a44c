#!/usr/bin/env bash
# End-to-end test of the real executable in a real X server, driven by real mouse clicks and
# key presses: connect to a simulated analyzer, download, switch languages, save through the
# real save dialog, and provoke an error box.
#   real_window.sh PROGRAM SIMULATOR
set -euo pipefail
program=$1
simulator=$2
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  if [ -n "${DISPLAY:-}" ]; then import -window root "$work/fail.png" 2>/dev/null && cp "$work/fail.png" /tmp/real_window-fail.png && echo "screen saved in /tmp/real_window-fail.png" >&2; fi
  [ -f "$work/sim.log" ] && sed 's/^/sim: /' "$work/sim.log" >&2
  [ -f "$work/app.log" ] && sed 's/^/app: /' "$work/app.log" >&2
  exit 1
}

# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
  local seconds=$1; shift
  local tries=$((seconds * 20))
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}

# Prints the first visible window that `xdotool search ARGS` finds within $1 seconds.
find_window() {
  local seconds=$1; shift
  local found
  for _ in $(seq $((seconds * 20))); do
    found=$(xdotool search --onlyvisible "$@" 2>/dev/null | grep -vx "${window:-none}" | head -n1) || true
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.05
  done
  return 1
}

# An X server of our own; -noreset keeps it from resetting between clients.
exec 5>"$work/display"
Xvfb -noreset -nolisten tcp -screen 0 1280x1024x24 -displayfd 5 2>"$work/xvfb.log" &
pids+=($!)
wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME="$work/config"

"$simulator" --ports "$XDG_CONFIG_HOME/battery-analyzer/ports" --com 1 \
  --readings "$here/readings.txt" >"$work/pty" 2>"$work/sim.log" &
pids+=($!)
wait_for 10 test -s "$work/pty" || fail "the simulator did not start"

# Under AddressSanitizer: libxkbcommon-x11 hands strndup a bounded string without a final
# zero, which strict string checks take for an overflow.
ASAN_OPTIONS="${ASAN_OPTIONS:-}:strict_string_checks=0" \
  "$program" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
window=$(find_window 10 --name '^Battery Analyzer') || fail "the main window did not appear"
xdotool windowfocus --sync "$window" || true
eval "$(xdotool getwindowgeometry --shell "$window")"
# Without a window manager the X window is the client area; the menu bar sits above the
# 434 pixels of the window's own layout.
menu=$((HEIGHT - 434))
[ "$menu" -ge 10 ] && [ "$menu" -le 60 ] || fail "unexpected window height $HEIGHT"

# Clicks the middle of a control given by its place in the window's layout.
click() { # left top width height
  xdotool mousemove --window "$window" $(($1 + $3 / 2)) $((menu + $2 + $4 / 2)) click 1
  sleep 0.2
}
connect_button() { click 392 88 105 33; }
disconnect_button() { click 392 120 105 33; }
download_button() { click 392 160 105 49; }
save_button() { click 392 264 105 33; }
exit_button() { click 392 368 105 33; }
# Everything above the status line, whose clock changes every second.
snapshot() { import -window "$window" -crop "${WIDTH}x$((menu + 400))+0+0" rgb:- | md5sum; }

connect_button
wait_for 5 grep -q 'S E' "$work/sim.log" || fail "Connect did not send S E"
download_button
wait_for 5 grep -q 'S K' "$work/sim.log" || fail "Download Data did not send S K"
sleep 1 # five records at 2400 baud take about 0.13 s

english=$(snapshot)
xdotool key --window "$window" ctrl+z
sleep 0.5
chinese=$(snapshot)
xdotool key --window "$window" ctrl+e
sleep 0.5
back=$(snapshot)
[ "$chinese" != "$english" ] || fail "Ctrl+Z did not change the captions"
[ "$back" = "$english" ] || fail "Ctrl+E did not restore the English window"

# Save through the real save dialog to a new path.
saved="$work/readings of today.txt"
save_button
dialog=$(find_window 5 --pid "$app") || fail "the save dialog did not appear"
xdotool windowfocus --sync "$dialog" || true
sleep 0.3
xdotool key --window "$dialog" ctrl+a
xdotool type --window "$dialog" --delay 5 "$saved"
# Return through the keyboard, not sent to the dialog's window: Qt destroys a dialog's X
# window as the key press closes it, and a key release sent there then fails.
xdotool key Return
wait_for 5 test -f "$saved" || fail "the save dialog wrote no file"

# What the simulator sent, decoded by hand for the RM-40A model: "~" stands for the sign
# Ω, the GBK bytes A6 B8.
expected="$work/expected.txt"
{
  printf ' Group 7       056.7m~     4.123V\r\n'
  printf ' Group 12       123.45m~     12.34V\r\n'
  printf ' Group 1       0.300 ~     3.700V\r\n'
  printf ' Group 2       00.05 ~     12.345V\r\n'
  printf ' Group 18       655.35 ~     00.00V\r\n'
} | sed 's/~/\xA6\xB8/g' >"$expected"
cmp "$expected" "$saved" || fail "the saved file differs from the readings sent"

# A COM field that is not a number gives the error box titled with the program's name.
disconnect_button
wait_for 5 grep -q 'S T' "$work/sim.log" || fail "Disconnect did not send S T"
click 88 40 49 27 # ComboBox1, inside GroupBox1 at 8, 8
xdotool key --window "$window" ctrl+a
xdotool type --window "$window" --delay 5 abc
connect_button
box=$(find_window 5 --name '^battery-analyzer$') || fail "no error box titled battery-analyzer"
xdotool windowfocus --sync "$box" || true
xdotool key Return
wait_for 5 sh -c "! xdotool search --onlyvisible --name '^battery-analyzer\$'" || fail "the error box did not close"

exit_button
wait_for 5 sh -c "! kill -0 $app" || fail "Exit did not end the program"
wait "$app" || fail "the program ended with an error"
echo "1 passed, 0 failed"
