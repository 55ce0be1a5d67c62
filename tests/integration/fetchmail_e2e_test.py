#!/usr/bin/env python3
"""The whole road with the user's real peers: Dovecot holds corpus messages
as the user's POP3 server, quillgated fetches, classifies and delivers them
into its box, and fetchmail takes them from the local POP3 server. Every
message Dovecot holds must arrive exactly once, with the marks of its verdict
(the Subject marker and the "X-QG:" line) and otherwise as Dovecot sent it,
and Dovecot must still hold every message afterwards.

The box runs the built-in profile "Standart 2" with its verdicts marked: the
senders of the ham messages are white-listed ("Not spam"); every other
message is "Spam" by the rule "None of my addresses in To or Cc", since no
corpus message is addressed to the box.

Usage: fetchmail_e2e_test.py --quillgated PATH --qgctl PATH --corpus DIR
"""
import argparse
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib"))
from box_files import check_nothing_deleted  # noqa: E402
from dovecot import DovecotServer, RawPop3  # noqa: E402
from harness import check, finish, protocol_types, run, scratch_folder, wait_for  # noqa: E402
from local_agent import Agent  # noqa: E402
import mail_clients  # noqa: E402

ADDRESS = "e2e-box@example.net"
USER, PASSWORD = "qg", "secret"
PROFILE = "Standart 2"
PREFIXES = ("gen-1-", "sapc-ham-easyham1-", "sapc-spam-")
PER_PREFIX = 12
PASS_END = 16  # protocol event: a pass over the boxes ended
# Options blocks of the rules (base + 50 "Not spam", base + 70 "Spam") and of
# the default verdict: offsets 4 (mark the Subject) and 5 (the X-QG line).
MARK_OFFSETS = (4, 5)


def corpus_files(corpus):
    """A few dozen ham and spam messages: generated ones in Cyrillic charsets
    and MIME shapes, and real mail of the SpamAssassin corpus."""
    names = sorted(n for n in os.listdir(corpus) if n.endswith(("-ham.eml", "-spam.eml"))
                   or n.startswith(("sapc-ham-", "sapc-spam-")))
    chosen = []
    for prefix in PREFIXES:
        chosen += [n for n in names if n.startswith(prefix)][:PER_PREFIX]
    return [os.path.join(corpus, n) for n in chosen]


def qgctl(args, home, *command):
    return run([args.qgctl, "--home", home] + list(command))


def mark_every_verdict(args, home):
    """Turns on the Subject marker and the X-QG line in the profile's
    options blocks, with qgctl record set, as the profile editor would."""
    listing = qgctl(args, home, "profile", "list").stdout.splitlines()
    profile = next(json.loads(p) for p in listing if json.loads(p)["name"] == PROFILE)
    path = os.path.join(home, profile["file"])
    blocks = [400] + [1000 + 100 * t + b for t in range(profile["rules"]) for b in (50, 70)]
    for block in blocks:
        for offset in MARK_OFFSETS:
            result = qgctl(args, home, "record", "set", path, str(block + offset), "flag", "1")
            check(result.returncode == 0, "record set %d: %r" % (block + offset, result.stderr))


def white_list_ham_senders(args, home, files):
    """White-lists the sender of every ham message as the analysis parses it;
    returns the files whose sender is white."""
    parsed = qgctl(args, home, "parse", *files).stdout.splitlines()
    white = set()
    for line in map(json.loads, parsed):
        if "-ham" not in os.path.basename(line["file"]) or not line.get("sender"):
            continue
        added = qgctl(args, home, "list", "add", "addresses", line["sender"])
        if added.returncode == 0 or "already" in added.stderr:
            white.add(line["file"])
    return white


def header_lines(data):
    """The raw header lines of a message (LF line ends), without folding."""
    data = data.replace(b"\r\n", b"\n")
    end = data.find(b"\n\n")
    return (data[:end] if end >= 0 else data).split(b"\n")


def header_value(data, name):
    """The first line of the first field called name, as bytes; None when there is none."""
    prefix = name.lower().encode() + b":"
    for line in header_lines(data):
        if line.lower().startswith(prefix):
            return line[len(prefix):].strip()
    return None


def body_digest(data):
    """The digest of a message's body with LF line ends (fetchmail hands an
    MDA LF lines and removes the dot-stuffing the POP3 transfer adds)."""
    data = data.replace(b"\r\n", b"\n")
    end = data.find(b"\n\n")
    body = data[end + 2:] if end >= 0 else b""
    return hashlib.sha256(body).hexdigest()


