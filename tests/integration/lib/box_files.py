"""What the fetcher and classification tests read of a box and check on its
Dovecot server: the staging slots of the box's TMP folder, the other files
there, and that nothing was deleted upstream."""
import os
import re

from dovecot import RawPop3
from harness import check

SLOT_NAME = re.compile(r"^(\d{8})\.(hd|hdr|hdp|hdd|hdz|hd~|hdt)$")


def staged_slots(home, box=1):
    """slot -> (state, bytes) of the box's staging files, read while the
    agent may be renaming them."""
    tmp = os.path.join(home, "BOX_%04d" % box, "TMP")
    slots = {}
    for name in os.listdir(tmp):
        match = SLOT_NAME.match(name)
        if match:
            try:
                with open(os.path.join(tmp, name), "rb") as f:
                    slots[int(match.group(1))] = (match.group(2), f.read())
            except FileNotFoundError:
                continue  # renamed by a worker since the listing; seen at the next look
    return slots


def other_tmp_files(home, box=1):
    tmp = os.path.join(home, "BOX_%04d" % box, "TMP")
    return [name for name in os.listdir(tmp) if not SLOT_NAME.match(name)]


def check_nothing_deleted(server, user, password, count):
    session = RawPop3(server.port)
    session.login(user, password)
    check(session.stat()[0] == count, "Dovecot should still hold %d messages" % count)
    session.quit()
    check(server.maildir_count(user) == count, "the maildir should still hold every message")
    check(not re.search(r"del=[1-9]", server.log()), "Dovecot logged a deletion")
