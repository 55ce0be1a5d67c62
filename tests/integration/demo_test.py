#!/usr/bin/env python3
"""quillgated --demo in a temporary home on free ports: what it prints, the
built-in upstream server with the sample messages, the sorted mail read with
poplib from the local POP3 server (and with the printed command), a second
copy that must leave the running demo alone, and a second run that reuses the
home and shows the road again.

Usage: demo_test.py --quillgated PATH --qgctl PATH
"""
import argparse
import email
import email.policy
import json
import os
import poplib
import re
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib"))
from harness import check, finish, run, wait_for  # noqa: E402
from local_agent import free_ports  # noqa: E402

SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "demo")
ARRIVED = "The sample mail has arrived in IN"
EXIT_RUNNING = 3
USER = PASSWORD = "demo"


class Demo:
    """quillgated --demo with its stdout collected line by line."""

    def __init__(self, quillgated, home):
        self.pop3_port, self.smtp_port = free_ports(2)
        self.lines = []
        self.process = subprocess.Popen(
            [quillgated, "--demo", "--home", home, "--pop3-port", str(self.pop3_port),
             "--smtp-port", str(self.smtp_port)],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))

    def said(self, text, seconds=30.0):
        return wait_for(lambda: any(text in line for line in self.lines), seconds)

    def line(self, pattern):
        for line in self.lines:
            found = re.search(pattern, line)
            if found:
                return found
        return None

    def stop(self):
        self.process.terminate()
        try:
            status = self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            status = self.process.wait()
        self._reader.join(timeout=5)
        return status, self.process.stderr.read()


def sample(name):
    """A sample message as the upstream serves it (before its Message-ID line)."""
    with open(os.path.join(SAMPLES, name), "rb") as f:
        return f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def logged_in(port):
    client = poplib.POP3("127.0.0.1", port, timeout=10)
    client.user(USER)
    client.pass_(PASSWORD)
    return client


def messages(port):
    """Every message of the POP3 server, parsed; the mail stays on the server."""
    client = logged_in(port)
    count = client.stat()[0]
    got = [email.message_from_bytes(b"\r\n".join(client.retr(k)[1]), policy=email.policy.default)
           for k in range(1, count + 1)]
    client.quit()
    return got


def upstream_cases(port, runs):
    client = logged_in(port)
    count, _ = client.stat()
    check(count == 4 * runs, "the upstream should hold %d messages, has %d" % (4 * runs, count))
    check(len(client.uidl()[1]) == count, "UIDL should list every upstream message")
    first = b"\r\n".join(client.retr(1)[1]) + b"\r\n"
    check(re.match(rb"Message-ID: <\d+\.1@quillgate-demo\.invalid>\r\n", first) is not None,
          "an upstream copy begins with its run's Message-ID: %r" % first[:80])
    check(first.split(b"\r\n", 1)[1] == sample("1-ham.eml"),
          "the upstream serves the sample file with CR LF line ends")
    header = b"\r\n".join(client.top(3, 0)[1])
    check(b"Subject: =?UTF-8?B?" in header and b"\r\n\r\n" not in header.rstrip(b"\r\n"),
          "TOP 3 0 gives the Cyrillic message's header: %r" % header[:200])
    try:
        client.dele(1)
        check(False, "DELE must not be offered by the upstream")
    except poplib.error_proto:
        pass
    client = logged_in(port)
    check(client.stat()[0] == count, "nothing may go from the upstream")
    client.quit()
    try:
        bad = poplib.POP3("127.0.0.1", port, timeout=10)
        bad.user(USER)
        bad.pass_("wrong")
        check(False, "a wrong password must be refused")
    except poplib.error_proto:
        pass


