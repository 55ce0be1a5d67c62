#!/usr/bin/env python3
"""The local POP3 and SMTP servers of a running quillgated against real mail
clients: Python's poplib and smtplib, curl (pop3:// and smtp://), fetchmail
(keeping mail with UIDL, and taking it) and swaks, each started by the test
against the agent's loopback ports in a temporary home folder.

Usage: local_servers_test.py --quillgated PATH --qgctl PATH
"""
import argparse
import json
import os
import poplib
import smtplib
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib"))
from harness import check, finish, wait_for  # noqa: E402
from local_agent import Agent, add_box  # noqa: E402
import mail_clients  # noqa: E402

ADDRESS = "user@example.com"
USER = "bob"
PASSWORD = "secret"
LOCKED = b"-ERR maildrop already locked"

def run(command, timeout=60, **kwargs):
    return subprocess.run(command, capture_output=True, timeout=timeout, **kwargs)


def message_of_size(k, size):
    text = ("From: Sender %d <s%d@example.org>\r\nSubject: Message %d\r\n\r\n" % (k, k, k)).encode()
    while len(text) + 12 <= size:
        text += b"body line.\r\n"
    return text + b"x" * (size - len(text))


class Box:
    def __init__(self, home, number):
        self.folder = os.path.join(home, "BOX_%04d" % number)

    def path(self, kind, n):
        return os.path.join(self.folder, kind, "%08d.msg" % n)

    def put(self, n, data):
        with open(self.path("IN", n), "wb") as f:
            f.write(data)

    def read(self, kind, n):
        with open(self.path(kind, n), "rb") as f:
            return f.read()

    def names(self, kind):
        return sorted(os.listdir(os.path.join(self.folder, kind)))

    def clear(self, kind):
        for name in self.names(kind):
            os.remove(os.path.join(self.folder, kind, name))


def names_settle(box, kind, want):
    """The names in folder kind once they equal want: the servers clean up
    right after their closing reply."""
    wait_for(lambda: box.names(kind) == want, seconds=5.0)
    return box.names(kind)


def pop(agent):
    return poplib.POP3("127.0.0.1", agent.pop3_port, timeout=10)


def logged_in(agent, user=USER, password=PASSWORD):
    client = pop(agent)
    client.user(user)
    client.pass_(password)
    return client


def refused_login(agent, user, password):
    client = pop(agent)
    try:
        client.user(user)
        client.pass_(password)
    except poplib.error_proto as error:
        return error.args[0] == LOCKED
    finally:
        client.close()
    return False


def poplib_cases(agent, box):
    box.clear("IN")
    for n in range(3):
        box.put(n, message_of_size(n + 1, 100 * (n + 1)))
    box.put(9000, message_of_size(9, 50))  # above 8191: never offered

    # CAPA first, then USER and PASS; STAT counts the three files.
    client = pop(agent)
    capabilities = client.capa()
    check(sorted(capabilities) == ["TOP", "UIDL", "USER"], "CAPA list: %r" % capabilities)
    client.user(USER)
    client.pass_(PASSWORD)
    check(client.stat() == (3, 600), "STAT gave %r" % (client.stat(),))
    check(client.list()[1] == [b"1 100", b"2 200", b"3 300"], "LIST gave %r" % client.list()[1])
    top = client.top(1, 0)[1]
    check(top == [b"From: Sender 1 <s1@example.org>", b"Subject: Message 1", b""],
          "TOP 1 0 gave %r" % top)
    client.noop()  # the connection stays open after TOP
    client.dele(2)
    client.quit()
    kept = ["00000000.msg", "00000002.msg", "00009000.msg"]
    check(names_settle(box, "IN", kept) == kept,
          "DELE 2 then QUIT should delete only the second: %r" % box.names("IN"))

    # A dropped connection deletes nothing, nor does RSET before QUIT.
    client = logged_in(agent, ADDRESS)  # log-in by the box's address
    client.dele(1)
    client.close()  # no QUIT
    client = logged_in(agent)
    client.dele(1)
    client.rset()
    client.quit()
    client = logged_in(agent)  # served only after the sessions before have ended
    client.quit()
    check(box.names("IN") == kept, "a drop or RSET must delete nothing: %r" % box.names("IN"))

    # A right user with a prefix (or an extension) of the password is refused.
    check(refused_login(agent, USER, PASSWORD[:-1]), "a password prefix should be refused")
    check(refused_login(agent, USER, PASSWORD + "x"), "a longer password should be refused")

    # A line holding only "." is sent blanked, and the file is mended alike.
    box.clear("IN")
    box.put(0, b"Subject: dots\r\n\r\nbefore\r\n.\r\nafter\r\n")
    client = logged_in(agent)
    lines = client.retr(1)[1]
    check(lines == [b"Subject: dots", b"", b"before", b" ", b"after"], "RETR gave %r" % lines)
    client.quit()
    check(box.read("IN", 0) == b"Subject: dots\r\n\r\nbefore\r\n \r\nafter\r\n",
          "the stored file should be blanked the same way: %r" % box.read("IN", 0))

    # UIDL on an empty maildrop gives the empty listing; the connection stays.
    box.clear("IN")
    client = logged_in(agent)
    reply = client.uidl()
    check(reply[0] == b"+OK 0 message (0 octets)" and reply[1] == [], "empty UIDL: %r" % (reply,))
    check(client.noop() == b"+OK", "the connection should stay open after UIDL")
    client.quit()


