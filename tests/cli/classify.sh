#!/usr/bin/env bash
# qgctl classify: a box with the first built-in profile over small messages
# (white sender, not addressed to the box, black Subject, a relayed message
# with and without a cached blocklist answer, a header-only staging file),
# text and JSON output, and a home folder left byte for byte as it was.
# Usage: classify.sh QGCTL TEST_DATA_DIR
set -u
qgctl=${1:?usage: classify.sh QGCTL TEST_DATA_DIR}
data=${2:?usage: classify.sh QGCTL TEST_DATA_DIR}
# shellcheck source=lib/common.sh source-path=SCRIPTDIR
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

mails="$data/classify"
expect 0 1 q box add me@example.net --pop3 pop.example.net --user me --password secret \
  --profile "Standart 1"
q list add addresses friend@example.org >/dev/null || fail "list add addresses"
q list add expressions "free money" --field Subject --black >/dev/null || fail "list add expressions"

# A header-only staging file of the relayed message: the body rule wants it whole.
line='0123456789ABCDEF 000001AE 0007 000001AE 00000000'
{ printf '%s\r\n' "$line"; sed '/^$/q' "$mails/relayed.eml"; } >"$work/00000001.hd"

snapshot() { (cd "$home" && find . -type f -print0 | sort -z | xargs -0 sha256sum; find . | sort); }
before=$(snapshot)

cd "$mails" || exit 1
expect 0 "friend.eml: 0000A002 Not spam, rule 0 (type 0)
not_to_me.eml: 0000E008 Spam, rule 4 (type 8)
free_money.eml: 00012048 Spam, rule 8 (type 6)
relayed.eml: 00004002 Not spam, default; some blocklist answers are not cached
$work/00000001.hd: 00000001 whole message needed, rule 12 (type 14); some blocklist answers are not cached" \
  q classify --box 1 friend.eml not_to_me.eml free_money.eml relayed.eml "$work/00000001.hd"

expect 0 '{"file": "friend.eml", "verdict": "0000A002", "class": "Not spam", "rule": 0, "ruleType": 0, "default": false, "score": 0, "blocklistUnanswered": false}
{"file": "relayed.eml", "verdict": "00004002", "class": "Not spam", "rule": null, "ruleType": null, "default": true, "score": 0, "blocklistUnanswered": true}' \
  q classify --box 1 --json friend.eml relayed.eml

[ "$(snapshot)" == "$before" ] || fail "classify changed the home folder:
$(diff <(echo "$before") <(snapshot))"

# A cached answer that lists the relay (192.0.2.10) decides by the first blocklist rule.
python3 - "$home" <<'PY'
import struct, sys
zone = b"zen.spamhaus.org"
total = sum((i + 1) * (c - 256 if c > 127 else c) for i, c in enumerate(zone))
zone_id = (total & 0xFFFF) | ((len(zone) + 1) & 0xFF) << 16 | (zone[0] & 0x7F) << 24
with open("%s/%08X.dbl" % (sys.argv[1], zone_id), "wb") as f:
    f.write(struct.pack("<6I", zone_id, 1, 732664, 0xC000020A, 732664, 0x80000000))
PY
expect 0 "relayed.eml: 00014048 Spam, rule 10 (type 16)" q classify --box 1 relayed.eml

# A file that cannot be read is reported in its line and in the exit status.
got=$(q classify --box 1 friend.eml missing.eml)
[ $? -eq 1 ] || fail "a missing file among several should give status 1"
[ "$got" == "friend.eml: 0000A002 Not spam, rule 0 (type 0)
missing.eml: cannot read missing.eml" ] || fail "a missing file: $got"

# Refusals.
expect 1 '' q classify --box 2 friend.eml
q classify friend.eml >/dev/null 2>&1
[ $? -eq 2 ] || fail "classify without --box should be a usage error"
q record set "$home/BOX_0001/box.log" 8 text "No such profile" || fail "record set"
expect 1 '' q classify --box 1 friend.eml

finish classify
