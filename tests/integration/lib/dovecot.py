"""A Dovecot POP3 server for tests and benchmarks: its own configuration, user
database and maildirs in a folder of the caller's, listening on a free
loopback port, started in the foreground and stopped when the caller is done.
Works as root (the mail and login processes run as Dovecot's own users) and as
a normal user (everything runs as that user, without chroot).

Also a raw POP3 session that hands back the exact bytes Dovecot sends, so
tests compare what Quillgate stored with what the server sent rather than
with the files the maildir was filled from.

    with DovecotServer(folder, {"qg": ("secret", [b"Subject: hi\\r\\n\\r\\n..."])}) as server:
        session = RawPop3(server.port)
        session.login("qg", "secret")
        header = session.top(1)
"""
import grp
import os
import pwd
import shutil
import socket
import subprocess
import time

STARTUP_SECONDS = 20


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def find_dovecot():
    for candidate in (shutil.which("dovecot"), "/usr/sbin/dovecot"):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    raise RuntimeError("dovecot not found: install dovecot-pop3d (scripts/install-deps)")


class DovecotServer:
    """users: name -> (password, [message bytes in server order]).
    apop: offer APOP (the greeting then carries a time stamp)."""

    def __init__(self, folder, users, apop=True):
        self.folder = os.path.abspath(folder)
        self.users = users
        self.apop = apop
        self.port = None
        self.process = None

    # --- set-up ---------------------------------------------------------

    def _accounts(self):
        if os.geteuid() == 0:
            # Dovecot will not run mail processes as root.
            mail = pwd.getpwnam("dovecot")
            return {"internal": "dovecot", "internal_group": grp.getgrgid(mail.pw_gid).gr_name,
                    "login": "dovenull", "uid": mail.pw_uid, "gid": mail.pw_gid}
        me = pwd.getpwuid(os.getuid())
        return {"internal": me.pw_name, "internal_group": grp.getgrgid(os.getgid()).gr_name,
                "login": me.pw_name, "uid": os.getuid(), "gid": os.getgid()}

    def mail_folder(self, user):
        return os.path.join(self.folder, "mail", user)

    def _write_message(self, user, i, message):
        # Names sort in server order: Dovecot numbers new mail by them.
        name = "%d.M%dP1.quillgate-test" % (1000000000 + i, i)
        # Written in tmp and moved into new, so the server never sees half a message.
        part = os.path.join(self.mail_folder(user), "tmp", name)
        path = os.path.join(self.mail_folder(user), "new", name)
        with open(part, "wb") as f:
            f.write(message)
        os.rename(part, path)
        return path

    def add_message(self, user, message):
        """Delivers one more message to a running server, behind the others."""
        path = self._write_message(user, self.maildir_count(user), message)
        if os.geteuid() == 0:
            accounts = self._accounts()
            os.chown(path, accounts["uid"], accounts["gid"])

    def _fill_maildirs(self, accounts):
        for user, (_, messages) in self.users.items():
            base = self.mail_folder(user)
            for sub in ("new", "cur", "tmp"):
                os.makedirs(os.path.join(base, sub), exist_ok=True)
            for i, message in enumerate(messages):
                self._write_message(user, i, message)
        if os.geteuid() == 0:
            for path, dirs, files in os.walk(os.path.join(self.folder, "mail")):
                for name in [path] + [os.path.join(path, n) for n in dirs + files]:
                    os.chown(name, accounts["uid"], accounts["gid"])
            # The mail processes must reach the folder from the root down.
            path = self.folder
            while path != "/":
                os.chmod(path, os.stat(path).st_mode | 0o711)
                path = os.path.dirname(path)

    def _write_config(self, accounts):
        f = self.folder
        with open(os.path.join(f, "passwd"), "w") as out:
            for user, (password, _) in self.users.items():
                out.write("%s:{PLAIN}%s\n" % (user, password))
        # Only root may chroot the login processes.
        chroot = "" if os.geteuid() == 0 else "  chroot =\n"
        config = """\
protocols = pop3
listen = 127.0.0.1
base_dir = {f}/run
state_dir = {f}/state
log_path = {f}/dovecot.log
ssl = no
disable_plaintext_auth = no
auth_mechanisms = {mechanisms}
mail_location = maildir:{f}/mail/%u
first_valid_uid = 0
default_internal_user = {internal}
default_internal_group = {internal_group}
default_login_user = {login}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {f}/passwd
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={f}/home/%u
}}
service pop3-login {{
{chroot}  inet_listener pop3 {{
    address = 127.0.0.1
    port = {port}
  }}
  inet_listener pop3s {{
    port = 0
  }}
}}
service anvil {{
{chroot}}}
""".format(f=f, mechanisms="plain apop" if self.apop else "plain", port=self.port,
           chroot=chroot, **accounts)
        with open(os.path.join(f, "dovecot.conf"), "w") as out:
            out.write(config)

    # --- running --------------------------------------------------------

    def start(self):
        dovecot = find_dovecot()
        accounts = self._accounts()
        for sub in ("run", "state", "home"):
            os.makedirs(os.path.join(self.folder, sub), exist_ok=True)
        self._fill_maildirs(accounts)
        for _ in range(5):
            self.port = free_port()
            self._write_config(accounts)
            self.process = subprocess.Popen(
                [dovecot, "-F", "-c", os.path.join(self.folder, "dovecot.conf")],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            if self._wait_ready():
                return self
            self.stop()
        raise RuntimeError("dovecot did not start: " + self.log())

    def _wait_ready(self):
        deadline = time.monotonic() + STARTUP_SECONDS
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return False  # the port was taken meanwhile, or the configuration failed
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=2) as s:
                    if s.makefile("rb").readline().startswith(b"+OK"):
                        return True
            except OSError:
                time.sleep(0.05)
        return False

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def log(self):
        try:
            with open(os.path.join(self.folder, "dovecot.log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def maildir_count(self, user):
        base = self.mail_folder(user)
        return sum(len(os.listdir(os.path.join(base, sub))) for sub in ("new", "cur"))

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class RawPop3:
    """A POP3 session that returns multi-line answers byte for byte: the data
    between the status line and the terminating line, dot-stuffing kept."""

    def __init__(self, port, timeout=30):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.reader = self.sock.makefile("rb")
        self.greeting = self.reader.readline()

    def command(self, text):
        self.sock.sendall(text.encode() + b"\r\n")
        line = self.reader.readline()
        if not line.startswith(b"+OK"):
            raise RuntimeError("%s: %r" % (text, line))
        return line

    def login(self, user, password):
        self.command("USER " + user)
        self.command("PASS " + password)

    def stat(self):
        words = self.command("STAT").split()
        return int(words[1]), int(words[2])

    def multiline(self, text):
        self.command(text)
        data = bytearray()
        while True:
            line = self.reader.readline()
            if not line:
                raise RuntimeError(text + ": connection closed")
            if line in (b".\r\n", b".\n"):
                return bytes(data)
            data += line

    def top(self, n):
        return self.multiline("TOP %d 0" % n)

    def retr(self, n):
        return self.multiline("RETR %d" % n)

    def quit(self):
        try:
            self.command("QUIT")
        finally:
            self.sock.close()
