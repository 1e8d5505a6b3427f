#!/bin/bash
# cli_smoke.sh VELMORA_CLI WORKDIR: the command line's contract as a user meets it.
set -uo pipefail
cli=${1:?path to velmora-cli}
work=${2:?scratch folder}
rm -rf "$work" && mkdir -p "$work"
failures=0
check() { # check DESCRIPTION EXPECTED_STATUS COMMAND...
  local what=$1 expected=$2; shift 2
  "$@" >"$work/out" 2>"$work/err"; local status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL: $what: exit $status, expected $expected"; cat "$work/err"; failures=$((failures + 1))
  fi
}
check "--help" 0 "$cli" --help
grep -q "apply" "$work/out" || { echo "FAIL: --help does not list apply"; failures=$((failures + 1)); }
check "--version" 0 "$cli" --version
check "unknown command" 2 "$cli" frobnicate
grep -q "usage" "$work/err" || { echo "FAIL: unknown command prints no usage"; failures=$((failures + 1)); }
check "apply new image to bmp" 0 "$cli" apply new:640x480:ff8000 "$work/out.bmp"
# A BMP whose first pixel is B, G, R = 00 80 ff, wherever its header says the pixels start.
offset=$(od -An -tu4 -j10 -N4 "$work/out.bmp" | tr -d ' ')
[ "$(head -c 2 "$work/out.bmp")" = "BM" ] || { echo "FAIL: out.bmp is not a BMP"; failures=$((failures + 1)); }
[ "$(od -An -tx1 -j"${offset:-0}" -N3 "$work/out.bmp" | tr -d ' ')" = "0080ff" ] || { echo "FAIL: wrong pixel"; failures=$((failures + 1)); }
check "apply reads its own bmp" 0 "$cli" apply "$work/out.bmp" "$work/copy.bmp"
cmp -s "$work/out.bmp" "$work/copy.bmp" || { echo "FAIL: bmp round trip differs"; failures=$((failures + 1)); }
check "apply keeps layers in its own format" 0 "$cli" apply new:8x8:00ff00 "$work/layers.vlm"
check "apply reads its own format" 0 "$cli" apply "$work/layers.vlm" "$work/from-vlm.png"
check "zero size refused" 1 "$cli" apply new:0x10 "$work/zero.bmp"
check "hostile size refused" 1 "$cli" apply new:2147483647x2147483647 "$work/huge.bmp"
check "unknown step refused" 1 "$cli" apply new:4x4 "$work/x.bmp" no-such-step
check "missing input" 1 "$cli" apply "$work/none.bmp" "$work/x.bmp"
[ ! -e "$work/zero.bmp" ] && [ ! -e "$work/x.bmp" ] || { echo "FAIL: a failed apply left a file"; failures=$((failures + 1)); }
if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "cli smoke: all checks passed"
