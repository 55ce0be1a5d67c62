#!/usr/bin/env python3
"""Side-by-side figures of mail retrieval, in one run on this machine.

1. Fetch throughput: Dovecot on a loopback port holds one 20 MB message; curl
   retrieves it (pop3://, log-in, RETR, QUIT; its own time_total, so without
   its process start-up) and Quillgate's POP3 client does the same
   (bench/pop3_retr_bench: connect, log-in, RETR into a file with the staging
   reserve, QUIT), alternately, several times each. Prints both medians and
   the ratio Quillgate / curl (below 1: Quillgate is faster).
2. Staging a 1,000-message box (bench/fetcher_staging_bench, an in-process
   server): the fetcher beside the bare LIST and TOP work, on disk and in
   memory, with the ratios.

Not part of CI. Run it from the top of a checkout after a release build:

    cmake --preset release && cmake --build --preset release
    bench/fetch_vs_curl.py [--build build/release] [--runs 7]

It needs dovecot-pop3d and curl (scripts/install-deps installs both) and
works as root or as a normal user.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration", "lib"))
from dovecot import DovecotServer  # noqa: E402
from pop3_timing import curl_retr_seconds, twenty_megabytes  # noqa: E402

USER, PASSWORD = "bench", "secret"


def time_curl(port):
    return curl_retr_seconds(port, USER, PASSWORD)


def time_quillgate(build, port):
    env = dict(os.environ, QG_BENCH_POP3="%d %s %s 1" % (port, USER, PASSWORD))
    out = subprocess.run([os.path.join(build, "bench", "pop3_retr_bench"),
                          "--benchmark_format=json", "--benchmark_min_time=0.01"],
                         check=True, capture_output=True, text=True, env=env).stdout
    run = json.loads(out)["benchmarks"][0]
    if run.get("error_occurred"):
        raise RuntimeError(run.get("error_message"))
    return run["real_time"] / 1000.0  # milliseconds per log-in + RETR + QUIT


def fetch_throughput(build, runs):
    message = twenty_megabytes()
    with tempfile.TemporaryDirectory() as root:
        with DovecotServer(root, {USER: (PASSWORD, [message])}, apop=False) as server:
            time_curl(server.port)  # Dovecot indexes the message on the first access
            curl, quillgate = [], []
            for _ in range(runs):
                curl.append(time_curl(server.port))
                quillgate.append(time_quillgate(build, server.port))
    c, q = statistics.median(curl), statistics.median(quillgate)
    megabytes = len(message) / 1e6
    print("Fetch of a %.1f MB message from Dovecot on loopback, median of %d runs:"
          % (megabytes, runs))
    print("  curl pop3://           %7.1f ms  (%6.0f MB/s)" % (c * 1000, megabytes / c))
    print("  Quillgate PopClient    %7.1f ms  (%6.0f MB/s)" % (q * 1000, megabytes / q))
    print("  ratio Quillgate / curl  %.2f" % (q / c))


def staging(build):
    out = subprocess.run([os.path.join(build, "bench", "fetcher_staging_bench"),
                          "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    times = {b["name"].split("/")[0]: b["real_time"] for b in json.loads(out)["benchmarks"]}
    print("Staging a 1,000-message box (in-process server), mean of 3 runs:")
    for name in ("bareOnDisk", "stageBoxOnDisk", "bareInMemory", "stageBoxInMemory"):
        print("  %-18s %8.0f ms" % (name, times[name]))
    print("  fetcher / bare LIST+TOP, in memory  %.1f" % (times["stageBoxInMemory"] / times["bareInMemory"]))
    print("  fetcher / bare LIST+TOP, on disk    %.1f" % (times["stageBoxOnDisk"] / times["bareOnDisk"]))
    print("  fetcher on disk / in memory         %.1f" % (times["stageBoxOnDisk"] / times["stageBoxInMemory"]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build", "release"))
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    fetch_throughput(args.build, args.runs)
    staging(args.build)


if __name__ == "__main__":
    main()
