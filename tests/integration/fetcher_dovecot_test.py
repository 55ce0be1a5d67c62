#!/usr/bin/env python3
"""The mail fetcher against Dovecot, with the corpus in its maildir.

- quillgated with a box made by `qgctl box add` logs in with APOP and stages
  every message's header exactly as Dovecot sends it for TOP n 0 (a profile
  that holds every message keeps the headers as staged), and deletes nothing
  on the server;
- the fetcher run in-process (fetch_driver, a test thread deciding "Not spam",
  every fifth message fetched whole first) logs in with USER/PASS and delivers
  IN files byte-identical to what Dovecot sends for RETR;
- SIGTERM while a 20 MB header is being received (through a slow link) ends
  the agent within about two seconds and leaves nothing half-written.

What Dovecot sends is asked of Dovecot itself over a raw POP3 session. The
folders go to a memory file system when one with room is there: the history
writer flushes every event to disk, which would make this test ten times
slower without changing what it checks.

Usage: fetcher_dovecot_test.py --quillgated PATH --qgctl PATH --fetch-driver PATH --corpus DIR
"""
import argparse
import glob
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib"))
from dovecot import DovecotServer, RawPop3  # noqa: E402
from box_files import check_nothing_deleted, other_tmp_files, staged_slots  # noqa: E402
from harness import check, finish, protocol_types, run, scratch_folder, wait_for  # noqa: E402

STAGING_LINE = 50
PASS_END = 16
USER, PASSWORD = "qg", "secret"

def corpus_messages(corpus):
    messages = []
    for path in sorted(glob.glob(os.path.join(corpus, "*.eml"))):
        with open(path, "rb") as f:
            messages.append(f.read())
    return messages


def record_line(data):
    """The fields of a staging file's record line."""
    fields = data[:48].split(b" ")
    return {"stamp": int(fields[0], 16), "size": int(fields[1], 16),
            "number": int(fields[2], 16), "received": int(fields[3], 16),
            "flags": int(fields[4], 16)}




def add_box(qgctl, home, port, profile=None):
    command = [qgctl, "--home", home, "box", "add", "qg@example.com",
               "--pop3", "127.0.0.1:%d" % port, "--user", USER, "--password", PASSWORD]
    if profile:
        command += ["--profile", profile]
    result = run(command)
    check(result.returncode == 0, "qgctl box add: %d %s" % (result.returncode, result.stderr))


def add_holding_profile(qgctl, home, name="Hold"):
    """A profile without rules whose default verdict holds every message: the
    analysis worker then renames each staged header to ".hdp" and leaves the
    text behind its record line as the fetcher staged it."""
    result = run([qgctl, "--home", home, "profile", "reset", name])
    check(result.returncode == 0, "qgctl profile reset: %s" % result.stderr)
    path = os.path.join(home, json.loads(result.stdout)["file"])
    result = run([qgctl, "--home", home, "record", "set", path, "410", "byte", "1"])
    check(result.returncode == 0, "qgctl record set: %s" % result.stderr)
    return name



def agent_stages_every_header(args, root, messages):
    """quillgated stages the headers; APOP, as Dovecot offers it."""
    with DovecotServer(os.path.join(root, "dovecot-apop"), {USER: (PASSWORD, messages)},
                       apop=True) as server:
        home = os.path.join(root, "agent")
        add_box(args.qgctl, home, server.port, add_holding_profile(args.qgctl, home))
        begun = time.monotonic()
        with open(os.path.join(root, "agent.stderr"), "w") as stderr:
            agent = subprocess.Popen([args.quillgated, "--home", home], stderr=stderr)
        try:
            check(wait_for(lambda: PASS_END in protocol_types(home), 240),
                  "the first pass should end, protocol: %s" % protocol_types(home)[:20])
            print("staging %d messages from Dovecot took %.1f s"
                  % (len(messages), time.monotonic() - begun))
            run([args.qgctl, "--home", home, "stop"])
            check(agent.wait(timeout=30) == 0, "the agent should exit with status 0")
        finally:
            if agent.poll() is None:
                agent.kill()
                agent.wait()

        check(re.search(r"Login: user=<qg>, method=APOP", server.log()) is not None,
              "the agent should log in with APOP")
        slots = staged_slots(home)
        check(len(slots) == len(messages),
              "%d messages should be staged, found %d" % (len(messages), len(slots)))
        check(other_tmp_files(home) == [], "temporary files left: %s" % other_tmp_files(home))
        session = RawPop3(server.port)
        session.login(USER, PASSWORD)
        numbers = set()
        for slot, (state, data) in sorted(slots.items()):
            line = record_line(data)
            numbers.add(line["number"])
            header = session.top(line["number"])
            # Held (class 4) by the profile, the text as staged.
            if not check(state == "hdp" and data[STAGING_LINE:] == header
                         and line["received"] == len(header) and (line["flags"] & 0xF) == 4,
                         "slot %d (message %d, state %s) differs from Dovecot's TOP answer"
                         % (slot, line["number"], state)):
                break
        session.quit()
        check(numbers == set(range(1, len(messages) + 1)), "every server number once")
        check_nothing_deleted(server, USER, PASSWORD, len(messages))


