#!/bin/bash
# tools_cli.sh VELMORA_CLI WORKDIR: painting strokes as `apply` steps.
set -uo pipefail
cli=${1:?path to velmora-cli}
work=${2:?scratch folder}
source "$(dirname "$0")/cli_test_support.sh"
# pixel FILE X Y: the blue, green, red bytes of a pixel of a bottom-up BMP.
pixel() {
  local offset width height bytes
  offset=$(od -An -tu4 -j10 -N4 "$1" | tr -d ' ')
  width=$(od -An -td4 -j18 -N4 "$1" | tr -d ' ')
  height=$(od -An -td4 -j22 -N4 "$1" | tr -d ' ')
  bytes=$(($(od -An -tu2 -j28 -N2 "$1" | tr -d ' ') / 8))
  local stride=$(((width * bytes + 3) / 4 * 4))
  od -An -tx1 -j$((offset + (height - 1 - $3) * stride + $2 * bytes)) -N3 "$1" | tr -d ' '
}

check "paintbrush stroke" 0 "$cli" apply new:64x32:ffffff "$work/brush.bmp" \
  "stroke:tool=7,points=8/16;56/16,size=9,colour=ff0000"
for x in 8 32 56; do
  [ "$(pixel "$work/brush.bmp" $x 16)" = "0000ff" ] || fail "paintbrush missed ($x, 16): $(pixel "$work/brush.bmp" $x 16)"
done
[ "$(pixel "$work/brush.bmp" 32 2)" = "ffffff" ] || fail "paintbrush reached (32, 2)"

check "half-opaque pencil line" 0 "$cli" apply new:16x16:ffffff "$work/pen.bmp" \
  "stroke:tool=9,points=2/5;12/5,opacity=50,antialias=0,colour=000000"
[ "$(pixel "$work/pen.bmp" 7 5)" = "808080" ] || fail "pencil pixel is $(pixel "$work/pen.bmp" 7 5), expected 808080"
[ "$(pixel "$work/pen.bmp" 7 6)" = "ffffff" ] || fail "pencil line is thicker than one pixel"

check "non-numeric size refused" 1 "$cli" apply new:8x8 "$work/bad.bmp" "stroke:tool=7,points=1/1,size=big"
check "tool without a stroke refused" 1 "$cli" apply new:8x8 "$work/bad.bmp" "stroke:tool=33,points=1/1"
[ ! -e "$work/bad.bmp" ] || fail "a refused stroke left a file"
if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "tools cli: all checks passed"
