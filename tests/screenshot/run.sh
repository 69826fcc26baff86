#!/usr/bin/env bash
# Starts the built program on the demo card under a real display server, presses READ, waits until a screenshot of
# the window passes the check (at most 10 s), then takes the window away and sees the program end.
#   x11      Xvfb; READ pressed with the mouse
#   wayland  a headless sway (as nobody when run as root: sway refuses root); the binary under another name, found
#            by its app id (the desktop file's name); READ pressed with a key. Skipped (77) without sway, grim, wtype.
#   run.sh PROGRAM CHECKER SAMPLE ARTIFACT.png [SCALE] [x11|wayland]
set -euo pipefail
program=$1 checker=$2 sample=$3 artifact=$4 scale=${5:-1} server=${6:-x11}
if [ "$server" = wayland ]; then
  for tool in sway swaymsg grim wtype; do
    command -v "$tool" >/dev/null || { echo "skipped: no $tool (scripts/install-deps installs sway, grim and wtype)"; exit 77; }
  done
fi
work=$(mktemp -d)
chmod 700 "$work"
pids=()
cleanup() {
  status=$?
  if [ "$status" -ne 0 ]; then
    for log in server program; do [ -s "$work/$log.log" ] && { echo "--- $log:"; tail -n 30 "$work/$log.log"; }; done
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# No desktop theme: the checker and the program use the same Qt palette.
start() {
  env -u XDG_CURRENT_DESKTOP XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORMTHEME= FELICA_READER="sim:$sample" "$@" \
    > "$work/program.log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
}
check() { XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORMTHEME= "$checker" "$artifact" "$scale"; }
shoot() {
  for _ in $(seq 100); do "$@" && check >/dev/null 2>&1 && break; sleep 0.1; done
  echo "screenshot: $artifact"
  check
}

if [ "$server" = x11 ]; then
  Xvfb -displayfd 3 -screen 0 1920x1440x24 -nolisten tcp 3>"$work/display" 2>"$work/server.log" &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")"
  start env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" "$program"
  window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Q\.A\.V\.O\. Card Vexter Voza$' | head -n 1)
  test -n "$window" || { echo "no window within 10 s"; exit 1; }
  # READ's centre, in device pixels: Left 8520 + 855/2, Top 7680 + 375/2 twips.
  x=$(awk -v s="$scale" 'BEGIN { printf "%d", int((8520 + 427) / 15 * s) }')
  y=$(awk -v s="$scale" 'BEGIN { printf "%d", int((7680 + 187) / 15 * s) }')
  xdotool mousemove --window "$window" "$x" "$y" click 1
  shoot import -window "$window" "$artifact"
  xdotool windowkill "$window"  # a program that still runs its event loop ends when the X server drops it
else
  as_compositor=()
  if [ "$(id -u)" -eq 0 ]; then chown nobody "$work"; as_compositor=(runuser -u nobody --); fi
  printf 'xwayland disable\noutput HEADLESS-1 mode %dx%d scale %s\ndefault_floating_border none\n' \
    $((1280 * scale)) $((1024 * scale)) "$scale" > "$work/config"  # 1280 x 1024 logical pixels
  env -i PATH="$PATH" HOME="$work" XDG_RUNTIME_DIR="$work" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
    WLR_RENDERER=pixman "${as_compositor[@]}" sway --config "$work/config" > "$work/server.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do ls "$work"/wayland-? "$work"/sway-ipc.* >/dev/null 2>&1 && break; sleep 0.1; done
  export XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY SWAYSOCK
  WAYLAND_DISPLAY=$(basename "$(ls "$work"/wayland-? | head -n 1)")
  SWAYSOCK=$(ls "$work"/sway-ipc.* | head -n 1)
  cp "$program" "$work/renamed-reader"
  start env -u DISPLAY QT_QPA_PLATFORM=wayland QT_WAYLAND_DISABLE_WINDOWDECORATION=1 "$work/renamed-reader"
  tree() { swaymsg -t get_tree -r | tr -d ' \n'; }
  for _ in $(seq 100); do tree | grep -q '"app_id":"qavo-card-reader"' && break; sleep 0.1; done
  tree | grep -q '"app_id":"qavo-card-reader"' || { echo "no window with app id qavo-card-reader within 10 s"; exit 1; }
  # A window of fixed size floats: in the corner, its size in logical pixels is the client area's.
  swaymsg -q '[app_id="qavo-card-reader"] move absolute position 0 0'
  size=$(tree | grep -o '"type":"floating_con".*' | grep -o '"window_rect":{[^}]*}' | head -n 1 |
    sed -E 's/.*"width":([0-9]+),"height":([0-9]+).*/\1x\2/')
  # READ holds the focus. The seat has a keyboard only while wtype brings its own, which the program must bind
  # before it hears a key: wtype waits a moment before it presses.
  wtype -s 300 -k space
  shoot grim -g "0,0 $size" "$artifact"
  swaymsg -q '[app_id="qavo-card-reader"] kill'
fi
for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program_pid" 2>/dev/null; then echo "the program did not end within 5 s of losing its window"; exit 1; fi
