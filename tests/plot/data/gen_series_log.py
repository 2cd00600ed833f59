#!/usr/bin/env python3
"""Writes series.log (a drive's PDOs and SDO transfers, its TPDO remapped half-way) and the
series.csv that quillon-dump --series must print for it, computed here from what was sent:

  quillon-dump -n pdo.netcfg -P 5:0x6064 -P 5:0x6041 -P 5:0x607A -P rate:0x185 -P load:0 series.log

Run from tests/tools/data: python3 ../../plot/data/gen_series_log.py
"""
import struct

SERIES = ["5:0x6064:0", "5:0x6041:0", "5:0x607A:0", "rate:0x185", "load:0"]
TICK = 100000

frames = []  # (time, id, data)


def frame(t, cob, data):
    frames.append((t, cob, bytes(data)))


def sdo_download(t, idx, sub, value, size):
    cmd = {1: 0x2F, 2: 0x2B, 4: 0x23}[size]
    frame(t, 0x605, [cmd, idx & 0xFF, idx >> 8, sub] + list(struct.pack("<I", value))[:size] + [0] * (4 - size))
    frame(t + 500, 0x585, [0x60, idx & 0xFF, idx >> 8, sub, 0, 0, 0, 0])


values = {}  # expected object values by frame index: list of (series index, value)
t = 10000
position = 0
for n in range(120):
    statusword = 0x0237 if (n // 25) % 2 == 0 else 0x0637  # a state that steps
    target = position + 500
    frame(t, 0x205, list(struct.pack("<Hi", 0x000F, target)))
    values[len(frames) - 1] = [(2, target)]
    if n < 60:
        frame(t + 1000, 0x185, list(struct.pack("<Hi", statusword, position)))
    else:  # remapped: the position first
        frame(t + 1000, 0x185, list(struct.pack("<iH", position, statusword)))
    values[len(frames) - 1] = [(0, position), (1, statusword)]
    if n == 59:
        # The remapping, by SDO: invalid, count 0, the two entries swapped, count 2, valid.
        u = t + 3000
        for idx, sub, val, size in [(0x1800, 1, 0x80000185, 4), (0x1A00, 0, 0, 1),
                                    (0x1A00, 1, 0x60640020, 4), (0x1A00, 2, 0x60410010, 4),
                                    (0x1A00, 0, 2, 1), (0x1800, 1, 0x40000185, 4)]:
            sdo_download(u, idx, sub, val, size)
            u += 1000
    if n == 90:
        # An SDO upload of the position gives a value of its own.
        frame(t + 3000, 0x605, [0x40, 0x64, 0x60, 0, 0, 0, 0, 0])
        frame(t + 3500, 0x585, [0x43, 0x64, 0x60, 0] + list(struct.pack("<i", 123456)))
        values[len(frames) - 1] = [(0, 123456)]
    position += 37 if n < 100 else -250  # a ramp, then back
    t += 10000 if n != 70 else 1500000  # a silence of 1.5 s: rates fall to zero

with open("series.log", "w") as out:
    out.write("# A drive's PDOs: position ramp, status word steps, target by RPDO; TPDO1 remapped\n")
    for ts, cob, data in frames:
        out.write(f"{ts:9d} CAN0: 0x{cob:08x} - " + "".join(f"0x{b:02x} " for b in data) + "\n")

# The expected rows.
current = [None] * len(SERIES)
rows = []
pending = None  # [time, changed]


def change(time, i, v):
    global pending
    if pending and pending[0] != time:
        flush()
    if current[i] is None or current[i] != v:
        if not pending:
            pending = [time]
    current[i] = v


def flush():
    global pending
    if pending:
        rows.append((pending[0], list(current)))
    pending = None


counts = {3: {}, 4: {}}  # by tick
emitted = -1


def last_second(i, b):
    return sum(c for k, c in counts[i].items() if b - 10 <= k <= b - 1)


def point(b):
    change(b * TICK, 3, last_second(3, b))
    change(b * TICK, 4, last_second(4, b) * 100.0 / 500000)


for n, (ts, cob, data) in enumerate(frames):
    tick = ts // TICK
    if emitted < 0:
        emitted = tick
    else:
        through = min(tick, emitted + 11)
        for b in range(emitted + 1, through + 1):
            point(b)
        if tick > through:
            point(tick)
        emitted = tick
    if cob == 0x185:
        counts[3][tick] = counts[3].get(tick, 0) + 1
    counts[4][tick] = counts[4].get(tick, 0) + 48 + 8 * len(data)
    for i, v in values.get(n, []):
        change(ts, i, v)
    flush()


def text(v):
    if v is None:
        return ""
    if float(v).is_integer():
        return str(int(v))
    return f"{v:.15g}"


with open("series.csv", "w") as out:
    out.write("time," + ",".join(SERIES) + "\n")
    for time, vals in rows:
        out.write(f"{time // 1000000}.{time % 1000000:06d}," + ",".join(text(v) for v in vals) + "\n")
