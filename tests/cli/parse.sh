#!/usr/bin/env bash
# qgctl parse: a raw message against its golden parse, the same message as a
# staging file, the local marks of a box's mail exchanges and the countries
# of the home's IP-country list.
# Usage: parse.sh QGCTL TEST_DATA_DIR
set -u
qgctl=${1:?usage: parse.sh QGCTL TEST_DATA_DIR}
data=${2:?usage: parse.sh QGCTL TEST_DATA_DIR}
# shellcheck source=lib/common.sh source-path=SCRIPTDIR
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

message="$data/parse/received.eml"
golden=$(cat "$data/parse/received.json")
# No home folder is needed: without one there are just no countries.
expect 0 "$golden" env -u QUILLGATE_HOME HOME="$work/nowhere" XDG_DATA_HOME= "$qgctl" parse "$message"

# A staging file keeps its own record line; the rest parses the same.
line='0123456789ABCDEF 000001AE 0007 000001AE 00000000'
{ printf '%s\r\n' "$line"; cat "$message"; } >"$work/00000001.hd"
got=$("$qgctl" parse "$work/00000001.hd")
[ "${got/$line/0000000000000000 000001AE 0000 000001AE 80000000}" == "$golden" ] ||
  fail "a staging file parses differently from its raw message: $got"

# The box's mail exchange makes the second hop local; the first hop gets its country.
expect 0 1 q box add user@example.net --pop3 pop.example.net --user user --password secret
box="$home/BOX_0001/box.log"
for field in "100 byte 1" "101 text USER@EXAMPLE.NET" "200 byte 1" "201 text MX.EXAMPLE.DE"; do
  set -- $field
  q record set "$box" "$1" "$2" "$3" || fail "record set $field"
done
expect 0 '{"first": "10.0.0.0", "last": "10.255.255.255", "code": "RU"}' \
  q list add ip-countries 10.0.0.0 10.255.255.255 ru
hops=$(q parse "$message" --box 1 | python3 -c '
import json, sys
for hop in json.load(sys.stdin)["hops"]:
    print(hop["fromName"], hop["country"] or "-", hop["local"])')
[ "$hops" == "HOSTA RU False
MAIL.EXAMPLE.DE - True" ] || fail "local marks and countries: $hops"

# Several files: one object per line, each led by its file; a failure is
# reported in its line and in the exit status.
got=$(q parse "$message" "$work/missing.eml" | python3 -c '
import json, sys
for line in sys.stdin:
    item = json.loads(line)
    print(item["file"].rsplit("/", 1)[-1], item.get("sender", item.get("error", "")))')
[ "$got" == "received.eml IVAN@EXAMPLE.RU
missing.eml cannot read $work/missing.eml" ] || fail "several files: $got"
q parse "$message" "$work/missing.eml" >/dev/null
[ $? -eq 1 ] || fail "a failing file among several should give status 1"

# Refusals.
expect 1 '' q parse "$work/missing.eml"
: >"$work/empty.eml"
expect 1 '' q parse "$work/empty.eml"
expect 1 '' q parse "$message" --box 2
q parse "$message" --box 0 >/dev/null 2>&1
[ $? -eq 2 ] || fail "--box 0 should be a usage error"

finish parse
