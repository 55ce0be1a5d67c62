#!/usr/bin/env python3
"""RETR of a 20 MB message from Quillgate's local POP3 server against the same
RETR from Dovecot, in one run on this machine.

One 20 MB message is delivered into a box's IN folder (written there as the
fetcher's delivery leaves it) of a quillgated on free loopback ports, and the
same message lies in a Dovecot maildir beside it. curl takes it from each
(pop3://, log-in, RETR, QUIT; its own time_total, so without its process
start-up), alternately, several times each, after one untimed RETR each
(Dovecot indexes the message, the local server checks it for lone-dot lines
once). Prints both medians and the ratio Quillgate / Dovecot (below 1:
Quillgate is faster).

Not part of CI. Run it from the top of a checkout after a release build:

    cmake --preset release && cmake --build --preset release
    bench/local_retr_vs_dovecot.py [--build build/release] [--runs 7]

It needs dovecot-pop3d and curl (scripts/install-deps installs both) and works
as root or as a normal user.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration", "lib"))
from dovecot import DovecotServer  # noqa: E402
from harness import scratch_folder  # noqa: E402
from local_agent import Agent  # noqa: E402
from pop3_timing import curl_retr_seconds, twenty_megabytes  # noqa: E402

USER, PASSWORD = "bench", "secret"


def quillgate_home(build, home, message):
    """A box whose IN holds message; the fetcher never polls it."""
    subprocess.run([os.path.join(build, "src", "app", "qgctl"), "--home", home, "box", "add",
                    "bench@example.org", "--pop3", "127.0.0.1:1", "--user", USER, "--password",
                    PASSWORD, "--interval", "0", "--no-check-at-start"],
                   check=True, capture_output=True)
    with open(os.path.join(home, "BOX_0001", "IN", "00000000.msg"), "wb") as f:
        f.write(message)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build", "release"))
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    message = twenty_megabytes()
    with tempfile.TemporaryDirectory(dir=scratch_folder()) as root:
        home = os.path.join(root, "home")
        quillgate_home(args.build, home, message)
        quillgated = os.path.join(args.build, "src", "app", "quillgated")
        with DovecotServer(os.path.join(root, "dovecot"), {USER: (PASSWORD, [message])},
                           apop=False) as dovecot, \
                Agent(quillgated, home, os.path.join(root, "agent.stderr")) as agent:
            curl_retr_seconds(dovecot.port, USER, PASSWORD)
            curl_retr_seconds(agent.pop3_port, USER, PASSWORD)
            from_dovecot, from_quillgate = [], []
            for _ in range(args.runs):
                from_dovecot.append(curl_retr_seconds(dovecot.port, USER, PASSWORD))
                from_quillgate.append(curl_retr_seconds(agent.pop3_port, USER, PASSWORD))
    d, q = statistics.median(from_dovecot), statistics.median(from_quillgate)
    megabytes = len(message) / 1e6
    print("curl RETR of a %.1f MB message on loopback, median of %d runs:" % (megabytes, args.runs))
    print("  from Dovecot                    %7.1f ms  (%6.0f MB/s)" % (d * 1000, megabytes / d))
    print("  from Quillgate's POP3 server    %7.1f ms  (%6.0f MB/s)" % (q * 1000, megabytes / q))
    print("  ratio Quillgate / Dovecot        %.2f" % (q / d))


if __name__ == "__main__":
    main()
