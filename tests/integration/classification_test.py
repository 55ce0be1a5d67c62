#!/usr/bin/env python3
"""Classification end to end: quillgated, its fetcher and its analysis worker
against Dovecot holding corpus messages, with a filter profile built through
qgctl that

- white-lists some senders and marks their mail (Subject marker, "X-QG:"),
- black-lists others (withheld, left on the server),
- white-lists a sender domain without marks,
- quarantines mail whose Subject holds a black expression,
- holds the rest, undetermined, with a request mail to its sender.

Checked: the IN files are what Dovecot sends for RETR with exactly the
marker and "X-QG:" lines added; held mail stays ".hdp" with its hold's end in
the record line; OUT holds one request mail per held message; "zap.inf" lists
the quarantined ones; the history and protocol carry the events of each road;
Dovecot still holds every message. Then the sender of a held message replies
to its request: the reply is withheld, the sender learned, and the held
message delivered.

Usage: classification_test.py --quillgated PATH --qgctl PATH --corpus DIR
"""
import argparse
import datetime
import email
import email.utils
import glob
import json
import os
import re
import shutil
import struct
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib"))
from dovecot import DovecotServer, RawPop3  # noqa: E402
from box_files import check_nothing_deleted, staged_slots  # noqa: E402
from harness import check, finish, protocol_types, run, wait_for  # noqa: E402
from local_agent import Agent, free_ports  # noqa: E402

ADDRESS = "user@example.com"
USER, PASSWORD = "qg", "secret"
PROFILE = "Classify"
MAILBOX_SIZE = 24
STAGING_LINE = 50
PASS_END = 16
HOLD_DAYS = 5
CLEAN_ADDRESS = re.compile(r"[A-Za-z0-9._-]{2,39}@[A-Za-z0-9_-]+(\.[A-Za-z0-9_-]+)+")
# Profile fields: rules run in slot order; rule t keeps its fields from 1000 + 100 t.
RULES = [
    # (rule type, mode, options block offset, option fields set)
    (0, 0, 50, (4, 5)),  # white address: Not spam, Subject marked, X-QG line
    (4, 2, 70, ()),      # black address: Spam, withheld
    (3, 0, 50, ()),      # white domain: Not spam, unmarked
    (6, 2, 70, (3,)),    # black Subject expression: Spam, quarantined
]


def corpus_candidates(corpus):
    """(file, bytes, sender, subject) of messages the Python oracle below reads
    as the analysis does: a plain From of "address" or "name <address>" and a
    plain one-line ASCII Subject."""
    found = []
    for path in sorted(glob.glob(os.path.join(corpus, "bogofilter-*.eml"))):
        with open(path, "rb") as f:
            data = f.read()
        message = email.message_from_bytes(data)
        sender, subject = message.get("From"), message.get("Subject")
        if not isinstance(sender, str) or not isinstance(subject, str):
            continue
        if "=?" in sender + subject or not subject.isascii() or not subject.strip():
            continue
        address = email.utils.parseaddr(sender)[1]
        plain = sender.strip().endswith(">") or sender.strip() == address
        if plain and CLEAN_ADDRESS.fullmatch(address) and len(address.split("@")[1]) <= 29:
            found.append((os.path.basename(path), data, address.lower(), subject.strip()))
    return found


def word_starts(subject):
    # The rules see the Subject upper-cased with its blanks squeezed.
    return subject.upper().split()


