"""Running quillgated for a test: free loopback ports chosen by the kernel,
a box made with qgctl as the setup makes it, and an agent whose local
servers are up before the test talks to them."""
import os
import socket
import subprocess
import time


def free_ports(count):
    """count distinct loopback ports the kernel had free just now."""
    sockets = []
    try:
        for _ in range(count):
            s = socket.socket()
            s.bind(("127.0.0.1", 0))
            sockets.append(s)
        return [s.getsockname()[1] for s in sockets]
    finally:
        for s in sockets:
            s.close()


def add_box(qgctl, home, address, user, password):
    """Creates a box the way the setup does; returns its number."""
    result = subprocess.run([qgctl, "--home", home, "box", "add", address, "--pop3", "127.0.0.1:1",
                             "--user", user, "--password", password],
                            capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise RuntimeError("qgctl box add failed: %r" % result.stderr)
    return int(result.stdout.strip())


def wait_for_port(port, seconds=20.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


class Agent:
    """quillgated for home on free ports; a context manager that stops it."""

    def __init__(self, quillgated, home, stderr_path, options=()):
        self.pop3_port, self.smtp_port = free_ports(2)
        self._stderr = open(stderr_path, "w")
        self.process = subprocess.Popen(
            [quillgated, "--home", home, "--pop3-port", str(self.pop3_port),
             "--smtp-port", str(self.smtp_port)] + list(options), stderr=self._stderr)

    def __enter__(self):
        if not (wait_for_port(self.pop3_port) and wait_for_port(self.smtp_port)):
            self.stop()
            raise RuntimeError("the local servers did not come up")
        return self

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._stderr.close()
        return self.process.returncode

    def __exit__(self, *exc):
        self.stop()
        return False
