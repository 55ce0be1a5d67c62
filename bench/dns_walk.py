#!/usr/bin/env python3
"""Runs bench/dns_walk_bench against real DNS servers: a named on 127.0.0.2
port 5300 plays the gTLD server and delegates example.test to a named on
127.0.0.3 port 53, in a private network and mount namespace whose system
resolver asks the second server (needs root). Prints the benchmark's table
and the walk's median time as a multiple of one plain TCP exchange.

Usage: bench/dns_walk.py build/release/bench/dns_walk_bench [benchmark options]
"""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "integration", "lib"))
import dns_lab  # noqa: E402


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    program = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as root, dns_lab.Lab(root) as lab:
        dns_lab.prepare_lab_namespace(os.path.join(root, "etc"))
        auth = dns_lab.AUTH
        lab.named("auth", auth, 53, {"example.test.": dns_lab.zone(auth + ".", [
            "@ MX 10 mx1", "@ MX 20 mx2", "mx1 A 192.0.2.21", "mx2 A 192.0.2.22"])})
        lab.named("gtld", dns_lab.GTLD, dns_lab.GTLD_PORT, {"test.": dns_lab.zone(
            dns_lab.GTLD + ".", ["example NS %s." % auth])})
        env = dict(os.environ, QG_BENCH_DNS_SERVERS="%s:%d" % (dns_lab.GTLD, dns_lab.GTLD_PORT),
                   QG_BENCH_DNS_PORT="53", QG_BENCH_DNS_ZONES=auth,
                   QG_BENCH_DNS_DOMAIN="example.test")
        json_path = os.path.join(root, "out.json")
        # Medians of several runs: the machine may be busy with other work.
        result = subprocess.run([program, "--benchmark_out=" + json_path,
                                 "--benchmark_out_format=json", "--benchmark_repetitions=5",
                                 "--benchmark_report_aggregates_only=true"] + sys.argv[2:],
                                env=env)
        if result.returncode != 0:
            return result.returncode
        with open(json_path) as f:
            times = {b["run_name"]: b["real_time"] for b in json.load(f)["benchmarks"]
                     if b.get("aggregate_name", "median") == "median"}
        floor = times.get("BM_OneTcpExchange")
        if floor:
            for name in ("BM_MailHostAddressWalk", "BM_LookupMxWalk"):
                if name in times:
                    print("%s: %.0f us = %.2f x one TCP exchange (%.0f us)"
                          % (name, times[name], times[name] / floor, floor))
    return 0


if __name__ == "__main__":
    status = dns_lab.run_in_lab_namespace(sys.argv)
    sys.exit(main() if status is None else status)
