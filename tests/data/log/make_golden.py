#!/usr/bin/env python3
"""Writes the golden history and protocol files of this folder.

An independent re-statement of the two table formats (a little-endian record
count, then fixed records: 374 bytes of history, 159 bytes of protocol), kept
short on purpose: the C++ tests run the writers on the same events and compare
the files byte for byte. Run once from this folder; the outputs are committed.
"""

import struct

SECOND = 1_000_000
MINUTE = 60 * SECOND
HOUR = 60 * MINUTE
DAY = 24 * HOUR
MONTH = 31 * DAY
YEAR = 372 * DAY


def stamp(year, month, day, hour=0, minute=0, second=0):
    return (year * YEAR + (month - 1) * MONTH + (day - 1) * DAY + hour * HOUR
            + minute * MINUTE + second * SECOND)


def text(value):
    raw = value[:74]
    return raw + b"\0" * (75 - len(raw))


def history_record(date, size, events, first_seen, name, address, recipient, subject):
    slots = b"".join(struct.pack("<Bq", t, when) for t, when in events)
    slots += b"\0" * (9 * 6 - len(slots))
    record = struct.pack("<qI", date, size) + slots + struct.pack("<q", first_seen)
    record += text(name) + text(address) + text(recipient) + text(subject)
    assert len(record) == 374
    return record


def protocol_record(when, kind, first, second):
    record = struct.pack("<qB", when, kind) + text(first) + text(second)
    assert len(record) == 159
    return record


# The same times as tests/unit/history_file_test.cpp and protocol_file_test.cpp.
T0 = stamp(2024, 3, 10, 12, 0, 0)
T1 = stamp(2024, 3, 10, 12, 0, 5)
T2 = stamp(2024, 3, 10, 12, 0, 9)
MESSAGE_DATE = stamp(2006, 12, 5, 18, 24, 11)  # the Date header, read in universal time

# Events 0, 1 and 2 of one staged message.
history = struct.pack("<I", 1) + history_record(
    MESSAGE_DATE, 0x4D2, [(1, T1), (2, T2)], T0,
    b"Ivan Petrov", b"ivan.petrov@example.com", b"user@example.org",
    b"Quarterly report \xCE\xF2\xF7\xE5\xF2")
with open("history_one_message.hst", "wb") as out:
    out.write(history)

# Program start, then a classification whose texts are longer than 74 bytes.
protocol = struct.pack("<I", 2)
protocol += protocol_record(T0, 0, b"", b"")
protocol += protocol_record(T1, 9, b"Ivan Petrov <ivan.petrov@example.com> " + b"a" * 50,
                            b"\xCF\xF0\xE8\xE2\xE5\xF2 " + b"0123456789" * 9)
with open("protocol_two_events.prt", "wb") as out:
    out.write(protocol)
