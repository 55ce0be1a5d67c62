"""Real mail clients run against the agent's local POP3 server: fetchmail,
without an MTA (each message goes to a small delivery program that writes it
into a folder), with its own rc file, id file and pid file."""
import glob
import os
import stat
import subprocess
import sys


def fetchmail(root, port, user, password, keep, target):
    """One fetchmail poll of 127.0.0.1:port. Returns fetchmail's exit status
    (0: mail was delivered, 1: there was none), its stderr, and the delivered
    files of target in delivery order."""
    mda = os.path.join(root, "mda.py")
    with open(mda, "w") as f:
        f.write("import os, sys\n"
                "folder = sys.argv[1]\n"
                "n = len(os.listdir(folder))\n"
                "with open(os.path.join(folder, '%03d.eml' % n), 'wb') as out:\n"
                "    out.write(sys.stdin.buffer.read())\n")
    os.makedirs(target, exist_ok=True)
    rc = os.path.join(root, "fetchmailrc")
    with open(rc, "w") as f:
        # sslproto '': the local server offers no STLS, which fetchmail asks for.
        f.write('poll 127.0.0.1 protocol pop3 port %d uidl\n'
                '  user "%s" password "%s" %s\n'
                "  sslproto ''\n"
                '  mda "%s %s %s"\n' % (port, user, password, "keep" if keep else "nokeep",
                                        sys.executable, mda, target))
    os.chmod(rc, stat.S_IRUSR | stat.S_IWUSR)
    env = dict(os.environ, HOME=root)
    result = subprocess.run(["fetchmail", "--nosyslog", "--fetchmailrc", rc, "--idfile",
                             target + ".ids", "--pidfile", os.path.join(root, "fetchmail.pid")],
                            capture_output=True, timeout=120, env=env)
    return result.returncode, result.stderr, sorted(glob.glob(os.path.join(target, "*.eml")))