def plan_mailbox(candidates):
    """Chooses the mailbox and what each message should become."""
    mailbox = candidates[:MAILBOX_SIZE]
    senders = [sender for _, _, sender, _ in mailbox]
    by_count = sorted(set(senders), key=lambda s: (-senders.count(s), s))
    white, black = by_count[0], by_count[1]
    rest = [m for m in mailbox if m[2] not in (white, black)]
    # A domain that only one remaining sender has.
    domain = None
    for _, _, sender, _ in rest:
        candidate = sender.split("@")[1]
        if sum(1 for m in rest if m[2].endswith(candidate)) == sum(
                1 for m in rest if m[2] == sender):
            domain = candidate
            break
    rest = [m for m in rest if not m[2].endswith(domain)]
    # A Subject word that begins a word of no other remaining Subject.
    expression = None
    for _, _, _, subject in rest:
        for word in word_starts(subject):
            if len(word) >= 6 and word.isalpha() and sum(
                    1 for m in rest if any(w.startswith(word) for w in word_starts(m[3]))) == 1:
                expression = word
                break
        if expression:
            break
    plan = {}
    for name, _, sender, subject in mailbox:
        if sender == white:
            plan[name] = "marked"
        elif sender == black:
            plan[name] = "withheld"
        elif sender.endswith(domain):
            plan[name] = "delivered"
        elif any(w.startswith(expression) for w in word_starts(subject)):
            plan[name] = "quarantined"
        else:
            plan[name] = "held"
    return mailbox, plan, {"white": white, "black": black, "domain": domain,
                           "expression": expression}


def qgctl(args, home, *words):
    result = run([args.qgctl, "--home", home] + list(words))
    check(result.returncode == 0, "qgctl %s: %s" % (" ".join(words), result.stderr))
    return result.stdout


def build_profile(args, home, lists):
    path = os.path.join(home, json.loads(qgctl(args, home, "profile", "reset", PROFILE))["file"])

    def field(number, kind, value):
        qgctl(args, home, "record", "set", path, str(number), kind, str(value))

    for slot, (rule_type, mode, block, options) in enumerate(RULES):
        # Rule number = slot, as a profile whose rules were only added has it.
        field(slot, "byte", slot)
        field(100 + slot, "byte", rule_type)
        field(200 + slot, "byte", slot)
        base = 1000 + 100 * slot
        field(base, "byte", mode)
        for offset in options:
            field(base + block + offset, "flag", 1)
    field(410, "byte", 1)   # default: Is not determined
    field(406, "flag", 1)   # with a request mail
    field(460, "byte", HOLD_DAYS)
    qgctl(args, home, "list", "add", "addresses", lists["white"])
    qgctl(args, home, "list", "add", "addresses", lists["black"], "--black")
    qgctl(args, home, "list", "add", "domains", lists["domain"])
    qgctl(args, home, "list", "add", "expressions", lists["expression"], "--field", "Subject",
          "--black")


def marked(message, marker, value):
    """What the marks make of a message: "Subject: " and the marker before the
    Subject text, and "X-QG: value" before the first Status line or the empty
    line that ends the header, with a CR where that line has one."""
    lines = message.splitlines(keepends=True)
    out, subject, header = [], True, True
    for line in lines:
        if header and subject and line[:8].lower() == b"subject:":
            out.append(b"Subject: " + marker + line[8:])
            subject = False
            continue
        if header and (line[:7].lower() == b"status:" or line in (b"\r\n", b"\n")):
            out.append(b"X-QG: " + value + (b"\r\n" if line.endswith(b"\r\n") else b"\n"))
            header = False
        out.append(line)
    return b"".join(out)



def folder_files(home, folder):
    path = os.path.join(home, "BOX_0001", folder)
    files = []
    for name in sorted(os.listdir(path)):
        with open(os.path.join(path, name), "rb") as f:
            files.append(f.read())
    return files


