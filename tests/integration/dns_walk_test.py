#!/usr/bin/env python3
"""The agent's own DNS client against real DNS servers, in a private network
and mount namespace: a named on 127.0.0.2 (port 5300) plays the gTLD server
and delegates to a second named on 127.0.0.3 port 53, which holds the test
zones. "qgctl dns" walks the referral over TCP; its mail-host lookups resolve
exchange hosts through the system resolver, which asks the second server.

Usage: dns_walk_test.py --qgctl PATH
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib"))
import dns_lab  # noqa: E402
from harness import check, finish  # noqa: E402


def zones(auth):
    example = dns_lab.zone(auth + ".", [
        "@ MX 20 mx1", "@ MX 10 mx2",
        "mx1 A 192.0.2.21", "mx2 A 192.0.2.22",
        "one MX 10 mail.one", "mail.one A 192.0.2.31",
        "alias CNAME one",
        "plain A 192.0.2.40",
        "dangling MX 10 gone.invalid.",
    ])
    split = dns_lab.zone(auth + ".", ["@ MX 10 mx", "mx A 192.0.2.50"])
    return {"example.test.": example, "split.test.": split}


def mx_text(owner, preference, exchange):
    return ("MX Record\nName=%s\nTTL=300\nTYPE=15\nPreference=%d\nExchange=%s\n\n"
            % (owner, preference, exchange))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--qgctl", required=True)
    args, _ = parser.parse_known_args()

    with tempfile.TemporaryDirectory() as root, dns_lab.Lab(root) as lab:
        dns_lab.prepare_lab_namespace(os.path.join(root, "etc"))
        auth, gtld = dns_lab.AUTH, dns_lab.GTLD
        lab.named("auth", auth, 53, zones(auth), query_log=True)
        lab.named("gtld", gtld, dns_lab.GTLD_PORT, {"test.": dns_lab.zone(gtld + ".", [
            "example NS %s." % auth,
            # The first server of this delegation cannot be reached.
            "split NS %s." % dns_lab.UNUSED, "split NS %s." % auth,
        ])}, query_log=True)

        def qgctl(*words):
            command = [args.qgctl, "dns", "--dns-servers", "%s:%d" % (gtld, dns_lab.GTLD_PORT),
                       "--dns-port", "53"] + list(words)
            return subprocess.run(command, capture_output=True, text=True, timeout=120)

        cases = [
            (["mx", "one.example.test"], 0, mx_text("one.example.test", 10, "mail.one.example.test")),
            (["mx", "alias.example.test"], 0,
             "CNAME Record:\nName=alias.example.test\nTTL=300\nTYPE=5\nCName=one.example.test\n\n"
             + mx_text("one.example.test", 10, "mail.one.example.test")),
            (["mx", "split.test"], 0, mx_text("split.test", 10, "mx.split.test")),
            (["mx", "plain.example.test"], 1, ""),
            (["mailhost", "one.example.test"], 0, "192.0.2.31 mail.one.example.test\n"),
            # No MX: the name's own address from the system resolver.
            (["mailhost", "plain.example.test"], 0, "192.0.2.40 plain.example.test\n"),
            (["mailhost", "dangling.example.test"], 1, ""),
            (["mailhost", "nomail.example.test"], 1, ""),
        ]
        for words, status, want in cases:
            result = qgctl(*words)
            check(result.returncode == status and result.stdout == want,
                  "qgctl dns %s: status %d, got %r, want %r (stderr %r)"
                  % (" ".join(words), result.returncode, result.stdout, want, result.stderr))

        result = subprocess.run([args.qgctl, "dns", "--dns-servers", "ns.example.test", "mx",
                                 "one.example.test"], capture_output=True, text=True, timeout=30)
        check(result.returncode == 2 and "--dns-servers" in result.stderr,
              "a server list without addresses is a usage error: %d %r"
              % (result.returncode, result.stderr))

        # Two exchanges: the first one listed gives the address, both follow in
        # answer order whatever their preference (the server may rotate them).
        begun = time.monotonic()
        result = qgctl("mailhost", "example.test")
        took = time.monotonic() - begun
        check(result.stdout in ("192.0.2.21 mx1.example.test mx2.example.test\n",
                                "192.0.2.22 mx2.example.test mx1.example.test\n"),
              "qgctl dns mailhost example.test gave %r" % result.stdout)
        print("one mail-host walk through qgctl took %.3f s" % took)

        # The walk asked both servers over TCP without recursion desired.
        walked = [q for server in lab.servers for q in server.queries() if q[2] == "MX"]
        check(walked and all(re.match(r"-.*T", q[3]) for q in walked),
              "walk queries should be TCP without RD: %s" % walked)
        check(any(q[1] == "split.test" for q in lab.servers[0].queries()),
              "split.test should reach the zones' server past the dead one")

    return finish()


if __name__ == "__main__":
    status = dns_lab.run_in_lab_namespace(sys.argv)
    sys.exit(main() if status is None else status)
