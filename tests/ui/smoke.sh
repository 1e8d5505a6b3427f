#!/bin/bash
# smoke.sh PROGRAM CLI OUTDIR: run under xvfb-run. Starts the editor, makes a
# new 640 x 480 image, zooms in twice and back to 100 %, shows the rulers,
# closes the image, hands a picture over from a second start, and closes the
# editor, keeping a screenshot of each step.
set -euo pipefail
program=${1:?path to velmora}
cli=${2:?path to velmora-cli}
out=${3:?folder for screenshots}
mkdir -p "$out"
home=$(mktemp -d)
export VELMORA_HOME=$home XDG_RUNTIME_DIR=$home
chmod 700 "$home"
# The paintbrush is the tool the editor comes back with.
printf '[last tool selected]\nid=7\n' >"$home/prefs.cfg"

"$program" & pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$home"' EXIT

wait_for() { timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -1; }
shot() { sleep 0.7; import -window root "$out/$1.png"; }
key() { xdotool windowfocus --sync "$1"; xdotool key --clearmodifiers "$2"; }
# pixel SHOT X Y: the screenshot's colour there, as ImageMagick names it.
pixel() { convert "$out/$1.png" -format "%[pixel:p{$2,$3}]" info:; }
expect_pixel() { # expect_pixel SHOT X Y COLOUR WHAT
  local got; got=$(pixel "$1" "$2" "$3")
  [ "$got" = "$4" ] || { echo "$5: pixel ($2,$3) of $1 is $got, expected $4"; exit 1; }
}

main=$(wait_for '^Quorantel Velmora$')
[ -n "$main" ] || { echo "main window did not appear"; exit 1; }
shot 1-start

key "$main" ctrl+n
dialog=$(wait_for '^New Image')
[ -n "$dialog" ] || { echo "New Image did not open"; exit 1; }
shot 2-new-image-dialog
key "$dialog" Return
shot 3-new-image
# The white image now fills the top-left of the workspace.
expect_pixel 3-new-image 300 250 "srgb(255,255,255)" "new image"

key "$main" ctrl+Up
key "$main" ctrl+Up
shot 4-zoomed
key "$main" F2
key "$main" ctrl+r
shot 5-rulers

key "$main" ctrl+w
shot 6-closed
expect_pixel 6-closed 300 250 "$(pixel 1-start 300 250)" "closing the image"

# A second start hands its file to the running editor and ends at once.
"$cli" apply new:64x48:ff0000 "$home/red.bmp"
timeout 10 "$program" "$home/red.bmp" || { echo "the second start did not end"; exit 1; }
shot 7-handed-over
red=$(convert "$out/7-handed-over.png" -fill black +opaque "srgb(255,0,0)" -fill white -opaque "srgb(255,0,0)" \
      -format "%[fx:mean*w*h]" info:)
[ "${red%.*}" -ge $((64 * 48)) ] || { echo "the handed-over picture is not shown ($red red pixels)"; exit 1; }

# Layers > New Layer... adds a layer through its dialog, Layers > Duplicate Layer copies it.
key "$main" alt+l
key "$main" n
layer_dialog=$(wait_for '^New Layer$')
[ -n "$layer_dialog" ] || { echo "New Layer did not open"; exit 1; }
shot 8-new-layer-dialog
key "$layer_dialog" Return
key "$main" alt+l
key "$main" Down
key "$main" Return
layers=$(wait_for '^Layers of red$')
[ -n "$layers" ] || { echo "the Layers palette does not show the image's layers"; exit 1; }
shot 9-layers

# The top row's visibility box, clicked twice: the row's picture changes, then comes back.
eval "$(xdotool getwindowgeometry --shell "$layers")"
box_area="20x20+$((X + 4))+$((Y + 93))"
differing() { # differing SHOT SHOT: how many pixels of the box differ
  convert "$out/$1.png" -crop "$box_area" +repage "$out/box-$1.png"
  convert "$out/$2.png" -crop "$box_area" +repage "$out/box-$2.png"
  compare -metric AE "$out/box-$1.png" "$out/box-$2.png" null: 2>&1 || true
}
xdotool mousemove $((X + 14)) $((Y + 103)) click 1
shot 9-hidden
[ "$(differing 9-layers 9-hidden)" != 0 ] || { echo "the visibility box did not change"; exit 1; }
xdotool mousemove $((X + 14)) $((Y + 103)) click 1
shot 9-shown
[ "$(differing 9-layers 9-shown)" = 0 ] || { echo "the visibility box did not come back"; exit 1; }

# Select All: the marching ants run round the picture's border.
key "$main" ctrl+a
shot 10-selected
red_pixels() {
  convert "$out/$1.png" -fill black +opaque "srgb(255,0,0)" -fill white -opaque "srgb(255,0,0)" \
    -format "%[fx:round(mean*w*h)]" info:
}
[ "$(red_pixels 10-selected)" -lt "$(red_pixels 9-layers)" ] || { echo "no marching ants round the selected picture"; exit 1; }
key "$main" ctrl+d
shot 11-deselected

# A paintbrush stroke across the picture (on the transparent top layer), then Undo.
red_box=$(convert "$out/11-deselected.png" -crop 1000x700+0+0 +repage -fill black +opaque "srgb(255,0,0)" \
          -fill white -opaque "srgb(255,0,0)" -trim -format "%w %h %X %Y" info:)
read -r red_w red_h red_x red_y <<<"$red_box"
stroke_y=$((red_y + red_h / 2))
xdotool mousemove $((red_x + 5)) $stroke_y mousedown 1
for step in 1 2 3 4 5; do xdotool mousemove $((red_x + 5 + step * (red_w - 10) / 5)) $stroke_y; sleep 0.05; done
xdotool mouseup 1
shot 12-painted
[ "$(red_pixels 12-painted)" -lt "$(red_pixels 11-deselected)" ] || { echo "the stroke painted nothing"; exit 1; }
key "$main" ctrl+z
shot 13-undone
[ "$(red_pixels 13-undone)" = "$(red_pixels 11-deselected)" ] || { echo "Undo did not take the stroke away"; exit 1; }

key "$main" ctrl+q
# The layered image was changed: the editor asks before dropping it.
question=$(wait_for '^Warning$')
[ -n "$question" ] || { echo "no question before closing a changed image"; exit 1; }
shot 12-save-question
key "$question" alt+n
for _ in $(seq 50); do
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
if kill -0 $pid 2>/dev/null; then echo "editor did not close on Ctrl+Q"; exit 1; fi
wait $pid
echo "screenshots in $out"
