#!/usr/bin/env python3
"""Time from mail appearing upstream to its IN file, in one run on this machine.

Dovecot on a loopback port is the upstream server. For 1 and for 1,000
messages (corpus messages, cycled) the script puts the messages into the
maildir, asks the running quillgated to check now (qgctl check) and clocks
the time until the first and until the last of them is an IN file of the box:
staging the headers, classifying them (a profile without rules that delivers
everything), fetching the whole messages and delivering them. Beside it, in
the same run, fetchmail takes the same number of new messages from a second
Dovecot account and hands each to a one-line MDA (cat into a file): the time
from the messages appearing to the end of its poll. Prints both and the ratio
Quillgate / fetchmail (below 1: Quillgate is faster).

Not part of CI. Run it from the top of a checkout after a release build:

    cmake --preset release && cmake --build --preset release
    bench/upstream_to_in.py [--build build/release] [--memory]

--memory puts the home folder on /dev/shm: the history writer flushes every
event to the disk, which on a slow disk dominates the 1,000-message figure.
It needs dovecot-pop3d and fetchmail (scripts/install-deps installs both).
"""
import argparse
import glob
import os
import stat
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration", "lib"))
from dovecot import DovecotServer  # noqa: E402
from harness import protocol_types  # noqa: E402
from local_agent import Agent, free_ports  # noqa: E402

QG_USER, FM_USER, PASSWORD = "qg", "fm", "secret"
PASS_END = 16


def corpus_messages(corpus, count):
    files = sorted(glob.glob(os.path.join(corpus, "*.eml")))
    messages = []
    for i in range(count):
        with open(files[i % len(files)], "rb") as f:
            # A line of its own keeps cycled copies apart for the fetcher's matching.
            messages.append(b"X-Bench-Copy: %d\r\n" % i + f.read())
    return messages


def wait(predicate, seconds, step=0.005):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def in_count(home):
    return len(os.listdir(os.path.join(home, "BOX_0001", "IN")))


def quillgate_run(qgctl, server, home, messages):
    before = in_count(home)
    passes = protocol_types(home).count(PASS_END)
    for message in messages:
        server.add_message(QG_USER, message)
    appeared = time.monotonic()
    subprocess.run([qgctl, "--home", home, "check"], check=True, capture_output=True)
    if not wait(lambda: in_count(home) > before, 600):
        raise RuntimeError("no IN file came")
    first = time.monotonic() - appeared
    if not wait(lambda: in_count(home) >= before + len(messages), 1200, 0.02):
        raise RuntimeError("only %d of %d IN files came" % (in_count(home) - before, len(messages)))
    last = time.monotonic() - appeared
    wait(lambda: protocol_types(home).count(PASS_END) > passes, 120, 0.05)
    return first, last


def fetchmail_run(root, server, messages):
    target = tempfile.mkdtemp(dir=root)
    rc = os.path.join(root, "fetchmailrc")
    with open(rc, "w") as f:
        f.write("poll 127.0.0.1 protocol pop3 port %d uidl bad-header accept\n"
                '  user "%s" password "%s" keep\n'
                "  sslproto ''\n"
                "  mda \"cat > $(mktemp -p %s)\"\n" % (server.port, FM_USER, PASSWORD, target))
    os.chmod(rc, stat.S_IRUSR | stat.S_IWUSR)
    for message in messages:
        server.add_message(FM_USER, message)
    appeared = time.monotonic()
    result = subprocess.run(["fetchmail", "--nosyslog", "--fetchmailrc", rc, "--idfile",
                             os.path.join(root, "fetchmail.ids"), "--pidfile",
                             os.path.join(root, "fetchmail.pid")],
                            capture_output=True, text=True, env=dict(os.environ, HOME=root))
    took = time.monotonic() - appeared
    got = len(os.listdir(target))
    if result.returncode != 0 or got != len(messages):
        raise RuntimeError("fetchmail took %d of %d (status %d): %s"
                           % (got, len(messages), result.returncode, result.stderr[-300:]))
    return took


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build", "release"))
    parser.add_argument("--corpus", default=os.path.join(HERE, "..", "..", "shared", "corpus"))
    parser.add_argument("--memory", action="store_true", help="home folder on /dev/shm")
    args = parser.parse_args()
    quillgated = os.path.join(args.build, "src", "app", "quillgated")
    qgctl = os.path.join(args.build, "src", "app", "qgctl")

    with tempfile.TemporaryDirectory(dir="/dev/shm" if args.memory else None) as root:
        with DovecotServer(os.path.join(root, "dovecot"),
                           {QG_USER: (PASSWORD, []), FM_USER: (PASSWORD, [])},
                           apop=False) as server:
            home = os.path.join(root, "home")
            subprocess.run([qgctl, "--home", home, "profile", "reset", "Deliver"], check=True,
                           capture_output=True)
            subprocess.run([qgctl, "--home", home, "box", "add", "bench@example.com", "--pop3",
                            "127.0.0.1:%d" % server.port, "--user", QG_USER, "--password",
                            PASSWORD, "--profile", "Deliver", "--interval", "0"],
                           check=True, capture_output=True)
            (nowhere,) = free_ports(1)
            options = ["--dns-servers", "127.0.0.1:%d" % nowhere, "--dns-port", str(nowhere)]
            with Agent(quillgated, home, os.path.join(root, "agent.stderr"), options):
                if not wait(lambda: PASS_END in protocol_types(home), 60, 0.05):
                    raise RuntimeError("the agent's first pass did not end")
                print("Upstream to IN file, %s home folder:" % ("memory" if args.memory
                                                                else "disk"))
                for count in (1, 1000):
                    messages = corpus_messages(args.corpus, count)
                    first, last = quillgate_run(qgctl, server, home, messages)
                    fetchmail = fetchmail_run(root, server, messages)
                    print("  %5d message(s): Quillgate first %6.2f s, last %6.2f s;"
                          " fetchmail %6.2f s; ratio Quillgate / fetchmail %.2f"
                          % (count, first, last, fetchmail, last / fetchmail))


if __name__ == "__main__":
    main()
