#!/bin/bash
# layers_cli.sh VELMORA_CLI WORKDIR: layer and selection steps of `apply`.
set -uo pipefail
cli=${1:?path to velmora-cli}
work=${2:?scratch folder}
source "$(dirname "$0")/cli_test_support.sh"
expect_pixel() { # expect_pixel DESCRIPTION BGR STEP...
  local what=$1 bgr=$2; shift 2
  check "$what" 0 "$cli" apply new:4x4:808080 "$work/pixel.bmp" "$@"
  [ "$(first_pixel "$work/pixel.bmp")" = "$bgr" ] || fail "$what gave $(first_pixel "$work/pixel.bmp"), expected $bgr"
}
expect_pixel "a multiplied copy" 404040 duplicate-layer blend-mode:mode=1
expect_pixel "through the handler name" 404040 ToolbarButton9712Click blend-mode:mode=1
expect_pixel "a transparent copy" 808080 duplicate-layer blend-mode:mode=1 opacity:value=0
expect_pixel "a hidden copy" 808080 duplicate-layer blend-mode:mode=1 visibility:index=1,visible=0
expect_pixel "a deleted copy" 808080 duplicate-layer blend-mode:mode=1 delete-layer
expect_pixel "merged all" 404040 duplicate-layer blend-mode:mode=1 merge-all
expect_pixel "an empty new layer" 808080 new-layer:name=Sky new-layer-dialog:name=Top,opacity=40,blend=2
expect_pixel "a copy moved under its mask" 404040 duplicate-layer blend-mode:mode=1 create-mask disable-mask \
  remove-mask:apply=1
expect_pixel "nothing left selected" 808080 select-all inverse invert
expect_pixel "all selected" 7f7f7f select-all invert
expect_pixel "a transparent layer's selection" 808080 new-layer get-selection select-layer:index=0 invert
check "merge down refused" 1 "$cli" apply new:4x4 "$work/bad1.bmp" duplicate-layer blend-mode:mode=1 duplicate-layer merge-down
grep -qi "normal" "$work/err" || fail "the merge refusal does not explain itself: $(cat "$work/err")"
check "background not deleted" 1 "$cli" apply new:4x4 "$work/bad2.bmp" delete-layer
check "opacity out of range" 1 "$cli" apply new:4x4 "$work/bad3.bmp" duplicate-layer opacity:value=300
check "unknown key" 1 "$cli" apply new:4x4 "$work/bad4.bmp" duplicate-layer layer-options:colour=1
check "no saved selection" 1 "$cli" apply new:4x4 "$work/bad5.bmp" load-selection:index=1
for n in 1 2 3 4 5; do [ ! -e "$work/bad$n.bmp" ] || fail "a refused step wrote bad$n.bmp"; done
exit $((failures > 0))