def fetcher_delivers_what_dovecot_sends(args, root, messages):
    """The in-process fetcher delivers into IN; USER/PASS without APOP."""
    with DovecotServer(os.path.join(root, "dovecot-plain"), {USER: (PASSWORD, messages)},
                       apop=False) as server:
        home = os.path.join(root, "driver")
        add_box(args.qgctl, home, server.port)
        begun = time.monotonic()
        result = run([args.fetch_driver, home, "--deliver", "--whole-every", "5"], timeout=600)
        print("delivering %d messages from Dovecot took %.1f s"
              % (len(messages), time.monotonic() - begun))
        check(result.returncode == 0, "fetch_driver: %d %s %s"
              % (result.returncode, result.stdout, result.stderr))
        check(re.search(r"Login: user=<qg>, method=PLAIN", server.log()) is not None,
              "the fetcher should log in with USER/PASS")

        inbox = os.path.join(home, "BOX_0001", "IN")
        delivered = []
        for name in sorted(os.listdir(inbox)):
            with open(os.path.join(inbox, name), "rb") as f:
                delivered.append(f.read())
        session = RawPop3(server.port)
        session.login(USER, PASSWORD)
        sent = [session.retr(n) for n in range(1, len(messages) + 1)]
        session.quit()
        check(len(delivered) == len(messages),
              "%d IN files, want %d" % (len(delivered), len(messages)))
        check(sorted(delivered) == sorted(sent), "IN files should be what Dovecot sends for RETR")
        slots = staged_slots(home)
        states = sorted(set(state for state, _ in slots.values()))
        check(len(slots) == len(messages) and states == ["hd~"],
              "every slot should be finished, states %s" % states)
        check(other_tmp_files(home) == [], "temporary files left: %s" % other_tmp_files(home))
        check_nothing_deleted(server, USER, PASSWORD, len(messages))


class SlowLink:
    """A loopback proxy whose server-to-client direction carries at most rate
    bytes a second, so that a transfer lasts long enough to be interrupted."""

    def __init__(self, upstream_port, rate):
        self.upstream_port = upstream_port
        self.rate = rate
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.closed = False
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while not self.closed:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            server = socket.create_connection(("127.0.0.1", self.upstream_port))
            threading.Thread(target=self._pipe, args=(client, server, None), daemon=True).start()
            threading.Thread(target=self._pipe, args=(server, client, self.rate),
                             daemon=True).start()

    @staticmethod
    def _pipe(source, target, rate):
        chunk = 16 * 1024
        try:
            while True:
                data = source.recv(chunk)
                if not data:
                    break
                target.sendall(data)
                if rate:
                    time.sleep(len(data) / rate)
        except OSError:
            pass
        for s in (source, target):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def close(self):
        self.closed = True
        self.listener.close()


def sigterm_during_a_large_transfer(args, root):
    # No empty line: TOP 1 0 carries all 20 MB.
    line = b"X-Filler: " + b"a" * 70 + b"\r\n"
    big = b"Subject: large\r\n" + line * (20 * 1024 * 1024 // len(line))
    with DovecotServer(os.path.join(root, "dovecot-big"), {USER: (PASSWORD, [big])},
                       apop=False) as server:
        link = SlowLink(server.port, rate=2 * 1024 * 1024)
        home = os.path.join(root, "stop")
        add_box(args.qgctl, home, link.port)
        head = os.path.join(home, "BOX_0001", "TMP", "tmphead.tmp")
        agent = subprocess.Popen([args.quillgated, "--home", home], stderr=subprocess.DEVNULL)
        try:
            receiving = wait_for(lambda: os.path.exists(head)
                                 and os.path.getsize(head) > 1024 * 1024, 60)
            check(receiving, "the 20 MB header should be on its way")
            begun = time.monotonic()
            run([args.qgctl, "--home", home, "stop"])
            status = agent.wait(timeout=60)
            took = time.monotonic() - begun
            print("SIGTERM during the transfer: the agent ended after %.2f s" % took)
            check(status == 0, "the agent should exit with status 0, got %d" % status)
            check(took < 2.5, "the agent should end within about 2 s, took %.2f s" % took)
        finally:
            if agent.poll() is None:
                agent.kill()
                agent.wait()
            link.close()
        check(not os.path.exists(head), "the cut transfer should leave no tmphead.tmp")
        check(staged_slots(home) == {}, "nothing should be staged")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillgated", required=True)
    parser.add_argument("--qgctl", required=True)
    parser.add_argument("--fetch-driver", required=True)
    parser.add_argument("--corpus", required=True)
    args, _ = parser.parse_known_args()
    messages = corpus_messages(args.corpus)
    check(len(messages) > 600, "the corpus should hold its messages, found %d" % len(messages))

    with tempfile.TemporaryDirectory(dir=scratch_folder()) as root:
        for test in (agent_stages_every_header, fetcher_delivers_what_dovecot_sends):
            begun = time.monotonic()
            test(args, root, messages)
            print("%s: %.1f s" % (test.__name__, time.monotonic() - begun))
        begun = time.monotonic()
        sigterm_during_a_large_transfer(args, root)
        print("sigterm_during_a_large_transfer: %.1f s" % (time.monotonic() - begun))

    return finish()


if __name__ == "__main__":
    sys.exit(main())
