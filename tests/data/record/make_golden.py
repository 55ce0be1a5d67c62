#!/usr/bin/env python3
"""Writes the golden record files of this folder.

An independent re-statement of the container format, kept short on purpose:
the C++ tests compare the engine's output with these bytes, so a slip in
either one shows. Run once from this folder; the outputs are committed.
"""

MASK = 0xFFFFFFFF
KEY = b"k7#Qm2%xT9w!Lp4$Zr8&Nv\0"


def word(value):
    return (value & MASK).to_bytes(4, "little")


def key_stream(name, extra):
    e = extra.index(0) if 0 in extra[:256] else min(len(extra), 256)
    buf = bytearray(256)
    buf[:e] = extra[:e]
    if e in (0, 256):
        buf[0], buf[1], e = 0x01, 0x32, 2
    written, r = 0, 1
    while written < 256:
        for j in range(e):
            if written >= 256:
                break
            buf[written] = (buf[j] + 7 * r + 23 * (j + 1)) % 256
            written += 1
        r += 1
    c = 123 + sum(name)
    for i in range(256):
        v = buf[i] ^ name[i % len(name)] ^ ((c + i) % 256)
        buf[i] = v if v else 0x2A
    return bytes(buf)


def container(name, extra, payload):
    L = len(name)
    h = (608340 + sum(b * i for i, b in enumerate(name))) & MASK
    t = ((h ^ 0x83297346) - 3315078) & MASK
    pad = ((t - 159528774) & MASK) % 77
    off = 273 + L + pad
    k = key_stream(name, extra)
    out = bytearray()
    out += word((len(payload) + h) ^ 0x57034289)
    out += word(((off - h) & MASK) ^ 0x08923045)
    g = 624436
    for step in range(256):
        p = (98 + step) % 256
        out.append(((k[p] ^ name[step % L]) + h + 23 * step) % 256)
        g += k[p] * p
    out += word(((g - 2089523900) & MASK) ^ 0x89172464)
    out += word(t)
    terminated = name + b"\0"
    for j in range(L + 1):
        out.append(((terminated[j] ^ KEY[(18 + j) % 23]) - 1432) % 256)
    for step in range(pad):
        out.append(((k[(45 + step) % 256] ^ KEY[8]) + 2192) % 256)
    assert len(out) == off
    s = 388
    for i, d in enumerate(payload):
        out.append(((d ^ k[(24 + i) % 256]) + 624436 + 7 * i) % 256)
        s += d * i
    out += word(((s & MASK) ^ 0x93460982) + 604231)
    return bytes(out)


def record(number, kind, value):
    return number.to_bytes(4, "little") + bytes([kind]) + value


def records(*items):
    return len(items).to_bytes(4, "little") + b"".join(items)


# set.log, no extra key: one field of every type, a Windows-1251 text among them.
SET_LOG = records(
    record(2, 1, b"/home/user/store\0"),
    record(7, 2, b"\x01"),
    record(10000, 3, b"\xc8"),
    record(5, 4, (-1234).to_bytes(2, "little", signed=True)),
    record(12, 5, (-2000000000).to_bytes(4, "little", signed=True)),
    record(3, 6, (0x123456789ABCDEF0).to_bytes(8, "little")),
    record(40, 1, "Привет".encode("cp1251") + b"\0"),
)

# A name and an extra key with bytes above 127 (Windows-1251 "Проба.log" and
# "ключ-9"), stored under a plain name here; the tests copy it to its real name.
HIGH_NAME = "Проба.log".encode("cp1251")
HIGH_KEY = "ключ-9".encode("cp1251")
HIGH_PAYLOAD = records(record(1, 5, (0xDEADBEEF).to_bytes(4, "little")),
                       record(0, 1, b"\xff\x80 \0"))

if __name__ == "__main__":
    with open("set.log", "wb") as f:
        f.write(container(b"set.log", b"", SET_LOG))
    with open("high_name.bin", "wb") as f:
        f.write(container(HIGH_NAME, HIGH_KEY, HIGH_PAYLOAD))
