#!/usr/bin/env bash
# The window under a headless Wayland compositor (sway): started as a binary of
# another name, found by its app id, READ pressed by a key, a screenshot of it
# checked until it passes (at most 10 s), then closed, and the program ends.
# sway refuses root: as root it runs as nobody. Skipped (77) without sway, grim, wtype.
#   run-wayland.sh PROGRAM CHECKER SAMPLE ARTIFACT.png SCALE
set -euo pipefail
program=$1 checker=$2 sample=$3 artifact=$4 scale=$5
for tool in sway swaymsg grim wtype; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool (scripts/install-deps installs sway, grim and wtype)"; exit 77; }
done
work=$(mktemp -d)
chmod 700 "$work"
as_compositor=()
if [ "$(id -u)" -eq 0 ]; then chown nobody "$work"; as_compositor=(runuser -u nobody --); fi
pids=()
cleanup() {
  status=$?
  if [ "$status" -ne 0 ]; then
    for log in sway program; do [ -s "$work/$log.log" ] && { echo "--- $log:"; tail -n 20 "$work/$log.log"; }; done
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mode=$((1280 * scale))x$((1024 * scale))  # 1280 x 1024 logical pixels at either scale
printf 'xwayland disable\noutput HEADLESS-1 mode %s scale %s\ndefault_floating_border none\n' "$mode" "$scale" \
  > "$work/config"
export XDG_RUNTIME_DIR=$work
env -i PATH="$PATH" HOME="$work" XDG_RUNTIME_DIR="$work" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
  WLR_RENDERER=pixman "${as_compositor[@]}" sway --config "$work/config" > "$work/sway.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do ls "$work"/wayland-* "$work"/sway-ipc.* >/dev/null 2>&1 && break; sleep 0.1; done
export WAYLAND_DISPLAY SWAYSOCK
WAYLAND_DISPLAY=$(basename "$(ls "$work"/wayland-* | grep -v '\.lock$' | head -n 1)")
SWAYSOCK=$(ls "$work"/sway-ipc.* | head -n 1)

# Under another name: the app id comes from the desktop file's name, not the binary's.
cp "$program" "$work/renamed-reader"
env -u DISPLAY -u XDG_CURRENT_DESKTOP QT_QPA_PLATFORM=wayland QT_QPA_PLATFORMTHEME= QT_WAYLAND_DISABLE_WINDOWDECORATION=1 \
  FELICA_READER="sim:$sample" "$work/renamed-reader" > "$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
tree() { swaymsg -t get_tree -r | tr -d ' \n'; }
for _ in $(seq 100); do tree | grep -q '"app_id":"qavo-card-reader"' && break; sleep 0.1; done
tree | grep -q '"app_id":"qavo-card-reader"' || { echo "no window with app id qavo-card-reader within 10 s"; exit 1; }
# A window of fixed size floats: moved to the corner, its size in logical pixels is the client area's.
swaymsg -q '[app_id="qavo-card-reader"] move absolute position 0 0'
size=$(tree | grep -o '"type":"floating_con".*' | grep -o '"window_rect":{[^}]*}' | head -n 1 |
  sed -E 's/.*"width":([0-9]+),"height":([0-9]+).*/\1x\2/')
geometry="0,0 $size"

# READ holds the focus. The seat has a keyboard only while wtype brings its own, which the program must bind before
# it hears a key: wtype waits a moment before it presses.
wtype -s 300 -k space
check() { QT_QPA_PLATFORMTHEME= "$checker" "$artifact" "$scale"; }
for _ in $(seq 100); do
  grim -g "$geometry" "$artifact" && check >/dev/null 2>&1 && break
  sleep 0.1
done
echo "screenshot: $artifact"
check

swaymsg -q '[app_id="qavo-card-reader"] kill'
for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program_pid" 2>/dev/null; then echo "the program did not end within 5 s of its window's closing"; exit 1; fi
