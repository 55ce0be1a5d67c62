"""Real DNS servers on loopback for the integration tests and the walk
benchmark: BIND 9 named instances, each with its own configuration, zones,
logs and working files in a folder of the caller's, inside a private network
and mount namespace whose system resolver asks one of those servers only.

A named never outlives the Lab that started it: stop() ends every instance,
and each one also gets SIGKILL from the kernel when the process that started
it dies (PR_SET_PDEATHSIG), so a test killed at its time-out leaves none
behind.
"""
import ctypes
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
from datetime import datetime

NAMED = "/usr/sbin/named"
PR_SET_PDEATHSIG = 1


class LabError(Exception):
    pass


def _die_with_parent():
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


_QUERY_LINE = re.compile(
    r"^(\d\d-\w\w\w-\d{4} \d\d:\d\d:\d\d\.\d{3}) .*query: (\S+) IN (\S+) (\S+)")


class NamedServer:
    """One named on address:port, authoritative for the zones given as
    {origin: zone text}; no recursion, no control channel, every file in
    folder. With query_log, queries() reports every query it received."""

    def __init__(self, folder, address, port, zones, query_log=False):
        self.folder = folder
        self.address = address
        self.port = port
        self.zones = zones
        self.query_log = query_log
        self.process = None
        os.makedirs(folder, exist_ok=True)

    def _config(self):
        f = self.folder
        lines = [
            "options {",
            '  directory "%s";' % f,
            '  pid-file "%s/named.pid";' % f,
            '  session-keyfile "%s/session.key";' % f,
            '  managed-keys-directory "%s";' % f,
            '  dump-file "%s/cache.db";' % f,
            '  statistics-file "%s/stats";' % f,
            "  listen-on port %d { %s; };" % (self.port, self.address),
            "  listen-on-v6 { none; };",
            "  recursion no;",
            "  dnssec-validation no;",
            "  notify no;",
            "};",
            "controls { };",
            "logging {",
            '  channel main { file "%s/named.log"; print-time yes; severity info; };' % f,
            "  category default { main; };",
        ]
        if self.query_log:
            lines += [
                '  channel q { file "%s/query.log"; print-time yes; severity info; };' % f,
                "  category queries { q; };",
            ]
        lines.append("};")
        for origin in self.zones:
            lines.append('zone "%s" { type primary; file "%s/%s.zone"; };'
                         % (origin, f, origin.strip(".") or "root"))
        return "\n".join(lines) + "\n"

    def start(self, seconds=20.0):
        for origin, text in self.zones.items():
            with open(os.path.join(self.folder, (origin.strip(".") or "root") + ".zone"),
                      "w") as z:
                z.write(text)
        conf = os.path.join(self.folder, "named.conf")
        with open(conf, "w") as c:
            c.write(self._config())
        if not os.path.exists(NAMED):
            raise LabError(NAMED + " is missing: install bind9 (scripts/install-deps)")
        out = open(os.path.join(self.folder, "named.out"), "w")
        # -f: stay in the foreground (no fork, so the death signal holds);
        # -n 1: one worker thread is plenty and spares the shared machine.
        self.process = subprocess.Popen(
            [NAMED, "-f", "-n", "1", "-c", conf], stdout=out, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent)
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise LabError("named on %s:%d ended at start:\n%s"
                               % (self.address, self.port, self.log()))
            try:
                socket.create_connection((self.address, self.port), timeout=0.5).close()
                return self
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise LabError("named on %s:%d did not start:\n%s"
                       % (self.address, self.port, self.log()))

    def stop(self):
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def log(self):
        text = ""
        for name in ("named.out", "named.log"):
            try:
                with open(os.path.join(self.folder, name)) as f:
                    text += f.read()
            except OSError:
                pass
        return text

    def queries(self):
        """(time in seconds, name, type, flags) of every query received, in
        order; flags as named logs them ("-" no recursion desired, "T" TCP)."""
        try:
            with open(os.path.join(self.folder, "query.log")) as f:
                lines = f.readlines()
        except OSError:
            return []
        found = []
        for line in lines:
            m = _QUERY_LINE.match(line)
            if m:
                stamp = datetime.strptime(m.group(1), "%d-%b-%Y %H:%M:%S.%f").timestamp()
                found.append((stamp, m.group(2), m.group(3), m.group(4)))
        return found


