#!/bin/bash
# formats_cli.sh VELMORA_CLI WORKDIR DATADIR: convert and info as a user runs them.
set -uo pipefail
cli=${1:?path to velmora-cli}
work=${2:?scratch folder}
data=${3:?test data folder}
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
run() { # run EXPECTED_STATUS COMMAND...
  local expected=$1; shift
  "$@" >"$work/out" 2>"$work/err"; local status=$?
  [ "$status" -eq "$expected" ] || { fail "$* exited $status, expected $expected"; cat "$work/err"; }
}
psd=$data/formats/psd_from_imagemagick.psd
# Layers survive psd -> vlm -> psd; info lists them.
run 0 "$cli" convert "$psd" "$work/a.vlm"
run 0 "$cli" convert "$work/a.vlm" "$work/b.psd"
run 0 "$cli" info "$work/b.psd"
grep -q '^layers: 3$' "$work/out" || fail "info does not count 3 layers"
grep -q '"green" 2x2 at 4,2' "$work/out" || fail "info lost the green layer's place"
# Every flat writer, then every flat reader on what it wrote.
for ext in jpg png gif bmp tif pcx tga; do
  run 0 "$cli" convert "$work/b.psd" "$work/flat.$ext"
  run 0 "$cli" info "$work/flat.$ext"
  grep -q '^size: 6 x 4$' "$work/out" || fail "flat.$ext does not read back as 6 x 4"
done
run 0 "$cli" convert "$work/flat.png" "$work/q.jpg" --quality=40 --progressive
run 0 "$cli" convert "$work/flat.png" "$work/r.gif" --gif-colours=2 --dither=1
run 0 "$cli" convert "$work/flat.png" "$work/s.png" --png=reduce --dither=6
# Refusals leave nothing behind.
run 1 "$cli" convert "$work/flat.png" "$work/t.jpg" --quality=101
run 1 "$cli" convert "$work/flat.png" "$work/t.jpg" --sharpen
run 1 "$cli" convert "$work/flat.png" "$work/t.xyz"
run 1 "$cli" convert "$work/missing.png" "$work/t.png"
printf 'not a picture' >"$work/bad.png"
run 1 "$cli" convert "$work/bad.png" "$work/t.png"
grep -q '@ch_could_not_parse_the_file' "$work/err" || fail "a bad PNG is not reported as unparsable"
ls "$work"/t.* >/dev/null 2>&1 && fail "a failed convert left a file"
if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "formats cli: all checks passed"
