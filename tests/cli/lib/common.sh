# What every qgctl command-line test needs; sourced, never run as a test (the
# test list takes only tests/cli/*.sh). Set qgctl before calling q or expect.
# Gives: work, a temporary folder removed on exit; home, "$work/home" (not
# created); q COMMAND..., qgctl on that home; fail, expect and finish.

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home="$work/home"
q() { "$qgctl" --home "$home" "$@"; }
failed=0

fail() {
  echo "FAIL: $*"
  failed=1
}

# expect STATUS WANTED_STDOUT COMMAND...: exit status and exact standard output;
# a refusal explains itself in one line on stderr.
expect() {
  local want_status=$1 want_out=$2
  shift 2
  local got_out got_status
  got_out=$("$@" 2>"$work/stderr")
  got_status=$?
  [ "$got_status" -eq "$want_status" ] || fail "$* exited $got_status, want $want_status"
  [ "$got_out" == "$want_out" ] || fail "$* printed:
$got_out
want:
$want_out"
  if [ "$want_status" -ne 0 ] && [ "$(wc -l <"$work/stderr")" -ne 1 ]; then
    fail "$* should explain itself in one line on stderr, gave: $(cat "$work/stderr")"
  fi
}

# finish NAME: says "NAME: ok" when nothing failed; exits 1 if anything did.
finish() {
  [ $failed -eq 0 ] && echo "$1: ok"
  exit $failed
}
