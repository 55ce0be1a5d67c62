"""What every integration test script shares: recording failed checks without
stopping at the first, waiting for a condition, running a command, and reading
the event types of the protocol files of a home folder."""
import glob
import os
import shutil
import struct
import subprocess
import time

PROTOCOL_RECORD = 159

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)
    return condition


def wait_for(predicate, seconds=20.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def run(command, timeout=60):
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout)


def protocol_types(home):
    """The event type of every whole record in the protocol files, oldest file first.
    The files are read without the writer's lock: a file the agent has just
    created may not hold its count yet, and counts as no record."""
    types = []
    for path in sorted(glob.glob(os.path.join(home, "*.prt"))):
        with open(path, "rb") as f:
            data = f.read()
        if len(data) < 4:
            continue
        (count,) = struct.unpack_from("<I", data, 0)
        for i in range(count):
            if 4 + PROTOCOL_RECORD * (i + 1) <= len(data):
                types.append(data[4 + PROTOCOL_RECORD * i + 8])
    return types


def scratch_folder():
    """Where a test's folders go: /dev/shm when it has room, else the default.
    The history writer flushes every event to disk, which makes fetching
    many messages about ten times slower on a disk."""
    shm = "/dev/shm"
    if os.access(shm, os.W_OK) and shutil.disk_usage(shm).free > 512 * 1024 * 1024:
        return shm
    return None


def finish():
    """Prints the count of failed checks; the script's exit status."""
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0