def zone(origin_ns, records):
    """Zone text with a SOA and one NS (origin_ns, a name outside the zone, so
    that named needs no address for it) followed by records, TTL 300."""
    head = ["$TTL 300",
            "@ IN SOA %s hostmaster.invalid. 1 3600 600 86400 300" % origin_ns,
            "@ IN NS %s" % origin_ns]
    return "\n".join(head + list(records)) + "\n"


class Lab:
    """The servers of one test, stopped together."""

    def __init__(self, folder):
        self.folder = folder
        self.servers = []

    def named(self, name, address, port, zones, query_log=False):
        server = NamedServer(os.path.join(self.folder, name), address, port, zones, query_log)
        self.servers.append(server)
        return server.start()

    def stop(self):
        for server in self.servers:
            server.stop()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


# The namespace of a lab: its own network (only a loopback interface, so the
# servers can take port 53 and any address without meeting anything else on
# the machine) and its own mounts, where the system resolver's files are
# replaced: only the lab's server answers, with one quick try, and /etc/hosts
# knows only localhost, so no test name can be answered from elsewhere.
GTLD = "127.0.0.2"    # plays the gTLD server, on GTLD_PORT
GTLD_PORT = 5300      # not 53: start servers and referrals use different ports
AUTH = "127.0.0.3"    # holds the test zones on port 53; the system resolver asks it
UNUSED = "127.0.0.4"  # nothing listens here
_INSIDE = "QG_DNS_LAB_NAMESPACE"


def run_in_lab_namespace(argv):
    """Runs argv (this script and its arguments) again inside a new network and
    mount namespace and returns its exit status; returns None when already
    inside. Making the namespaces needs root (CI runs as root): without it the
    test fails with a message that says so."""
    if os.environ.get(_INSIDE) == "1":
        return None
    if shutil.which("unshare") is None:
        print("FAIL: unshare is missing: install util-linux (scripts/install-deps)")
        return 1
    env = dict(os.environ, **{_INSIDE: "1"})
    command = ["unshare", "--net", "--mount", "--propagation", "private", "--",
               sys.executable] + list(argv)
    result = subprocess.run(command, env=env, stderr=subprocess.PIPE, text=True)
    sys.stderr.write(result.stderr)
    if result.returncode != 0 and result.stderr.startswith("unshare:"):
        print("FAIL: cannot make a private network and mount namespace for the DNS "
              "servers (these tests run as root): " + result.stderr.strip())
    return result.returncode


def _run(command):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise LabError("%s failed: %s" % (" ".join(command), result.stderr.strip()))


def prepare_lab_namespace(folder):
    """Inside the namespace: the loopback interface up with the lab's
    addresses, and the resolver files replaced by the lab's."""
    if os.environ.get(_INSIDE) != "1":
        raise LabError("prepare_lab_namespace runs only inside run_in_lab_namespace")
    if shutil.which("ip") is None:
        raise LabError("ip is missing: install iproute2 (scripts/install-deps)")
    _run(["ip", "link", "set", "lo", "up"])
    for address in (GTLD, AUTH):
        _run(["ip", "address", "add", address + "/32", "dev", "lo"])
    files = {
        "/etc/resolv.conf": "nameserver %s\noptions attempts:1 timeout:1\n" % AUTH,
        "/etc/hosts": "127.0.0.1 localhost\n",
        "/etc/nsswitch.conf": "hosts: files dns\n",
    }
    os.makedirs(folder, exist_ok=True)
    for target, text in files.items():
        path = os.path.join(folder, os.path.basename(target))
        with open(path, "w") as f:
            f.write(text)
        _run(["mount", "--bind", path, target])
    # A running name service cache would answer from outside the namespace.
    if os.path.isdir("/run/nscd"):
        _run(["mount", "-t", "tmpfs", "none", "/run/nscd"])
    with open("/etc/resolv.conf") as f:
        if f.read() != files["/etc/resolv.conf"]:
            raise LabError("the namespace does not see the lab's resolv.conf")
