#!/usr/bin/env bash
# qgctl list dump/add/import: the entries of each list as stored, refusals
# of entries a list cannot hold, and the address-list import.
# Usage: lists.sh QGCTL TEST_DATA_DIR
set -u
qgctl=${1:?usage: lists.sh QGCTL TEST_DATA_DIR}
# shellcheck source=lib/common.sh source-path=SCRIPTDIR
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

mkdir -p "$home"
# Missing lists are empty, and dumping creates nothing.
for kind in addresses expressions zones domains ip-countries; do
  expect 0 '' q list dump "$kind"
done
[ -z "$(ls "$home")" ] || fail "list dump created files: $(ls "$home")"

expect 0 '{"colour": "white", "origin": 0, "name": "Иван", "address": "ivan@example.ru"}' \
  q list add addresses ivan@example.ru --name Иван
expect 0 '{"colour": "black", "origin": 0, "name": "", "address": "spam@example.com"}' \
  q list add addresses spam@example.com --black
expect 0 '{"colour": "black", "field": 6, "fieldName": "Subject", "text": "Дёшево", "weight": 5}' \
  q list add expressions Дёшево --field subject --weight 5 --black
expect 0 '{"colour": "white", "field": 1, "fieldName": "Body", "text": "free money", "weight": 1}' \
  q list add expressions "free money" --field 1
expect 0 '{"colour": "black", "code": "CN", "weight": 3}' q list add zones cn --black --weight 3
expect 0 '{"colour": "white", "domain": "example.org"}' q list add domains example.org
expect 0 '{"first": "192.0.2.0", "last": "192.0.2.255", "code": "DE"}' \
  q list add ip-countries 192.0.2.0 192.0.2.255 de
expect 0 '{"first": "10.0.0.0", "last": "10.255.255.255", "code": "RU"}' \
  q list add ip-countries 10.0.0.0 10.255.255.255 RU

expect 0 '{"colour": "white", "origin": 0, "name": "Иван", "address": "ivan@example.ru"}
{"colour": "black", "origin": 0, "name": "", "address": "spam@example.com"}' q list dump addresses
expect 0 '{"colour": "black", "field": 6, "fieldName": "Subject", "text": "Дёшево", "weight": 5}
{"colour": "white", "field": 1, "fieldName": "Body", "text": "free money", "weight": 1}' \
  q list dump expressions
# Ranges stay in ascending order of their first address.
expect 0 '{"first": "10.0.0.0", "last": "10.255.255.255", "code": "RU"}
{"first": "192.0.2.0", "last": "192.0.2.255", "code": "DE"}' q list dump ip-countries

# Already listed (the analysis compares addresses in any letter case), and
# entries the list files cannot hold.
expect 1 '' q list add addresses IVAN@Example.RU
expect 1 '' q list add zones CN
expect 2 '' q list add addresses not-an-address
expect 2 '' q list add addresses "$(printf 'a%.0s' {1..50})@example.com"
expect 2 '' q list add addresses ab@example.com --name "a name of more than twenty"
expect 2 '' q list add expressions "$(printf 'x%.0s' {1..51})" --field Body
expect 2 '' q list add expressions x --field 10
expect 2 '' q list add zones C1
expect 2 '' q list add domains "$(printf 'd%.0s' {1..31})"
expect 2 '' q list add ip-countries 10.0.0.9 10.0.0.1 RU
q list add zones RU --weight 256 >/dev/null 2>&1
[ $? -eq 2 ] || fail "--weight 256 should be a usage error"

# The import adds what is new, named after the text before the address.
printf '%s\n' 'Jane Roe <jane@example.com>, spam@example.com' 'Иван ivan@example.ru' \
  '"Bob" bob@example.net' >"$work/import.txt"
expect 0 '{"colour": "white", "origin": 0, "name": "Jane Roe", "address": "jane@example.com"}
{"colour": "white", "origin": 0, "name": "Bob", "address": "bob@example.net"}' \
  q list import "$work/import.txt"
[ "$(q list dump addresses | wc -l)" -eq 4 ] || fail "import did not keep the list"
expect 0 '' q list import "$work/import.txt"
printf 'a1@example.com\nb\001b b2@example.com\n' >"$work/control.txt"
expect 0 '{"colour": "black", "origin": 0, "name": "", "address": "a1@example.com"}' \
  q list import "$work/control.txt" --black
grep -q 'line 2' "$work/stderr" || fail "the stopped import says nothing: $(cat "$work/stderr")"
expect 1 '' q list import "$work/missing.txt"

# A damaged list is reported and left alone.
printf 'damaged' >"$home/fdomain.dat"
expect 1 '' q list dump domains
expect 1 '' q list add domains example.net
[ "$(cat "$home/fdomain.dat")" == damaged ] || fail "a damaged list was changed"

finish lists