def sorted_mail_cases(demo, runs):
    got = messages(demo.pop3_port)
    check(len(got) == 3 * runs, "%d messages should be in IN, got %d" % (3 * runs, len(got)))
    by_sender = {}
    for message in got:
        by_sender.setdefault(message["From"].addresses[0].addr_spec, []).append(message)
    want = {
        "anna.berg@example.org": ("Lunch on Friday?", "Not spam"),
        "winner@prize-office.example.net": ("__Spam Claim your FREE MONEY today", "Spam"),
        "ivan.petrov@example.net": ("__Is not determined Отчёт за май и встреча в четверг",
                                    "Is not determined"),
    }
    for sender, (subject, verdict) in want.items():
        copies = by_sender.get(sender, [])
        check(len(copies) == runs, "%s: %d copies, want %d" % (sender, len(copies), runs))
        for message in copies:
            check(str(message["Subject"]) == subject,
                  "%s: Subject %r, want %r" % (sender, str(message["Subject"]), subject))
            check(message["X-QG"] == verdict,
                  "%s: X-QG %r, want %r" % (sender, message["X-QG"], verdict))
    cyrillic = by_sender.get("ivan.petrov@example.net", [])
    check(bool(cyrillic) and "Здравствуйте!" in cyrillic[0].get_content()
          and str(cyrillic[0]["From"]).startswith("Иван Петров"),
          "the Cyrillic message should read as it was written")
    check("offers@bargain-mail.example" not in by_sender,
          "the black-listed sender's message is withheld")

    # The printed command lists the same mail, verdict first.
    command = demo.line(r"^\s+(python3 -c .*)$")
    if check(command is not None, "the guide should hold a python3 command"):
        listing = subprocess.run(command.group(1), shell=True, capture_output=True, text=True,
                                 timeout=30)
        rows = listing.stdout.splitlines()
        check(listing.returncode == 0 and len(rows) == 3 * runs
              and sum(row.startswith("Spam | Prize Office") for row in rows) == runs,
              "the printed command lists the sorted mail: %r %r" % (rows, listing.stderr))


def home_cases(qgctl, home):
    """The demo's box, profile and list entries exist once, however often it ran."""
    def dump(*command):
        result = run([qgctl, "--home", home] + list(command))
        return [json.loads(line) for line in result.stdout.splitlines()]
    boxes = dump("box", "list")
    check([(b["number"], b["address"], b["valid"]) for b in boxes] == [(1, "demo@example.com", True)],
          "one valid demo box: %r" % boxes)
    names = [p["name"] for p in dump("profile", "list")]
    check(sorted(names) == ["Demo", "Standart 1", "Standart 2", "Standart 3"],
          "the demo profile beside the built-in ones: %r" % names)
    addresses = [(a["address"], a["colour"]) for a in dump("list", "dump", "addresses")]
    check(addresses == [("anna.berg@example.org", "white"), ("offers@bargain-mail.example", "black")],
          "the demo's senders: %r" % addresses)
    expressions = [(e["text"], e["colour"], e["fieldName"]) for e in dump("list", "dump", "expressions")]
    check(expressions == [("free money", "black", "Subject")], "the spam expression: %r" % expressions)


def one_run(args, home, runs):
    demo = Demo(args.quillgated, home)
    try:
        if not check(demo.said("Waiting for the sample mail"),
                     "the guide should be printed: %r" % demo.lines):
            return
        check(demo.line("Home folder:  " + re.escape(home) + "$") is not None, "the home is shown")
        upstream = demo.line(r"on 127\.0\.0\.1:(\d+), holding 4 new sample messages")
        check(demo.line(r"POP3 server:  127\.0\.0\.1 port %d, user demo, password demo$"
                        % demo.pop3_port) is not None, "the local POP3 server is shown")
        check(demo.line(r"SMTP server:  127\.0\.0\.1 port %d$" % demo.smtp_port) is not None,
              "the local SMTP server is shown")
        if not check(upstream is not None, "the upstream port is shown: %r" % demo.lines):
            return
        upstream_port = int(upstream.group(1))
        check(demo.said(ARRIVED), "the arrival line should follow: %r" % demo.lines[-3:])
        check(demo.line(ARRIVED + r": 3 of 4 delivered, 1 withheld as spam\.") is not None,
              "the arrival line counts: %r" % demo.line(ARRIVED))
        upstream_cases(upstream_port, runs)
        sorted_mail_cases(demo, runs)

        if runs == 1:
            # A second copy ends at once and leaves the running demo's box pointing at its upstream.
            second = run([args.quillgated, "--demo", "--home", home, "--pop3-port", "1",
                          "--smtp-port", "1"], timeout=30)
            check(second.returncode == EXIT_RUNNING, "a second demo exited %d" % second.returncode)
            fields = {f["number"]: f["value"] for f in map(json.loads, run(
                [args.qgctl, "record", "dump", os.path.join(home, "BOX_0001", "box.log")]
            ).stdout.splitlines())}
            # The 16-bit field is signed in the record.
            check((fields.get(4, 0) & 0xFFFF) == upstream_port and fields.get(3) == "127.0.0.1",
                  "the box still points at the running upstream: %r" % fields.get(4))
    finally:
        status, stderr = demo.stop()
    check(status == 0, "the demo exited %s" % status)
    check(stderr == "", "the demo should say nothing on stderr: %r" % stderr)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillgated", required=True)
    parser.add_argument("--qgctl", required=True)
    args, _ = parser.parse_known_args()
    with tempfile.TemporaryDirectory() as root:
        home = os.path.join(root, "demo home")
        for runs in (1, 2):
            one_run(args, home, runs)
        home_cases(args.qgctl, home)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
