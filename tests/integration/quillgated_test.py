#!/usr/bin/env python3
"""quillgated in a temporary home folder: start-up on an empty home, a second
copy, the signals (SIGUSR1, SIGHUP, SIGTERM through qgctl check/reload/stop)
and what an orderly exit leaves in set.log and the protocol.

Usage: quillgated_test.py --quillgated PATH --qgctl PATH
"""
import argparse
import glob
import json
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib"))
from harness import check, finish, protocol_types, run, wait_for  # noqa: E402
from local_agent import free_ports  # noqa: E402

WORKER_THREADS = ["qg-pop3", "qg-smtp", "qg-analysis", "qg-fetcher",
                  "qg-validation", "qg-sound", "qg-dnsbl"]
EXIT_RUNNING = 3
EXIT_NO_BOX = 4

def record_fields(qgctl, path):
    result = run([qgctl, "record", "dump", path])
    if result.returncode != 0:
        return {}
    return {f["number"]: f for f in map(json.loads, result.stdout.splitlines())}


def worker_threads(pid):
    """Thread name -> thread id of the agent's worker threads."""
    threads = {}
    for task in glob.glob("/proc/%d/task/*" % pid):
        try:
            with open(task + "/comm") as comm:
                name = comm.read().strip()
        except OSError:
            continue
        if name in WORKER_THREADS:
            threads[name] = int(os.path.basename(task))
    return threads


def make_box(qgctl, home):
    """Box 1 as the setup does it (folders, new-box values, built-in profiles)."""
    result = run([qgctl, "--home", home, "box", "add", "user@example.com",
                  "--pop3", "127.0.0.1:1", "--user", "user", "--password", "secret"])
    check(result.returncode == 0 and result.stdout.strip() == "1",
          "qgctl box add: status %d, %r %r" % (result.returncode, result.stdout, result.stderr))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillgated", required=True)
    parser.add_argument("--qgctl", required=True)
    args, _ = parser.parse_known_args()
    agent, qgctl = args.quillgated, args.qgctl

    with tempfile.TemporaryDirectory() as root:
        home = os.path.join(root, "home")

        # Empty home: the defaults are written, and the agent says how to add a box.
        result = run([agent, "--home", home])
        check(result.returncode == EXIT_NO_BOX, "empty home exited %d" % result.returncode)
        check("qgctl" in result.stderr and "box add" in result.stderr,
              "no-box message should tell how to add a box: " + result.stderr)
        fields = record_fields(qgctl, os.path.join(home, "set.log"))
        check(fields.get(1, {}).get("value") == 101, "set.log field 1 should be 'e'")
        check(fields.get(2, {}).get("value") == home, "set.log field 2 should be the home")
        check(fields.get(3, {}).get("value") == home, "set.log field 3 should be the home")
        check(fields.get(71, {}).get("value") == -1, "set.log field 71 should be -1")
        check(len(fields) == 48, "a new set.log holds 48 fields, got %d" % len(fields))

        result = run([agent, "--no-such-option"])
        check(result.returncode == 2, "usage error exited %d" % result.returncode)

        result = run([qgctl, "--home", home, "stop"])
        check(result.returncode == 1 and len(result.stderr.splitlines()) == 1,
              "stop without an agent: status %d, stderr %r" % (result.returncode, result.stderr))

        make_box(qgctl, home)
        stderr_path = os.path.join(root, "agent.stderr")
        # The local servers listen on free ports (the defaults 110 and 25 may be
        # taken or need privileges).
        pop3_port, smtp_port = free_ports(2)
        with open(stderr_path, "w") as stderr_file:
            process = subprocess.Popen([agent, "--home", home, "--pop3-port", str(pop3_port),
                                        "--smtp-port", str(smtp_port)], stderr=stderr_file)
        try:
            started = wait_for(lambda: len(worker_threads(process.pid)) == 7)
            if not check(started, "seven worker threads should run, got %s"
                         % sorted(worker_threads(process.pid))):
                return
            before = worker_threads(process.pid)

            # A second copy ends at once with status 3 and one line.
            begun = time.monotonic()
            result = run([agent, "--home", home], timeout=10)
            check(result.returncode == EXIT_RUNNING, "second copy exited %d" % result.returncode)
            check(len(result.stderr.splitlines()) == 1, "second copy said %r" % result.stderr)
            check(time.monotonic() - begun < 5, "second copy took too long")

            # SIGUSR1 (check now) must not end the agent.
            result = run([qgctl, "--home", home, "check"])
            check(result.returncode == 0, "qgctl check exited %d" % result.returncode)
            time.sleep(0.3)
            check(process.poll() is None, "SIGUSR1 ended the agent")

            # SIGHUP: every worker ends and a new thread takes its place.
            result = run([qgctl, "--home", home, "reload"])
            check(result.returncode == 0, "qgctl reload exited %d" % result.returncode)

            def restarted():
                now = worker_threads(process.pid)
                return len(now) == 7 and all(now[name] != before[name] for name in now)
            check(wait_for(restarted), "SIGHUP should restart every worker: before %s, after %s"
                  % (before, worker_threads(process.pid)))

            # SIGTERM: orderly exit with status 0.
            result = run([qgctl, "--home", home, "stop"])
            check(result.returncode == 0, "qgctl stop exited %d" % result.returncode)
            status = process.wait(timeout=30)
            check(status == 0, "agent exited %d after SIGTERM" % status)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
        with open(stderr_path) as f:
            agent_stderr = f.read()
        check(agent_stderr == "", "the agent should run silently, said: %r" % agent_stderr)

        fields = record_fields(qgctl, os.path.join(home, "set.log"))
        status_fields = [fields.get(n, {}).get("type") for n in range(10000, 10257)]
        check(status_fields == ["byte"] * 257, "set.log should hold byte fields 10000..10256")
        # Start and end once each, the end last. The workers start just before
        # the start is recorded, so the fetcher's first events (pass start,
        # log-in, retries of the unreachable box) may come before it.
        types = protocol_types(home)
        fetcher_events = {1, 3, 16, 18}
        check(types.count(0) == 1 and types.count(19) == 1 and types[-1:] == [19]
              and set(types[:types.index(0) if 0 in types else 0]) <= fetcher_events,
              "protocol should hold 0 once, after fetcher events only, and end with 19: %s"
              % types)

        # The lock file stays, unlocked: a new agent may start.
        result = run([qgctl, "--home", home, "check"])
        check(result.returncode == 1, "check after the exit found an agent")

    return finish()


if __name__ == "__main__":
    sys.exit(main())
