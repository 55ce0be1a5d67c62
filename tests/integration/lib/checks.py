"""The checks of the integration tests: a failed check is printed and
counted, and the test goes on, so one run shows every failure."""
import time

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)
    return condition


def wait_for(predicate, seconds=20.0, step=0.05):
    """True once predicate() is; False if it still is not after seconds."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return bool(predicate())


def summary():
    """Prints the count of failures; the exit status of the test."""
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0