def served_by_dovecot(port, count):
    """Each message as Dovecot serves it, the dot-stuffing taken off."""
    session = RawPop3(port)
    session.login(USER, PASSWORD)
    served = []
    for n in range(1, count + 1):
        lines = session.retr(n).split(b"\r\n")
        served.append(b"\r\n".join(line[1:] if line.startswith(b"..") else line for line in lines))
    session.quit()
    return served


def in_files(home):
    folder = os.path.join(home, "BOX_0001", "IN")
    return [n for n in os.listdir(folder) if n.endswith(".msg")]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillgated", required=True)
    parser.add_argument("--qgctl", required=True)
    parser.add_argument("--corpus", required=True)
    args, _ = parser.parse_known_args()
    files = corpus_files(args.corpus)
    check(len(files) == len(PREFIXES) * PER_PREFIX, "corpus messages found: %d" % len(files))
    originals = []
    for path in files:
        with open(path, "rb") as f:
            originals.append(f.read())

    with tempfile.TemporaryDirectory(dir=scratch_folder()) as root:
        with DovecotServer(os.path.join(root, "dovecot"), {USER: (PASSWORD, originals)},
                           apop=False) as server:
            served = served_by_dovecot(server.port, len(files))
            home = os.path.join(root, "home")
            added = qgctl(args, home, "box", "add", ADDRESS, "--pop3", "127.0.0.1:%d" % server.port,
                          "--user", USER, "--password", PASSWORD, "--profile", PROFILE,
                          "--interval", "0")
            check(added.returncode == 0, "qgctl box add: %r" % added.stderr)
            mark_every_verdict(args, home)
            white = white_list_ham_senders(args, home, files)
            check(len(white) >= PER_PREFIX, "ham senders white-listed: %d" % len(white))
            want = {}  # body digest -> verdicts of the messages with that body
            for path, data in zip(files, served):
                verdict = "Not spam" if path in white else "Spam"
                want.setdefault(body_digest(data), []).append(verdict)

            begun = time.monotonic()
            with Agent(args.quillgated, home, os.path.join(root, "agent.stderr")) as agent:
                check(wait_for(lambda: len(in_files(home)) == len(files), 120),
                      "every message should be delivered into IN: %d of %d"
                      % (len(in_files(home)), len(files)))
                print("Dovecot to IN: %d messages in %.1f s" % (len(files),
                                                               time.monotonic() - begun))
                status, stderr, delivered = mail_clients.fetchmail(
                    root, agent.pop3_port, USER, PASSWORD, False, os.path.join(root, "taken"))
                check(status == 0, "fetchmail status %d: %r" % (status, stderr[-500:]))
                again, _, _ = mail_clients.fetchmail(root, agent.pop3_port, USER, PASSWORD, False,
                                                     os.path.join(root, "again"))
                check(again == 1, "a second poll should find nothing, status %d" % again)
                check(wait_for(lambda: in_files(home) == [], 10), "fetchmail empties IN")
                # Another check of the box finds every message staged already.
                passes = protocol_types(home).count(PASS_END)
                qgctl(args, home, "check")
                check(wait_for(lambda: protocol_types(home).count(PASS_END) > passes, 60),
                      "a second pass should run")
                check(in_files(home) == [], "a second pass delivered again: %r" % in_files(home))
                exit_status = agent.stop()
            check(exit_status == 0, "the agent exited %s" % exit_status)
            with open(os.path.join(root, "agent.stderr")) as f:
                said = f.read()
            check(said == "", "the agent should say nothing on stderr: %r" % said[-2000:])

            check(len(delivered) == len(files),
                  "fetchmail should take %d messages, took %d" % (len(files), len(delivered)))
            for path in delivered:
                with open(path, "rb") as f:
                    data = f.read()
                verdict = (header_value(data, "X-QG") or b"").decode()
                subject = header_value(data, "Subject") or b""
                verdicts = want.get(body_digest(data))
                if not check(verdicts and verdict in verdicts,
                             "%s: a message Dovecot did not send, or verdict %r not in %r"
                             % (os.path.basename(path), verdict, verdicts)):
                    continue
                verdicts.remove(verdict)
                check(subject.startswith(b"__" + verdict.encode()),
                      "%s: Subject %r lacks the marker of %r" % (path, subject[:60], verdict))
            check(all(not v for v in want.values()),
                  "messages that never arrived: %r" % [v for v in want.values() if v])

            check_nothing_deleted(server, USER, PASSWORD, len(files))
    return finish()


if __name__ == "__main__":
    sys.exit(main())
