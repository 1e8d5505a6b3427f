#!/bin/bash
# filter_cli.sh VELMORA_CLI WORKDIR: the filters as the command line offers them.
set -uo pipefail
cli=${1:?path to velmora-cli}
work=${2:?scratch folder}
source "$(dirname "$0")/../../cli/cli_test_support.sh"
check "--list" 0 "$cli" filter --list
cp "$work/out" "$work/list"
for name in soften gaussian-blur motion-blur radial-blur zoom-blur sharpen edge-enhancement edge-detection \
            custom-convolution remove-grey-levels brightness-contrast colour-balance hue-saturation desaturate invert; do
  grep -q "^$name " "$work/list" || fail "--list does not show $name"
  check "$name with defaults" 0 "$cli" filter "$name" new:12x9:336699 "$work/$name.bmp"
  check "$name as a step" 0 "$cli" apply new:12x9:336699 "$work/step-$name.bmp" "$name"
  cmp -s "$work/$name.bmp" "$work/step-$name.bmp" || fail "$name differs between filter and apply"
done
check "values" 0 "$cli" filter brightness-contrast contrast=0 brightness=7 new:4x4:808080 "$work/seven.bmp"
[ "$(first_pixel "$work/seven.bmp")" = "070707" ] || fail "brightness 7 at contrast 0 gave $(first_pixel "$work/seven.bmp")"
check "invert twice" 0 "$cli" apply new:5x5:102030 "$work/twice.bmp" invert invert
check "original" 0 "$cli" apply new:5x5:102030 "$work/original.bmp"
cmp -s "$work/twice.bmp" "$work/original.bmp" || fail "invert twice is not the original"
check "unknown filter" 1 "$cli" filter no-such-filter new:4x4 "$work/bad1.bmp"
check "unknown key" 1 "$cli" filter gaussian-blur radius=3 new:4x4 "$work/bad2.bmp"
check "out of range" 1 "$cli" filter gaussian-blur sigma=0.5 new:4x4 "$work/bad3.bmp"
grep -q "1..100" "$work/err" || fail "out-of-range message does not give the range"
check "not a number" 1 "$cli" filter zoom-blur speed=fast new:4x4 "$work/bad4.bmp"
check "bad kernel" 1 "$cli" filter custom-convolution size=3 kernel=1/2 new:4x4 "$work/bad5.bmp"
check "bad step value" 1 "$cli" apply new:4x4 "$work/bad6.bmp" "motion-blur:speed=1000"
check "missing arguments" 2 "$cli" filter invert
for n in 1 2 3 4 5 6; do [ ! -e "$work/bad$n.bmp" ] || fail "a refused filter wrote bad$n.bmp"; done
if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "filter cli: all checks passed"