def curl_pop3_cases(agent, box):
    box.clear("IN")
    first = b"Subject: one\r\n\r\nfirst message\r\n"
    box.put(0, first)
    box.put(4, b"Subject: two\r\n\r\nsecond message\r\n")
    base = "pop3://%s:%s@127.0.0.1:%d/" % (USER, PASSWORD, agent.pop3_port)
    listing = run(["curl", "-sS", base])
    want = b"1 %d\r\n2 %d\r\n" % (len(first), len(box.read("IN", 4)))
    check(listing.returncode == 0 and listing.stdout == want,
          "curl LIST: %d %r %r" % (listing.returncode, listing.stdout, listing.stderr))
    message = run(["curl", "-sS", base + "1"])
    check(message.returncode == 0 and message.stdout == first,
          "curl RETR 1: %d %r" % (message.returncode, message.stdout))
    uidl = run(["curl", "-sS", "-X", "UIDL", base])
    ids = [line.split()[1] for line in uidl.stdout.splitlines()]
    check(uidl.returncode == 0 and len(ids) == 2 and len(set(ids)) == 2
          and all(0 < len(i) <= 70 and i.isascii() for i in ids), "curl UIDL: %r" % uidl.stdout)


def fetchmail(root, agent, keep, target):
    """One fetchmail poll of the agent with the box's log-in."""
    status, stderr, delivered = mail_clients.fetchmail(root, agent.pop3_port, USER, PASSWORD,
                                                       keep, target)
    check(status in (0, 1), "fetchmail status %d: %r" % (status, stderr[-500:]))
    return delivered


def delivered_subjects(paths):
    subjects = []
    for path in paths:
        with open(path, "rb") as f:
            for line in f.read().split(b"\n"):
                if line.startswith(b"Subject: "):
                    subjects.append(line[9:].strip().decode())
    return subjects


