#!/usr/bin/env bash
# qgctl box add/list and profile list/reset/ensure-builtin on a fresh home.
# Usage: box_profile.sh QGCTL TEST_DATA_DIR
set -u
qgctl=${1:?usage: box_profile.sh QGCTL TEST_DATA_DIR}
# shellcheck source=lib/common.sh source-path=SCRIPTDIR
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

# get_fields FILE (FIELD TYPE VALUE)...: each field as record get prints it.
get_fields() {
  local file=$1 field type value
  shift
  while [ $# -gt 0 ]; do
    field=$1 type=$2 value=$3
    shift 3
    expect 0 "{\"number\": $field, \"type\": \"$type\", \"value\": $value}" q record get "$file" "$field"
  done
}

# nth_line N COMMAND...: line N of the command's output.
nth_line() {
  local n=$1
  shift
  "$@" | sed -n "${n}p"
}

no_slots='"slots": {"hd": 0, "hdr": 0, "hdp": 0, "hdd": 0, "hdz": 0, "hd~": 0, "hdt": 0}'
builtins='{"file": "f_0001.log", "name": "Standart 1", "rules": 13}
{"file": "f_0002.log", "name": "Standart 2", "rules": 7}
{"file": "f_0003.log", "name": "Standart 3", "rules": 7}'

# Reading commands do not create a home that is not there.
expect 1 '' q box list
expect 1 '' q profile list
[ -e "$home" ] && fail "a reading command created the home folder"

# The first box: the built-in profiles come with it, the given server values
# replace the placeholders, box.log is for its owner only.
expect 0 1 q box add ivan@example.org --pop3 pop.example.net:995 --user ivan.p --password 'пароль1'
expect 0 "$builtins" q profile list
box1='{"number": 1, "address": "ivan@example.org", "valid": true, "problem": null, "in": 0, "out": 0, '$no_slots'}'
expect 0 "$box1" q box list
b="$home/BOX_0001/box.log"
[ "$(stat -c %a "$b")" == 600 ] || fail "box.log has mode $(stat -c %a "$b")"
get_fields "$b" 3 text '"pop.example.net"' 4 short 995 5 text '"ivan.p"' 6 text '"пароль1"' \
  7 short 30 8 text '"Standart 1"' 12 flag true 15 text '"ivan@example.org"'

# The optional values, and a profile named in another letter case.
expect 0 2 q box add petr@example.org --pop3 mail.example.org --user petr --password xyz \
  --profile 'standart 3' --interval 0 --no-check-at-start
b="$home/BOX_0002/box.log"
get_fields "$b" 4 short 110 7 short 0 8 text '"standart 3"' 12 flag false

# Refused with status 1 (and no new box): a duplicate in any letter case, an
# invalid address, a profile that does not exist.
for address in ivan@example.org ' IVAN@Example.ORG ' x@example.org ivan example.org '@example.org' \
  'iv an@example.org' 'ivan@123.45' 'ivan@exa_mple'; do
  expect 1 '' q box add "$address" --pop3 p --user u --password secret
done
expect 1 '' q box add new@example.org --pop3 p --user u --password secret --profile Nope
# Usage errors, status 2.
for args in "--pop3 p:0" "--pop3 p:65536" "--pop3 p:x" "--pop3 :110" "--pop3 p:" \
  "--pop3 p --interval 1441" "--pop3 p --interval -1" "--pop3 p --interval 5m"; do
  # shellcheck disable=SC2086
  expect 2 '' q box add new@example.org $args --user u --password secret
done
expect 2 '' q box add new@example.org --pop3 p --user u --password ab
expect 2 '' q box add new@example.org --pop3 p --user u --password "$(printf 'p%.0s' {1..33})"
q box add new@example.org --user u --password secret 2>/dev/null
[ $? -eq 2 ] || fail "box add without --pop3 should be a usage error"
[ "$(ls -d "$home"/BOX_* | wc -l)" -eq 2 ] || fail "a refused box add left a box folder"

# box list: why a box is not valid, and the mail it holds by place and state.
q record set "$home/BOX_0002/box.log" 6 text ab
mkdir "$home/BOX_0003"
touch "$home/BOX_0001/IN/00000000.msg" "$home/BOX_0001/IN/00000001.msg" \
  "$home/BOX_0001/OUT/00000003.msg" "$home/BOX_0001/IN/notes.txt" \
  "$home/BOX_0001/TMP/00000001.hd" "$home/BOX_0001/TMP/00000002.hd" \
  "$home/BOX_0001/TMP/00000003.hd~" "$home/BOX_0001/TMP/00000004.hdt" \
  "$home/BOX_0001/TMP/tmphead.tmp" "$home/BOX_0001/TMP/1.hd"
want='{"number": 1, "address": "ivan@example.org", "valid": true, "problem": null, "in": 2, "out": 1, "slots": {"hd": 2, "hdr": 0, "hdp": 0, "hdd": 0, "hdz": 0, "hd~": 1, "hdt": 1}}
{"number": 2, "address": "petr@example.org", "valid": false, "problem": "password shorter than 3 characters", "in": 0, "out": 0, '$no_slots'}
{"number": 3, "address": "", "valid": false, "problem": "box.log missing or damaged", "in": 0, "out": 0, '$no_slots'}'
expect 0 "$want" q box list
# Box 3 holds no box.log, so its number is free again.
expect 0 3 q box add sidor@example.org --pop3 p --user u --password secret
q record set "$home/BOX_0003/box.log" 8 text Gone
expect 0 '{"number": 3, "address": "sidor@example.org", "valid": false, "problem": "profile not found", "in": 0, "out": 0, '"$no_slots}" \
  nth_line 3 q box list

# profile reset of a built-in name gives the built-in profile back, byte for
# byte, after its rules were cut off.
before=$(cksum <"$home/f_0001.log")
q record set "$home/f_0001.log" 0 byte 255
expect 0 '{"file": "f_0001.log", "name": "Standart 1", "rules": 0}' nth_line 1 q profile list
expect 0 '{"file": "f_0001.log", "name": "Standart 1", "rules": 13}' q profile reset 'Standart 1'
[ "$(cksum <"$home/f_0001.log")" == "$before" ] || fail "reset Standart 1 differs from the built-in"

# Another name: created under the next free number, then reset in place
# (found in any letter case, keeping its stored name and its file).
expect 0 '{"file": "f_0004.log", "name": "Мой профиль", "rules": 0}' q profile reset 'Мой профиль'
q record set "$home/f_0004.log" 0 byte 0
expect 0 '{"file": "f_0004.log", "name": "Мой профиль", "rules": 0}' q profile reset 'МОЙ ПРОФИЛЬ'
expect 2 '' q profile reset ''

# ensure-builtin creates only what is missing, under the smallest free number.
expect 0 0 q profile ensure-builtin
rm "$home/f_0002.log"
q record set "$home/f_0003.log" 999 text 'standart 3'
expect 0 2 q profile ensure-builtin
expect 0 '{"file": "f_0001.log", "name": "Standart 1", "rules": 13}
{"file": "f_0002.log", "name": "Standart 2", "rules": 7}
{"file": "f_0003.log", "name": "standart 3", "rules": 7}
{"file": "f_0004.log", "name": "Мой профиль", "rules": 0}
{"file": "f_0005.log", "name": "Standart 3", "rules": 7}' q profile list

"$qgctl" --help | grep -q '^  box' || fail "--help does not list box"
"$qgctl" --help | grep -q '^  profile' || fail "--help does not list profile"
finish box_profile
