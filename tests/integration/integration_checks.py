"""What the integration test scripts share: failed checks are collected and
reported at the end instead of stopping at the first, and waits poll with a
deadline."""
import time

failures = []


def check(condition, message):
    """Records a failure (and prints it) when condition is false; returns condition."""
    if not condition:
        failures.append(message)
        print("FAIL: " + message)
    return condition


def wait_for(predicate, seconds=20.0):
    """Polls predicate every 50 ms until it is true or seconds have passed."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def finish():
    """Prints the count of failures; the exit status for the script."""
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0
