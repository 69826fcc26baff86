#!/usr/bin/env bash
# Starts the built program in a real X server (Xvfb) on the demo card,
# presses READ with the mouse, waits until a screenshot of the window passes
# the check (at most 10 s), then takes the window away and sees the program end.
#   run.sh PROGRAM CHECKER SAMPLE ARTIFACT.png [SCALE]
set -euo pipefail
program=$1 checker=$2 sample=$3 artifact=$4 scale=${5:-1}
work=$(mktemp -d)
pids=()
cleanup() {
  status=$?
  if [ "$status" -ne 0 ] && [ -s "$work/program.log" ]; then
    echo "--- program's standard error:"; tail -n 40 "$work/program.log"
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1920x1440x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# No desktop theme: the checker and the program use the same Qt palette.
env -u XDG_CURRENT_DESKTOP XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= QT_SCALE_FACTOR="$scale" \
  FELICA_READER="sim:$sample" "$program" 2>"$work/program.log" &
program_pid=$!
pids+=($program_pid)
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Q\.A\.V\.O\. Card Vexter Voza$' | head -n 1)
test -n "$window" || { echo "no window within 10 s"; exit 1; }

# READ's centre, in device pixels: Left 8520 + 855/2, Top 7680 + 375/2 twips.
x=$(awk -v s="$scale" 'BEGIN { printf "%d", int((8520 + 427) / 15 * s) }')
y=$(awk -v s="$scale" 'BEGIN { printf "%d", int((7680 + 187) / 15 * s) }')
xdotool mousemove --window "$window" "$x" "$y" click 1
check() { XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORMTHEME= "$checker" "$artifact" "$scale"; }
for _ in $(seq 100); do
  import -window "$window" "$artifact" && check >/dev/null 2>&1 && break
  sleep 0.1
done
echo "screenshot: $artifact"
check

# A program that still runs its event loop ends when the X server drops it.
xdotool windowkill "$window"
for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program_pid" 2>/dev/null; then echo "the program did not end within 5 s of losing its window"; exit 1; fi
