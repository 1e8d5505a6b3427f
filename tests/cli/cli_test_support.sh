# Sourced by the command-line test scripts, after they set `work` (their
# scratch folder): counting failures and running commands.
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { # check DESCRIPTION EXPECTED_STATUS COMMAND...
  local what=$1 expected=$2; shift 2
  "$@" >"$work/out" 2>"$work/err"; local status=$?
  [ "$status" -eq "$expected" ] || { fail "$what: exit $status, expected $expected"; cat "$work/err"; }
}
first_pixel() { # B G R bytes of a BMP's first stored pixel
  local offset; offset=$(od -An -tu4 -j10 -N4 "$1" | tr -d ' ')
  od -An -tx1 -j"${offset:-0}" -N3 "$1" | tr -d ' '
}
