#!/usr/bin/env python3
"""Parse throughput of the header analyzer beside Python's email package on
the same corpus, in one run: runs header_analyzer_bench (JSON output), then
times Python parsing every message (message_from_bytes, the decoded From and
Subject, and every text part's decoded content, which is what the analysis
takes from a message) and prints both figures and their ratio.

Usage: parse_ratio.py BENCH_BINARY CORPUS_DIR
"""
import email
import email.header
import email.policy
import json
import os
import subprocess
import sys
import time


def python_parse(messages):
    for data in messages:
        message = email.message_from_bytes(data, policy=email.policy.compat32)
        for field in ("From", "To", "Cc", "Subject", "Date"):
            value = message.get(field)
            if value is not None:
                try:
                    str(email.header.make_header(email.header.decode_header(value)))
                except (LookupError, UnicodeError, ValueError):
                    pass
        for part in message.walk():
            if part.get_content_maintype() == "text":
                part.get_payload(decode=True)


def main():
    bench, corpus = sys.argv[1], sys.argv[2]
    result = subprocess.run([bench, "--benchmark_format=json", "--benchmark_min_time=2"],
                            capture_output=True, text=True, check=True)
    ours = json.loads(result.stdout)["benchmarks"][0]
    names = sorted(n for n in os.listdir(corpus) if n.endswith(".eml"))
    messages = []
    for name in names:
        with open(os.path.join(corpus, name), "rb") as f:
            messages.append(f.read())
    size = sum(len(m) for m in messages)
    rounds = 0
    start = time.perf_counter()
    while rounds == 0 or time.perf_counter() - start < 2.0:
        python_parse(messages)
        rounds += 1
    elapsed = (time.perf_counter() - start) / rounds
    python_mb = size / elapsed / 1e6
    python_messages = len(messages) / elapsed
    ours_mb = ours["bytes_per_second"] / 1e6
    ours_messages = ours["items_per_second"]
    print("corpus: %d messages, %.1f MB" % (len(messages), size / 1e6))
    print("quillgate parse: %8.1f MB/s %10.0f messages/s" % (ours_mb, ours_messages))
    print("python email:    %8.1f MB/s %10.0f messages/s" % (python_mb, python_messages))
    print("ratio: %.1f x" % (ours_messages / python_messages))


if __name__ == "__main__":
    main()