def fetchmail_cases(root, agent, box, qgctl, home):
    box.clear("IN")
    for n in range(3):
        box.put(n, message_of_size(n + 1, 150))
    keeping = os.path.join(root, "fetchmail-keep")

    # Keeping mail on the server: the second poll finds nothing new.
    got = fetchmail(root, agent, True, keeping)
    check(delivered_subjects(got) == ["Message 1", "Message 2", "Message 3"],
          "fetchmail keep should take three: %r" % delivered_subjects(got))
    check(len(box.names("IN")) == 3, "keep must leave the IN files")
    got = fetchmail(root, agent, True, keeping)
    check(len(got) == 3, "a second poll should take nothing, has %d" % len(got))

    # IN number 1 goes (another client took it) and a new message gets the
    # number: its new unique ID makes fetchmail take it.
    os.remove(box.path("IN", 1))
    box.put(1, b"From: New <n@example.org>\r\nSubject: Reused number\r\n\r\nnew\r\n")
    got = fetchmail(root, agent, True, keeping)
    check(delivered_subjects(got)[3:] == ["Reused number"],
          "the message under a reused number should be taken: %r" % delivered_subjects(got))

    # Without keep: every message is taken and deleted, each with history event 6.
    got = fetchmail(root, agent, False, os.path.join(root, "fetchmail-take"))
    check(len(got) == 3, "fetchmail should take three, took %d" % len(got))
    check(names_settle(box, "IN", []) == [],
          "fetchmail without keep should empty IN: %r" % box.names("IN"))
    history = run([qgctl, "--home", home, "history", "dump"], text=True)
    taken = sorted(record["subject"] for record in map(json.loads, history.stdout.splitlines())
                   if any(e["type"] == 6 for e in record["events"]))
    check({"Message 1", "Message 3", "Reused number"} <= set(taken),
          "history event 6 for each message fetchmail took: %r" % taken)


def smtp_reply(sock):
    data = b""
    while not data.endswith(b"\r\n"):
        chunk = sock.recv(4096)
        if not chunk:
            break
        data += chunk
    return data


def raw_smtp(agent):
    sock = socket.create_connection(("127.0.0.1", agent.smtp_port), timeout=10)
    smtp_reply(sock)
    sock.sendall(b"EHLO test\r\n")
    smtp_reply(sock)
    return sock


def learned_addresses(qgctl, home):
    """The addresses of the address list, lower-cased."""
    out = run([qgctl, "--home", home, "list", "dump", "addresses"], text=True).stdout
    return {json.loads(line)["address"].lower() for line in out.splitlines() if line.strip()}


