#!/usr/bin/env python3
"""Corpus oracle for qgctl parse: for every message of the sample corpus, the
From and Subject values that Python's email package decodes, converted to
Windows-1251 and upper-cased where the upper-case letter exists there, must
appear in the upper-cased header line that Quillgate's parse gives the rules.
White space is left out on both sides: Quillgate decodes encoded words in
place, so blanks stand where the words' framing stood.

Messages where the two legitimately differ (charsets outside the supported
set, characters Windows-1251 lacks, ...) are listed with a reason in
corpus_oracle_differences.tsv beside this script; a listed pair that agrees
fails too, so the list cannot go stale.

Usage: corpus_oracle_test.py --qgctl PATH [--corpus DIR]
(the corpus folder defaults to $QG_CORPUS_DIR)
"""
import argparse
import email
import email.header
import email.policy
import json
import os
import subprocess
import sys
import tempfile

FIELDS = ["From", "Subject"]
DIFFERENCES = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           "corpus_oracle_differences.tsv")


def upper_1251(data):
    """Windows-1251 bytes upper-cased where the upper-case letter exists in
    Windows-1251 (derived from the code page, not from Quillgate's table)."""
    out = bytearray()
    for byte in data:
        try:
            char = bytes([byte]).decode("cp1251")
        except UnicodeDecodeError:
            out.append(byte)
            continue
        upper = char.upper()
        try:
            encoded = upper.encode("cp1251") if len(upper) == 1 else b""
        except UnicodeEncodeError:
            encoded = b""
        out += encoded if len(encoded) == 1 else bytes([byte])
    return bytes(out)


def without_blanks(data):
    return bytes(b for b in data if b > 0x20)


def python_value(message, field):
    """The decoded value as Windows-1251 bytes (undecoded 8-bit bytes stay as
    they are on both sides); None when a character has no Windows-1251 byte
    or a charset is unknown to Python."""
    raw = message.get(field)
    if raw is None:
        return b""
    out = b""
    for part, charset in email.header.decode_header(raw):
        if charset == "unknown-8bit":
            # Raw 8-bit bytes in a header: neither side decodes them.
            out += part
            continue
        if isinstance(part, bytes):
            try:
                # Text outside encoded words comes back raw-unicode-escaped.
                part = part.decode(charset or "raw-unicode-escape")
            except (LookupError, UnicodeDecodeError):
                return None
        try:
            out += part.encode("cp1251", "surrogateescape")
        except UnicodeEncodeError:
            return None
    return out


def quillgate_line(parse, field):
    """The value of the header line the rules read for field, as bytes."""
    name = field.upper() + ":"
    header = parse["text"].split("\n\n", 1)[0]
    for line in header.split("\n")[1:]:
        if line.startswith(name):
            return line[len(name):].encode("cp1251", "replace")
    return b""


def load_differences():
    listed = {}
    with open(DIFFERENCES, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            parts = line.split("\t")
            if len(parts) != 3 or parts[1] not in FIELDS or not parts[2].strip():
                sys.exit("%s:%d: want FILE<TAB>FIELD<TAB>REASON" % (DIFFERENCES, number))
            listed[(parts[0], parts[1])] = parts[2]
    return listed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qgctl", required=True)
    parser.add_argument("--corpus", default=os.environ.get("QG_CORPUS_DIR", ""))
    parser.add_argument("--quillgated")  # given to every integration test; not used
    parser.add_argument("--data")
    args, _ = parser.parse_known_args()
    if not os.path.isdir(args.corpus):
        print("FAIL: no corpus folder at %r (set QG_CORPUS_DIR or --corpus)" % args.corpus)
        return 1
    listed = load_differences()
    names = sorted(n for n in os.listdir(args.corpus) if n.endswith(".eml"))
    failures = []
    agreed = 0
    seen = set()
    paths = [os.path.join(args.corpus, name) for name in names]
    with tempfile.TemporaryDirectory() as home:
        # One run for the whole corpus: one JSON object per file, in order.
        result = subprocess.run([args.qgctl, "--home", home, "parse"] + paths,
                                capture_output=True, timeout=600)
    parses = [json.loads(line) for line in result.stdout.splitlines()]
    if len(parses) != len(paths):
        print("FAIL: qgctl parse gave %d objects for %d files: %s"
              % (len(parses), len(paths), result.stderr))
        return 1
    for name, path, parse in zip(names, paths, parses):
        with open(path, "rb") as f:
            data = f.read()
        if "error" in parse:
            if data:
                failures.append("%s: qgctl parse failed: %s" % (name, parse["error"]))
            continue
        message = email.message_from_bytes(data, policy=email.policy.compat32)
        for field in FIELDS:
            key = (name, field)
            seen.add(key)
            want = python_value(message, field)
            got = without_blanks(quillgate_line(parse, field))
            same = want is not None and without_blanks(upper_1251(want)) in got
            if same and key in listed:
                failures.append("%s %s: listed as different (%s) but agrees"
                                % (name, field, listed[key]))
            elif not same and key not in listed:
                failures.append("%s %s: python %r, quillgate %r" % (name, field, want, got))
            elif same:
                agreed += 1
    for key in sorted(set(listed) - seen):
        failures.append("%s %s: listed but not in the corpus" % key)
    for failure in failures:
        print("FAIL: " + failure)
    print("%d messages, %d field values agree, %d listed as different"
          % (len(names), agreed, len(listed)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
