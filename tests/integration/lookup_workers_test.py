#!/usr/bin/env python3
"""The DNSBL checker and the address validation worker of quillgated against
real DNS servers, in a private network and mount namespace: the system
resolver asks a named on 127.0.0.3 port 53 that holds a test blocklist zone
and the test mail zones; the validation worker's walk starts at a second named
on 127.0.0.2 that delegates to the first. Requests queued while the agent is
offline (--offline-file) wait; once online, the results appear in dnsbl.inp
and vlde.inp, and blocklist lookups are at least a second apart.

Usage: lookup_workers_test.py --quillgated PATH --qgctl PATH
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib"))
import dns_lab  # noqa: E402
from harness import check, finish, wait_for  # noqa: E402

LISTED = 0x80000000
ZONE = "bl.test"
CODES = [2, 4, 5, 6]


def address(text):
    a, b, c, d = (int(part) for part in text.split("."))
    return a << 24 | b << 16 | c << 8 | d


def signature(zone):
    total = sum((i + 1) * (b - 256 if b > 127 else b) for i, b in enumerate(zone.encode()))
    return (total & 0xFFFF) | ((len(zone) + 1) & 0xFF) << 16 | (zone.encode()[0] & 0x7F) << 24


def request(ip, zone=ZONE, codes=CODES):
    padded = list(codes) + [0] * (32 - len(codes))
    return (struct.pack("<I", address(ip)) + ("%50s" % zone).encode()
            + "".join(" %3d" % c for c in padded).encode())


def results(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    return [struct.unpack_from("<II", data, i) for i in range(0, len(data) - 7, 8)]


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def append(path, data):
    # Whole records in one write, as the agent's own producers append them.
    with open(path, "ab") as f:
        f.write(data)


def zones(auth):
    blocklist = dns_lab.zone(auth + ".", [
        "10.2.0.192 A 127.0.0.4",  # listed: code 4
        "11.2.0.192 A 127.0.0.9",  # an answer that matches no code
    ])
    example = dns_lab.zone(auth + ".", [
        "one MX 10 mail.one", "mail.one A 192.0.2.31", "plain A 192.0.2.40",
    ])
    return {ZONE + ".": blocklist, "example.test.": example}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillgated", required=True)
    parser.add_argument("--qgctl", required=True)
    args, _ = parser.parse_known_args()

    with tempfile.TemporaryDirectory() as root, dns_lab.Lab(root) as lab:
        dns_lab.prepare_lab_namespace(os.path.join(root, "etc"))
        auth = lab.named("auth", dns_lab.AUTH, 53, zones(dns_lab.AUTH), query_log=True)
        lab.named("gtld", dns_lab.GTLD, dns_lab.GTLD_PORT, {"test.": dns_lab.zone(
            dns_lab.GTLD + ".", ["example NS %s." % dns_lab.AUTH])})

        home = os.path.join(root, "home")
        result = subprocess.run([args.qgctl, "--home", home, "box", "add", "user@example.com",
                                 "--pop3", "127.0.0.1:1", "--user", "user", "--password", "secret"],
                                capture_output=True, text=True, timeout=60)
        if not check(result.returncode == 0, "qgctl box add: " + result.stderr):
            return 1
        dnsbl_inf = os.path.join(home, "dnsbl.inf")
        dnsbl_inp = os.path.join(home, "dnsbl.inp")
        vlde_inf = os.path.join(home, "vlde.inf")
        vlde_inp = os.path.join(home, "vlde.inp")
        offline = os.path.join(root, "offline")
        open(offline, "w").close()

        first = request("192.0.2.10")
        names = b"one.example.test\0plain.example.test\0nomail.example.test\0one.example.test\0"
        append(dnsbl_inf, first)
        append(vlde_inf, names)
        agent = subprocess.Popen(
            [args.quillgated, "--home", home, "--offline-file", offline,
             "--pop3-port", "11110", "--smtp-port", "11125",
             "--dns-servers", "%s:%d" % (dns_lab.GTLD, dns_lab.GTLD_PORT), "--dns-port", "53"],
            stderr=subprocess.PIPE, text=True)
        try:
            # Offline: nothing is looked up and both queues stay as they are.
            time.sleep(2.5)
            check(agent.poll() is None, "the agent ended: %s" % agent.poll())
            check(read(dnsbl_inf) == first and read(dnsbl_inp) in (None, b""),
                  "offline, the DNSBL request should wait: inf %r inp %r"
                  % (read(dnsbl_inf), read(dnsbl_inp)))
            check(read(vlde_inf) == names and read(vlde_inp) in (None, b""),
                  "offline, the names should wait: inf %r inp %r"
                  % (read(vlde_inf), read(vlde_inp)))
            check(auth.queries() == [], "offline, no query should be made: %s" % auth.queries())

            # The same address in another zone is not asked while its result is there.
            append(dnsbl_inf, request("192.0.2.11") + request("192.0.2.12")
                   + request("192.0.2.10", zone="other." + ZONE))
            os.remove(offline)
            check(wait_for(lambda: read(dnsbl_inf) == b"" and read(vlde_inf) == b""),
                  "both queues should be worked off: dnsbl.inf %d bytes, vlde.inf %r"
                  % (len(read(dnsbl_inf) or b""), read(vlde_inf)))

            sig = signature(ZONE)
            check(results(dnsbl_inp) == [(address("192.0.2.10"), sig | LISTED),
                                         (address("192.0.2.12"), sig)],
                  "dnsbl.inp: listed, then not listed, nothing for the unmatched code: %s"
                  % [(hex(a), hex(w)) for a, w in results(dnsbl_inp) or []])
            check(read(vlde_inp) == b"one.example.test\0\1plain.example.test\0\1"
                                    b"nomail.example.test\0\0",
                  "vlde.inp: %r" % read(vlde_inp))

            blocklist = [q for q in auth.queries() if q[1].endswith("." + ZONE)]
            check([q[1] for q in blocklist] == ["10.2.0.192.bl.test", "11.2.0.192.bl.test",
                                               "12.2.0.192.bl.test"],
                  "one blocklist query per request not answered yet: %s" % blocklist)
            gaps = [b[0] - a[0] for a, b in zip(blocklist, blocklist[1:])]
            check(all(gap >= 0.95 for gap in gaps), "blocklist lookups closer than 1 s: %s" % gaps)
            walks = [q for q in auth.queries() if q[1] == "one.example.test" and q[2] == "MX"]
            check(len(walks) == 1, "a name queued twice is looked up once: %s" % walks)

            result = subprocess.run([args.qgctl, "--home", home, "stop"], capture_output=True,
                                    text=True, timeout=30)
            check(result.returncode == 0, "qgctl stop: " + result.stderr)
            status = agent.wait(timeout=30)
            check(status == 0, "agent exited %d" % status)
        finally:
            if agent.poll() is None:
                agent.kill()
                agent.wait()
        stderr = agent.stderr.read()
        check(stderr == "", "the agent should run silently, said: %r" % stderr)

    return finish()


if __name__ == "__main__":
    status = dns_lab.run_in_lab_namespace(sys.argv)
    sys.exit(main() if status is None else status)