def stamp_date(stamp):
    """The date of a time stamp of the program's calendar (31-day months,
    372-day years, microseconds)."""
    days = stamp // 86_400_000_000
    return (days // 372, days % 372 // 31 + 1, days % 31 + 1)


def zap_records(home):
    try:
        with open(os.path.join(home, "zap.inf"), "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return []
    records = []
    while len(data) >= 29:
        key, verdict = struct.unpack_from("<II", data, 0)
        texts, at = [], 29
        for _ in range(4):
            end = data.find(b"\0", at)
            if end < 0:
                return records  # a record still being appended
            texts.append(data[at:end])
            at = end + 1
        records.append({"key": key, "verdict": verdict, "flags": data[28], "subject": texts[2],
                        "path": texts[3].decode()})
        data = data[at:]
    return records


def json_lines(text):
    return [json.loads(line) for line in text.splitlines() if line.strip()]


def pass_count(home):
    return protocol_types(home).count(PASS_END)


def first_pass(args, server, home, mailbox, plan, lists):
    session = RawPop3(server.port)
    session.login(USER, PASSWORD)
    sent = {name: session.retr(i + 1) for i, (name, _, _, _) in enumerate(mailbox)}
    headers = {name: session.top(i + 1) for i, (name, _, _, _) in enumerate(mailbox)}
    session.quit()
    counts = {road: list(plan.values()).count(road) for road in set(plan.values())}
    print("mailbox of %d: %s; lists %s" % (len(mailbox), counts, lists))

    want_in = sorted([marked(sent[n], b"__Not spam", b"Not spam") for n, r in plan.items()
                      if r == "marked"] + [sent[n] for n, r in plan.items() if r == "delivered"])
    got_in = sorted(folder_files(home, "IN"))
    check(len(got_in) == len(want_in), "%d IN files, want %d" % (len(got_in), len(want_in)))
    check(got_in == want_in, "IN files should be Dovecot's RETR bytes with the marks added")

    states = {}
    for slot, (state, data) in staged_slots(home).items():
        states.setdefault(state, []).append(data)
    check(len(states.get("hd~", [])) == counts.get("marked", 0) + counts.get("delivered", 0)
          + counts.get("withheld", 0), "finished slots: %s" % {s: len(d) for s, d in states.items()})
    held = states.get("hdp", [])
    check(sorted(d[STAGING_LINE:] for d in held)
          == sorted(headers[n] for n, r in plan.items() if r == "held"),
          "the held slots should hold the staged headers of the held mail")
    expiry = datetime.date.today() + datetime.timedelta(days=HOLD_DAYS)
    for data in held:
        stamp, flags = int(data[:16], 16), int(data[40:48], 16)
        check(stamp_date(stamp) == (expiry.year, expiry.month, expiry.day)
              and flags & 0x20F == 0x204,
              "a held slot should end its hold on %s with class 4 and a request: %r"
              % (expiry, data[:48]))
    check(len(states.get("hdz", [])) == counts.get("quarantined", 0), "quarantined slots")

    zap = zap_records(home)
    quarantined = sorted(s.encode() for (n, _, _, s) in mailbox if plan[n] == "quarantined")
    check(sorted(r["subject"] for r in zap) == quarantined,
          "zap.inf should list the quarantined mail: %r" % zap)
    for record in zap:
        check(record["flags"] == 0x90 and record["verdict"] & 0x4F == 0x48
              and record["path"].endswith("/BOX_0001/TMP/%08d.hdz" % (record["key"] & 0xFFFF))
              and record["key"] >> 16 == 1, "zap.inf record %r" % record)

    requests = folder_files(home, "OUT")
    recipients = sorted(re.match(rb"RCTP TO: (\S+)\r\n", r).group(1).decode() for r in requests)
    check(recipients == sorted(s.upper() for (n, _, s, _) in mailbox if plan[n] == "held"),
          "one request mail per held message: %r" % recipients)
    for request in requests:
        check(b"X-Mailer: Quillgate - request\r\n" in request
              and re.search(rb"\r\nSubject: [0-9A-F]{21}\r\n", request) is not None,
              "a request mail: %r" % request[:300])

    # One record per message (a marked one under its marked Subject): the first
    # staging sets the first-seen time, then the events of its road.
    want_events = {"marked": [1, 2, 5], "delivered": [1, 5], "withheld": [1], "quarantined": [],
                   "held": [2, 3]}
    got, want = {}, {}
    for record in json_lines(qgctl(args, home, "history", "dump")):
        got.setdefault(record["senderAddress"].lower(), []).append(
            (record["firstSeen"] != 0, sorted(e["type"] for e in record["events"])))
    for name, _, sender, _ in mailbox:
        want.setdefault(sender, []).append((True, want_events[plan[name]]))
    for sender in want:
        check(sorted(got.get(sender, [])) == sorted(want[sender]),
              "history of %s: %s, want %s" % (sender, got.get(sender), want[sender]))
    types = set(protocol_types(home))
    check({9, 10}.issubset(types), "protocol events 9 and 10 expected: %s" % sorted(types))
    return sent


def reply_to_a_request(args, server, home, mailbox, plan, sent):
    """A held message's sender answers its request mail."""
    held = [(n, s) for (n, _, s, _) in mailbox if plan[n] == "held"]
    senders = [s for _, s in held]
    name, sender = next((n, s) for n, s in held if senders.count(s) == 1)
    request = next(r for r in folder_files(home, "OUT")
                   if r.startswith(b"RCTP TO: " + sender.upper().encode() + b"\r\n"))
    code = re.search(rb"\r\nSubject: ([0-9A-F]{21})\r\n", request).group(1)
    server.add_message(USER, b"From: <" + sender.encode() + b">\r\nTo: " + ADDRESS.encode()
                       + b"\r\nSubject: Re: " + code + b"\r\n\r\nIt is really me.\r\n")
    before_in = len(folder_files(home, "IN"))
    passes = pass_count(home)
    qgctl(args, home, "check")
    check(wait_for(lambda: pass_count(home) > passes, 60), "a second pass should end")

    check(11 in protocol_types(home), "protocol event 11 for the consumed reply")
    addresses = json_lines(qgctl(args, home, "list", "dump", "addresses"))
    check({"colour": "white", "address": sender} in
          [{"colour": a["colour"], "address": a["address"].lower()} for a in addresses],
          "the replying sender should be learned as white: %s" % addresses)
    delivered = folder_files(home, "IN")
    check(len(delivered) == before_in + 1 and sent[name] in delivered,
          "the held message should be delivered once its sender replied")
    check(not any(b"It is really me." in m for m in delivered), "a reply is never delivered")



def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillgated", required=True)
    parser.add_argument("--qgctl", required=True)
    parser.add_argument("--corpus", required=True)
    args, _ = parser.parse_known_args()
    mailbox, plan, lists = plan_mailbox(corpus_candidates(args.corpus))
    check(all(lists.values()) and len(set(plan.values())) == 5,
          "the corpus should give every road: %s %s" % (lists, plan))

    with tempfile.TemporaryDirectory() as root:
        messages = [data for _, data, _, _ in mailbox]
        with DovecotServer(os.path.join(root, "dovecot"), {USER: (PASSWORD, messages)},
                           apop=False) as server:
            home = os.path.join(root, "home")
            build_profile(args, home, lists)
            qgctl(args, home, "box", "add", ADDRESS, "--pop3", "127.0.0.1:%d" % server.port,
                  "--user", USER, "--password", PASSWORD, "--profile", PROFILE,
                  "--interval", "0")
            # The mail-exchange lookups of the own address go nowhere.
            (dns_port,) = free_ports(1)
            options = ["--dns-servers", "127.0.0.1:%d" % dns_port, "--dns-port", str(dns_port)]
            begun = time.monotonic()
            with Agent(args.quillgated, home, os.path.join(root, "agent.stderr"),
                       options) as agent:
                check(wait_for(lambda: pass_count(home) > 0, 60), "the first pass should end")
                print("first pass over %d messages: %.1f s" % (len(mailbox),
                                                               time.monotonic() - begun))
                sent = first_pass(args, server, home, mailbox, plan, lists)
                begun = time.monotonic()
                reply_to_a_request(args, server, home, mailbox, plan, sent)
                print("reply pass: %.1f s" % (time.monotonic() - begun))
                check(agent.stop() == 0, "the agent should exit with status 0")
            check_nothing_deleted(server, USER, PASSWORD, len(mailbox) + 1)
            if os.environ.get("QG_KEEP"):
                shutil.copytree(root, os.environ["QG_KEEP"], dirs_exist_ok=True)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