def smtp_cases(agent, box, home, qgctl):
    box.clear("OUT")
    # smtplib: EHLO, its lower-case "mail FROM", two recipients.
    client = smtplib.SMTP("127.0.0.1", agent.smtp_port, timeout=10)
    code, text = client.ehlo()
    check((code, text) == (250, b"localhost"), "EHLO: %r" % ((code, text),))
    refused = client.sendmail("User@Example.COM", ["friend@example.net", "other@example.org"],
                              b"To: friend@example.net\r\nSubject: From smtplib\r\n\r\n.dot\r\n")
    client.quit()
    check(refused == {}, "sendmail refused %r" % refused)
    check(box.read("OUT", 0) == b"RCPT TO: friend@example.net\r\nRCTP TO: other@example.org\r\n"
          b"To: friend@example.net\r\nSubject: From smtplib\r\n\r\n..dot",
          "OUT file: %r" % box.read("OUT", 0))
    # The first recipient is queued in OutEmail.dat, where the analysis worker
    # learns it as a trusted sender; the second is not.
    check(wait_for(lambda: "friend@example.net" in learned_addresses(qgctl, home), seconds=10.0),
          "the first recipient learned: %r" % learned_addresses(qgctl, home))
    check("other@example.org" not in learned_addresses(qgctl, home),
          "only the first recipient learned")

    # An address of three characters between the brackets is refused.
    client = smtplib.SMTP("127.0.0.1", agent.smtp_port, timeout=10)
    client.ehlo()
    check(client.docmd("MAIL FROM:<abc>") == (502, b"OK"), "a three-character address")
    client.close()

    # QUIT during the envelope keeps no message but keeps the learned recipient.
    sock = raw_smtp(agent)
    sock.sendall(b"MAIL FROM:<user@example.com>\r\n")
    smtp_reply(sock)
    sock.sendall(b"RCPT TO:<later@example.net>\r\n")
    smtp_reply(sock)
    sock.sendall(b"QUIT\r\n")
    check(smtp_reply(sock).startswith(b"221 "), "QUIT in the envelope")
    sock.close()
    check(names_settle(box, "OUT", ["00000000.msg"]) == ["00000000.msg"],
          "QUIT in the envelope kept a file: %r" % box.names("OUT"))
    check(wait_for(lambda: "later@example.net" in learned_addresses(qgctl, home), seconds=10.0),
          "the recipient stays learned")

    # RSET answers in the command state and not in the envelope.
    sock = raw_smtp(agent)
    sock.sendall(b"RSET\r\n")
    check(smtp_reply(sock) == b"250 OK\r\n", "RSET in the command state")
    sock.sendall(b"MAIL FROM:<user@example.com>\r\n")
    smtp_reply(sock)
    sock.sendall(b"RCPT TO:<friend@example.net>\r\n")
    smtp_reply(sock)
    sock.sendall(b"RSET\r\n")
    sock.settimeout(0.5)
    try:
        check(sock.recv(100) == b"", "RSET in the envelope should get no answer")
    except socket.timeout:
        pass
    sock.settimeout(10)
    sock.sendall(b"NOOP\r\n")
    check(smtp_reply(sock) == b"250 OK\r\n", "NOOP after RSET in the envelope")
    sock.sendall(b"QUIT\r\n")
    sock.close()

    # swaks and curl send through the same server.
    box.clear("OUT")
    result = run(["swaks", "--server", "127.0.0.1:%d" % agent.smtp_port, "--from", ADDRESS,
                  "--to", "friend@example.net", "--header", "Subject: From swaks",
                  "--body", "hello"])
    check(result.returncode == 0, "swaks status %d: %r" % (result.returncode, result.stdout[-300:]))
    mail = os.path.join(os.path.dirname(box.folder), "curl.eml")
    with open(mail, "wb") as f:
        f.write(b"To: friend@example.net\r\nSubject: From curl\r\n\r\nhello\r\n")
    result = run(["curl", "-sS", "smtp://127.0.0.1:%d" % agent.smtp_port, "--mail-from", ADDRESS,
                  "--mail-rcpt", "friend@example.net", "--upload-file", mail])
    check(result.returncode == 0, "curl smtp status %d: %r" % (result.returncode, result.stderr))
    subjects = [b"Subject: From swaks" in box.read("OUT", 0),
                box.read("OUT", 1) == b"RCPT TO: friend@example.net\r\n"
                b"To: friend@example.net\r\nSubject: From curl\r\n\r\nhello"]
    check(subjects == [True, True], "swaks and curl messages: %r" % box.names("OUT"))

    # With every OUT number taken, the first RCPT TO is answered and then refused.
    box.clear("OUT")
    for n in range(8192):
        open(box.path("OUT", n), "wb").close()
    sock = raw_smtp(agent)
    sock.sendall(b"MAIL FROM:<user@example.com>\r\n")
    smtp_reply(sock)
    sock.sendall(b"RCPT TO:<friend@example.net>\r\n")
    answer = smtp_reply(sock)
    while answer.count(b"\r\n") < 2:
        more = sock.recv(100)
        if not more:
            break
        answer += more
    check(answer == b"250 OK\r\n502 OK\r\n", "a full OUT folder: %r" % answer)
    sock.close()
    box.clear("OUT")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillgated", required=True)
    parser.add_argument("--qgctl", required=True)
    args, _ = parser.parse_known_args()

    with tempfile.TemporaryDirectory() as root:
        home = os.path.join(root, "home")
        box = Box(home, add_box(args.qgctl, home, ADDRESS, USER, PASSWORD))
        stderr_path = os.path.join(root, "agent.stderr")
        begun = time.monotonic()
        with Agent(args.quillgated, home, stderr_path) as agent:
            poplib_cases(agent, box)
            curl_pop3_cases(agent, box)
            fetchmail_cases(root, agent, box, args.qgctl, home)
            smtp_cases(agent, box, home, args.qgctl)
            status = agent.stop()
        check(status == 0, "the agent exited %s" % status)
        with open(stderr_path) as f:
            said = f.read()
        check(said == "", "the agent should run silently, said: %r" % said)
        print("took %.1f s" % (time.monotonic() - begun))

    return finish()


if __name__ == "__main__":
    sys.exit(main())
