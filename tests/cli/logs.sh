#!/usr/bin/env bash
# qgctl history dump and protocol dump: the golden log files the engine's
# writers produce (tests/data/log) against golden JSON, a hand-made record
# with empty stamps and awkward texts, torn and missing files, and the
# oldest-first dump of every file in a home.
# Usage: logs.sh QGCTL TEST_DATA_DIR
set -u
qgctl=${1:?usage: logs.sh QGCTL TEST_DATA_DIR}
data=${2:?usage: logs.sh QGCTL TEST_DATA_DIR}
# shellcheck source=lib/common.sh source-path=SCRIPTDIR
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
mkdir "$home"

# A 75-byte text field: the bytes printf makes of $1, then zeros.
text_field() {
  printf "$1" >"$work/field"
  cat "$work/field"
  head -c $((75 - $(wc -c <"$work/field"))) /dev/zero
}

history_golden=$(cat "$data/log/history_one_message.jsonl")
protocol_golden=$(cat "$data/log/protocol_two_events.jsonl")
expect 0 "$history_golden" q history dump "$data/log/history_one_message.hst"
expect 0 "$protocol_golden" q protocol dump "$data/log/protocol_two_events.prt"

# No message date and no first-seen time (null texts), a used event slot
# behind an empty one (not an event), a first-seen time with milliseconds,
# and texts that need escaping: quote, backslash, a control byte, the one
# byte Windows-1251 leaves undefined, and Cyrillic.
{
  printf '\x01\x00\x00\x00'
  head -c 8 /dev/zero              # message date: none
  printf '\x07\x00\x00\x00'        # size 7
  head -c 9 /dev/zero              # event slot 0: empty
  printf '\x03\x80\x7d\xc1\x5a\xf5\x22\xe7\x00'
  head -c 36 /dev/zero             # event slots 2 to 5
  head -c 8 /dev/zero              # first seen: none
  text_field '"Q" \\ x'
  text_field 'a\x01b'
  text_field '\x98'
  text_field '\xcf\xf0\xe8\xe2\xe5\xf2'
} >"$work/odd.hst"
[ "$(wc -c <"$work/odd.hst")" -eq 378 ] || fail "odd.hst is $(wc -c <"$work/odd.hst") bytes"
expect 0 '{"file": "odd.hst", "messageDate": 0, "messageDateText": null, "size": 7, "events": [], "firstSeen": 0, "firstSeenText": null, "displayName": "\"Q\" \\ x", "senderAddress": "a\u0001b", "recipient": "�", "subject": "Привет"}' \
  q history dump "$work/odd.hst"
{
  printf '\x01\x00\x00\x00\x80\x7d\xc1\x5a\xf5\x22\xe7\x00\x0b'
  text_field ''
  text_field ''
} >"$work/odd.prt"
expect 0 '{"file": "odd.prt", "time": 65059156805123456, "timeText": "2024-03-10 12:00:05.123", "type": 11, "first": "", "second": ""}' \
  q protocol dump "$work/odd.prt"

# A torn append (the count says 2, half of the second record is there): the
# whole record only. A missing file: status 1 and nothing printed.
head -c $((4 + 159 + 80)) "$data/log/protocol_two_events.prt" >"$work/torn.prt"
expect 0 "$(head -1 "$data/log/protocol_two_events.jsonl" | sed 's/protocol_two_events/torn/')" \
  q protocol dump "$work/torn.prt"
expect 1 '' q protocol dump "$work/missing.prt"
expect 1 '' q history dump "$work"

# Without FILE: nothing yet, then every file of the kind in the home, oldest
# (lowest period) first, whatever the digits' case or count; other names are
# left alone and so is the other kind.
expect 0 '' q history dump
expect 0 '' q protocol dump
cp "$data/log/protocol_two_events.prt" "$home/40a16630.prt"
cp "$work/odd.prt" "$home/1.prt"
cp "$data/log/protocol_two_events.prt" "$home/notes.prt"
cp "$data/log/history_one_message.hst" "$home/40A16630.hst"
expect 0 "$(sed 's/odd.prt/1.prt/' <<<"$(q protocol dump "$work/odd.prt")")
$(sed 's/protocol_two_events.prt/40a16630.prt/' <<<"$protocol_golden")" q protocol dump
expect 0 "$(sed 's/history_one_message.hst/40A16630.hst/' <<<"$history_golden")" q history dump
# A reading command needs an existing home.
expect 1 '' "$qgctl" --home "$work/none" protocol dump
[ -e "$work/none" ] && fail "protocol dump created the home folder"

finish logs
