#!/usr/bin/env bash
# qgctl record dump/get/set against a golden file and files it writes itself.
# Usage: record.sh QGCTL TEST_DATA_DIR
set -u
qgctl=${1:?usage: record.sh QGCTL TEST_DATA_DIR}
data=${2:?usage: record.sh QGCTL TEST_DATA_DIR}
# shellcheck source=lib/common.sh source-path=SCRIPTDIR
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

cp "$data/record/set.log" "$work/set.log"
expect 0 '{"number": 2, "type": "text", "value": "/home/user/store"}
{"number": 7, "type": "flag", "value": true}
{"number": 10000, "type": "byte", "value": 200}
{"number": 5, "type": "short", "value": -1234}
{"number": 12, "type": "int", "value": -2000000000}
{"number": 3, "type": "int64", "value": 1311768467463790320}
{"number": 40, "type": "text", "value": "Привет"}' "$qgctl" record dump "$work/set.log"
expect 0 '{"number": 40, "type": "text", "value": "Привет"}' "$qgctl" record get "$work/set.log" 40
expect 1 '' "$qgctl" record get "$work/set.log" 41

# A copy under another name, a wrong key, a damaged or missing file: no garbage.
cp "$work/set.log" "$work/box.log"
expect 1 '' "$qgctl" record dump "$work/box.log"
expect 1 '' "$qgctl" record dump "$work/set.log" --key other
head -c 300 "$work/set.log" >"$work/cut.log"
expect 1 '' "$qgctl" record dump "$work/cut.log"
expect 1 '' "$qgctl" record dump "$work/missing.log"

# set creates the file, keeps the order of first setting, replaces in place.
mkdir "$work/home"
f="$work/home/f_0001.log"
k='ключ'
expect 0 '' "$qgctl" record set "$f" 3 text 'Спам "и" \ всё' --key "$k"
expect 0 '' "$qgctl" record set "$f" 1 int64 -9223372036854775808 --key "$k"
expect 0 '' "$qgctl" record set "$f" 3 text 'x' --key "$k"
field=10
for t in "flag true" "byte 255" "short -32768" "int 2147483647" "int64 9223372036854775807"; do
  set -- $t
  expect 0 '' "$qgctl" record set "$f" $field "$1" "$2" --key "$k"
  expect 0 "{\"number\": $field, \"type\": \"$1\", \"value\": $2}" \
    "$qgctl" record get "$f" $field --key "$k"
  field=$((field + 1))
done
expect 0 '' "$qgctl" record set "$f" 10 flag 0 --key "$k"
expect 0 '' "$qgctl" record set "$f" 4 text 'Спам "и" \ всё' --key "$k"
want='{"number": 3, "type": "text", "value": "x"}
{"number": 1, "type": "int64", "value": -9223372036854775808}
{"number": 10, "type": "flag", "value": false}
{"number": 11, "type": "byte", "value": 255}
{"number": 12, "type": "short", "value": -32768}
{"number": 13, "type": "int", "value": 2147483647}
{"number": 14, "type": "int64", "value": 9223372036854775807}
{"number": 4, "type": "text", "value": "Спам \"и\" \\ всё"}'
expect 0 "$want" "$qgctl" record dump "$f" --key "$k"

# Refused: another type for a field, a file that does not read with the key given.
before=$(cksum <"$f")
expect 1 '' "$qgctl" record set "$f" 11 text x --key "$k"
expect 1 '' "$qgctl" record set "$f" 20 int 1
expect 1 '' "$qgctl" record dump "$f"
[ "$(cksum <"$f")" == "$before" ] || fail "a refused set changed the file"

# Usage errors: exit status 2, nothing written.
for args in "byte 256" "byte -1" "short 32768" "int 2147483648" "int64 9223372036854775808" \
  "flag 2" "int 12x" "word 1"; do
  set -- $args
  expect 2 '' "$qgctl" record set "$f" 5 "$1" "$2" --key "$k"
done
expect 2 '' "$qgctl" record set "$f" -1 int 1 --key "$k"
expect 2 '' "$qgctl" record get "$f" 4294967296 --key "$k"
[ "$(cksum <"$f")" == "$before" ] || fail "a refused set changed the file"
"$qgctl" record >/dev/null 2>&1
[ $? -eq 2 ] || fail "record without a command should be a usage error"
"$qgctl" --help | grep -q '^  record' || fail "--help does not list record"

finish record
