#!/usr/bin/env python3
"""The network status cases: writes status.log, a CANopen network whose status is known frame by
frame, and checks quillon-dump's tables of it against what the log was made to hold.

  gen_status_log.py > status.log
  quillon-dump -S all -n status.netcfg status.log > status.all.txt
  quillon-dump -S all -j -n status.netcfg status.log > status.all.jsonl
  gen_status_log.py --check status.all.txt status.all.jsonl

The truth is worked out here from the frames as they were made, by the rules the tables follow:
heartbeat periods from the heartbeat times (a boot-up starts a period, ends none), the state and
health each node was led to, and each SDO transfer's bytes, size, result and CRC as sent.
"""
import json
import statistics
import sys

NOW = 3000000  # the newest time stamp, microseconds
HEADER = ["# Network status cases: heartbeats exact, jittery, stopped and rebooting, emergencies,",
          "# guarding with a toggle error, SYNC with a skipped counter, SDO transfers of every kind"]
frames = []  # (time, order, port, kind, id, data, node heard from or None)


def frame(t, id, data=(), port=0, kind="CAN", heard=None):
    frames.append((t, len(frames), port, kind, id, list(data), heard))


def ms(x):
    return int(round(x * 1000))


def le(v, n):
    return list(v.to_bytes(n, "little"))


def crc16(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


# ---- nodes ------------------------------------------------------------------------------------
# What each node's row must say; intervals are the heartbeat periods the node's frames give.
nodes = {}


def node(port, n, **expect):
    nodes[(port, n)] = dict(expect, intervals=[])


def boot(port, n, t):
    frame(t, 0x700 + n, [0x00], port, heard=n)


def heartbeats(port, n, times, state):
    for t in times:
        frame(t, 0x700 + n, [state], port, heard=n)


def nmt(t, command, target, port=0):
    frame(t, 0x000, [command, target], port)


boot_times = {2: 100, 3: 105, 4: 110, 5: 115, 6: 120, 7: 125, 8: 130, 9: 135, 10: 140, 11: 145}
for n, t in boot_times.items():
    boot(0, n, ms(t))
nmt(ms(150), 0x01, 0)  # start every node known on port 0: 2 to 11

# 2: 100 ms exactly, from its boot-up to the last frame.
node(0, 2, name="Exact", state="operational", configured=0.1, source="dictionary", boots=1,
     health="ok", reason="")
times = [ms(100 + 100 * k) for k in range(1, 30)]
heartbeats(0, 2, times, 0x05)
nodes[(0, 2)]["intervals"] = [100000] * 29

# 3: 100 ms on average, 70 and 130 in turn: a jitter of 30 ms, above 10 % of the period.
node(0, 3, name="Jittery", state="operational", configured=0.1, source="dictionary", boots=1,
     health="warning", reason="heartbeat jitter")
gaps = [130000, 70000] * 14
times, t = [], ms(105)
for g in gaps:
    t += g
    times.append(t)
heartbeats(0, 3, times, 0x05)
nodes[(0, 3)]["intervals"] = gaps

# 4: stops after 2.810 s; 190 ms later it is late (over 1.5 times its 100 ms).
node(0, 4, name="Silent", state="operational", configured=0.1, source="dictionary", boots=1,
     health="fault", reason="heartbeat late")
heartbeats(0, 4, [ms(110 + 100 * k) for k in range(1, 28)], 0x05)
nodes[(0, 4)]["intervals"] = [100000] * 27

# 5: operational, then boots again 50 ms after a heartbeat (no period) and stays pre-operational;
# its first heartbeat comes 80 ms after the boot-up (a period). 0x1017 is written by SDO.
node(0, 5, name="Rebooting", state="pre-operational", configured=0.1, source="SDO", boots=2,
     health="fault", reason="left operational")
heartbeats(0, 5, [ms(115 + 100 * k) for k in range(1, 15)], 0x05)  # to 1.515
boot(0, 5, ms(1565))
heartbeats(0, 5, [ms(1645 + 100 * k) for k in range(0, 14)], 0x7F)  # to 2.945
nodes[(0, 5)]["intervals"] = [100000] * 14 + [80000] + [100000] * 13

# 6: every 200 ms, as 0x1017 read back by SDO says (its dictionary's 100 ms would make it late);
# an emergency raised and reset.
node(0, 6, name="Emergency cleared", state="operational", configured=0.2, source="SDO",
     boots=1, emcy=(2, "0x0000", False), health="ok", reason="")
heartbeats(0, 6, [ms(120 + 200 * k) for k in range(1, 14)], 0x05)  # to 2.720
nodes[(0, 6)]["intervals"] = [200000] * 13
frame(ms(1000), 0x086, [0x10, 0x32, 0x04, 0, 0, 0, 0, 0], heard=6)
frame(ms(1500), 0x086, [0x00, 0x00, 0x00, 0, 0, 0, 0, 0], heard=6)

# 7: no heartbeats; an emergency never reset.
node(0, 7, name="Emergency active", state="operational", configured=None, source="", boots=1,
     emcy=(1, "0x3210", True), health="fault", reason="emergency active")
frame(ms(2000), 0x087, [0x10, 0x32, 0x04, 0, 0, 0, 0, 0], heard=7)

# 8: no configured period; 170 ms since its last heartbeat is below 3 times the 100 ms measured.
node(0, 8, name="", state="operational", configured=None, source="", boots=1, health="ok",
     reason="")
heartbeats(0, 8, [ms(130 + 100 * k) for k in range(1, 28)], 0x05)  # to 2.830
nodes[(0, 8)]["intervals"] = [100000] * 27

# 9: guarded; the third response repeats the toggle bit. Reset and booted, it starts again at 0.
node(0, 9, name="Guarded", state="operational", configured=None, source="", boots=2,
     toggle_errors=1, health="warning", reason="toggle error")
for t, b in [(300, 0x05), (600, 0x85), (900, 0x85), (1200, 0x05)]:
    frame(ms(t), 0x709, kind="RTR")
    frame(ms(t) + 1000, 0x709, [b], heard=9)
nmt(ms(1600), 0x81, 9)
boot(0, 9, ms(1610))
nmt(ms(1700), 0x01, 9)
for t, b in [(1800, 0x05), (2100, 0x85), (2400, 0x05)]:
    frame(ms(t), 0x709, kind="RTR")
    frame(ms(t) + 1000, 0x709, [b], heard=9)

# 10: no configured period; 460 ms since its last heartbeat is above 3 times the 100 ms measured.
node(0, 10, name="", state="operational", configured=None, source="", boots=1, health="fault",
     reason="heartbeat late")
heartbeats(0, 10, [ms(140 + 100 * k) for k in range(1, 25)], 0x05)  # to 2.540
nodes[(0, 10)]["intervals"] = [100000] * 24

# 11: stopped by NMT at 2 s; its heartbeats say so after that.
node(0, 11, name="", state="stopped", configured=None, source="", boots=1, health="fault",
     reason="left operational")
heartbeats(0, 11, [ms(145 + 100 * k) for k in range(1, 19)], 0x05)  # to 1.945
nmt(ms(2000), 0x02, 11)
heartbeats(0, 11, [ms(145 + 100 * k) for k in range(19, 29)], 0x04)  # to 2.945
nodes[(0, 11)]["intervals"] = [100000] * 28

# 12: configured with a dictionary (100 ms), sent to pre-operational, never heard.
node(0, 12, name="Never heard", state="pre-operational", configured=0.1, source="dictionary",
     boots=0, health="fault", reason="no heartbeat, never heard")
nmt(ms(900), 0x80, 12)

# 13: configured, nothing else.
node(0, 13, name="Unheard", state="unknown", configured=None, source="", boots=0,
     health="warning", reason="never heard")

# Port 1's node 2 is another node; port 1's NMT start of all nodes leaves port 0's alone.
node(1, 2, name="", state="operational", configured=None, source="", boots=1, health="fault",
     reason="heartbeat late")
boot(1, 2, ms(2000))
heartbeats(1, 2, [ms(2100), ms(2200)], 0x7F)
nodes[(1, 2)]["intervals"] = [100000] * 2
nmt(ms(2960), 0x01, 0, port=1)

# ---- SYNC, a raw identifier, a 29-bit one, error frames ---------------------------------------
# Every 10 ms from 2.510 s, counting 1 to 5 and back to 1; one count is left out.
SYNC_SKIPS, SYNC_EXPECTED = 1, 0.010  # 0x1006 written by SDO (the dictionary says 20 ms)
for i in range(50):
    k = i if i < 22 else i + 1
    frame(ms(2510 + 10 * i), 0x080, [k % 5 + 1])
# Byte 1 changes within the last second, bytes 0 and 2 never.
for t, b in [(500, 0), (1500, 1), (2500, 2), (2900, 3)]:
    frame(ms(t), 0x181, [1, b, 0])
# The same two bytes three times within the last second: nothing changes.
for t in (2200, 2500, 2800):
    frame(ms(t), 0x20000000 | 0x1ABCDEF0, [0x11, 0x22])
frame(ms(1700), 0x005, [1, 2], kind="ERROR")
frame(ms(2700), 0x10005, [3, 4], kind="ERROR")

# ---- SDO transfers ----------------------------------------------------------------------------
# What each row must say: start, duration, node, direction, protocol, object, size, value bytes,
# result, crc; the frame index is found once the frames are in order.
transfers = []


class Sdo:
    """The frames of one node's SDO channel, one every millisecond from start."""

    def __init__(self, n, start):
        self.n, self.t = n, start

    def client(self, data):
        frame(self.t, 0x600 + self.n, data + [0] * (8 - len(data)))
        self.t += 1000

    def server(self, data):
        frame(self.t, 0x580 + self.n, data + [0] * (8 - len(data)), heard=self.n)
        self.t += 1000


def mux(index, sub):
    return [index & 0xFF, index >> 8, sub]


def transfer(n, start, end, upload, protocol, index, sub, value, result="OK", crc="", size=None):
    transfers.append(dict(start=start, duration=end - start, node=n, upload=upload,
                          protocol=protocol, index=index, sub=sub, value=value,
                          size=len(value) if size is None else size, result=result, crc=crc,
                          first=(start, 0x600 + n)))


def expedited_download(n, start, index, sub, value, abort=None):
    s = Sdo(n, start)
    s.client([0x23 | (4 - len(value)) << 2] + mux(index, sub) + value)
    s.server(([0x80] + mux(index, sub) + le(abort, 4)) if abort else [0x60] + mux(index, sub))
    transfer(n, start, s.t - 1000, False, "expedited", index, sub, value,
             result=abort and "0x%08X" % abort or "OK")


def expedited_upload(n, start, index, sub, value):
    s = Sdo(n, start)
    s.client([0x40] + mux(index, sub))
    s.server([0x43 | (4 - len(value)) << 2] + mux(index, sub) + value)
    transfer(n, start, s.t - 1000, True, "expedited", index, sub, value)


def segments(value):
    return [value[i:i + 7] for i in range(0, len(value), 7)]


def segmented_download(n, start, index, sub, value, sent=None):
    """sent: how many segments go out before the transfer stops; all by default."""
    s = Sdo(n, start)
    s.client([0x21] + mux(index, sub) + le(len(value), 4))
    s.server([0x60] + mux(index, sub))
    parts = segments(value)
    for k, part in enumerate(parts[:sent]):
        last = k == len(parts) - 1
        s.client([(k & 1) << 4 | (7 - len(part)) << 1 | last] + part)
        if sent is None:
            s.server([0x20 | (k & 1) << 4])
    if sent is None:
        transfer(n, start, s.t - 1000, False, "segmented", index, sub, value)
    else:
        taken = sum(len(p) for p in parts[:sent])
        transfer(n, start, s.t - 1000, False, "segmented", index, sub, value[:taken],
                 result="incomplete")


def segmented_upload(n, start, index, sub, value, sent=None):
    s = Sdo(n, start)
    s.client([0x40] + mux(index, sub))
    s.server([0x41] + mux(index, sub) + le(len(value), 4))
    parts = segments(value)
    for k, part in enumerate(parts[:sent]):
        last = k == len(parts) - 1
        s.client([0x60 | (k & 1) << 4])
        s.server([(k & 1) << 4 | (7 - len(part)) << 1 | last] + part + [0] * (7 - len(part)))
    taken = value if sent is None else value[:7 * sent]
    transfer(n, start, s.t - 1000, True, "segmented", index, sub, taken,
             result="OK" if sent is None else "incomplete")
    return s.t


def sub_block(side, data, first_seq, count, last):
    """count segments of data from segment first_seq on; last: the final one is the transfer's."""
    parts = segments(data)
    for k in range(count):
        part = parts[first_seq + k]
        final = last and k == count - 1
        side([(k + 1) | (0x80 if final else 0)] + part + [0] * (7 - len(part)))


def block_download(n, start, index, sub, value, block, acks, crc_good=True):
    """acks: the sub-blocks as (segments sent, segments the node acknowledges)."""
    s = Sdo(n, start)
    s.client([0xC6] + mux(index, sub) + le(len(value), 4))
    s.server([0xA4] + mux(index, sub) + [block])
    at = 0  # bytes acknowledged
    for sent, taken in acks:
        data = value[at:]
        sub_block(s.client, data, 0, sent, 7 * sent >= len(data))
        s.server([0xA2, taken, block])
        at += 7 * taken
    unused = (7 - len(value) % 7) % 7
    crc = crc16(value) ^ (0 if crc_good else 0xFFFF)
    s.client([0xC1 | unused << 2] + le(crc, 2))
    s.server([0xA1])
    transfer(n, start, s.t - 1000, False, "block", index, sub, value,
             crc="ok" if crc_good else "bad")


def block_upload(n, start, index, sub, value, crc_good=True):
    s = Sdo(n, start)
    s.client([0xA4] + mux(index, sub) + [127])
    s.server([0xC6] + mux(index, sub) + le(len(value), 4))
    s.client([0xA3])
    count = len(segments(value))
    sub_block(s.server, value, 0, count, True)
    s.client([0xA2, count, 127])
    unused = (7 - len(value) % 7) % 7
    crc = crc16(value) ^ (0 if crc_good else 0xFFFF)
    s.server([0xC1 | unused << 2] + le(crc, 2))
    s.client([0xA1])
    transfer(n, start, s.t - 1000, True, "block", index, sub, value,
             crc="ok" if crc_good else "bad")


expedited_download(5, ms(500), 0x1017, 0, le(100, 2))
expedited_upload(6, ms(520), 0x1017, 0, le(200, 2))
segmented_download(2, ms(600), 0x2000, 0, list(b"Hello, segmented world!"))
segmented_upload(2, ms(700), 0x1008, 0, list(b"Status test node"))
expedited_download(3, ms(800), 0x1000, 0, le(0x20192, 4), abort=0x06010002)
# Cut short after one segment by a new transfer, which completes.
segmented_upload(3, ms(1000), 0x2000, 0, list(b"twenty bytes of text"), sent=1)
expedited_upload(3, ms(1004), 0x1000, 0, le(0x20192, 4))
block_download(2, ms(1100), 0x2001, 0, [(i * 11) & 0xFF for i in range(30)], 127, [(5, 5)])
block_upload(3, ms(1200), 0x2002, 0, [(i * 13) & 0xFF for i in range(20)], crc_good=False)
# The node acknowledges 2 of the first sub-block's 4 segments, then 3 of the next 4 (the last one
# not): each time the client sends again from the first segment not acknowledged.
block_download(4, ms(1300), 0x2003, 0, [(i * 17) & 0xFF for i in range(40)], 4,
               [(4, 2), (4, 3), (1, 1)])
segmented_upload(5, ms(1400), 0x2004, 0, [(i * 3) & 0xFF for i in range(100)])
expedited_download(2, ms(2050), 0x1006, 0, le(10000, 4))
# Never ends.
segmented_download(2, ms(2950), 0x2000, 0, list(b"never finished"), sent=1)

frames.sort(key=lambda f: (f[0], f[1]))
assert frames[-1][0] == NOW


def line(f):
    t, _, port, kind, id, data, _ = f
    if kind == "RTR":
        return f"{t:9d} RTR{port}: 0x{id:08x}"
    return f"{t:9d} {kind}{port}: 0x{id:08x} - " + "".join(f"0x{b:02x} " for b in data)


def index_of(t, id):
    """The store index of the frame at t on id: comment lines are stored too."""
    for i, f in enumerate(frames):
        if f[0] == t and f[4] == id:
            return len(HEADER) + i
    raise KeyError((t, id))


# ---- the check --------------------------------------------------------------------------------
abort_text = " (Attempt to write a read only object.)"  # of the one abort code sent


def sec(us):
    return "%.6f" % (us / 1e6)


def period_cells(intervals):
    if not intervals:
        return ["", "", "", ""]
    return [sec(statistics.mean(intervals)), sec(min(intervals)), sec(max(intervals)),
            sec(statistics.pstdev(intervals) if len(intervals) > 1 else 0)]


def expected_nodes():
    rows = {}
    for (port, n), e in sorted(nodes.items()):
        heard = [f[0] for f in frames if f[2] == port and f[6] == n]
        # Heartbeats: data frames on 0x700 + n but boot-ups and answers to a guarding request.
        own = [f for f in frames if f[2] == port and f[4] == 0x700 + n]
        hb = [f for prev, f in zip([None] + own, own)
              if f[3] == "CAN" and f[5] != [0] and not (prev and prev[3] == "RTR")]
        # A node counts the transfers that ended, not the one under way.
        node_transfers = [x for x in transfers
                          if port == 0 and x["node"] == n and x is not transfers[-1]]
        aborts = [x for x in node_transfers if x["result"].startswith("0x")]
        emcy = e.get("emcy", (0, "", False))
        rows[(port, n)] = {
            "name": e["name"], "state": e["state"],
            "last_heard": sec(max(heard)) if heard else "",
            "since_heard": sec(NOW - max(heard)) if heard else "",
            "heartbeats": str(len(hb)),
            **dict(zip(["period_mean", "period_min", "period_max", "jitter"],
                       period_cells(e["intervals"]))),
            "period_configured": "%.6f" % e["configured"] if e["configured"] else "",
            "period_source": e["source"], "boots": str(e["boots"]),
            "toggle_errors": str(e.get("toggle_errors", 0)), "emcy_count": str(emcy[0]),
            "emcy_code": emcy[1], "emcy_active": "yes" if emcy[2] else "no",
            "sdo_transfers": str(len(node_transfers)), "sdo_aborts": str(len(aborts)),
            "sdo_last_abort": aborts[-1]["result"] + abort_text if aborts else "", "pdo_rate": "0",
            "health": e["health"], "reason": e["reason"]}
    return rows


def id_key(f):
    return (f[2], 0xFFFFFFFF if f[3] == "ERROR" else f[4])


def expected_ids():
    rows = {}
    for key in sorted({id_key(f) for f in frames}):
        fs = [f for f in frames if id_key(f) == key]
        times = [f[0] for f in fs]
        last = fs[-1]
        # Bytes that differ from the data frame before (remote requests between count not).
        changed = set()
        data = [f for f in fs if f[3] == "CAN"]
        for prev, cur in zip(data, data[1:]):
            if cur[0] > NOW - 1000000:
                for i, b in enumerate(cur[5]):
                    if i >= len(prev[5]) or prev[5][i] != b:
                        changed.add(i)
        # Frames per second: the ten whole 100 ms steps before the one NOW falls in.
        step = NOW // 100000 * 100000
        port, id = key
        text = "error" if id == 0xFFFFFFFF else (
            "0x%08X" % (id & 0x1FFFFFFF) if id & 0x20000000 else "0x%03X" % id)
        rows[(str(port), text)] = {
            "frames": str(len(fs)), "rate": str(sum(step - 1000000 <= t < step for t in times)),
            **dict(zip(["period_mean", "period_min", "period_max", "jitter"],
                       period_cells([b - a for a, b in zip(times, times[1:])]))),
            "length": str(len(last[5]) if last[3] != "RTR" else 0),
            "data": "RTR" if last[3] == "RTR" else " ".join("%02x" % b for b in last[5]),
            "changed": ",".join(str(i) for i in sorted(changed)),
            "expected_period": "%.6f" % SYNC_EXPECTED if id == 0x080 else "",
            "counter_skips": str(SYNC_SKIPS) if id == 0x080 else ""}
    return rows


def value_matches(text, value, size):
    """The value cell against the bytes: a number, a quoted string or hex bytes."""
    kept = value[:64]
    more = " ..." if size > 64 else ""
    hex_text = " ".join("%02x" % b for b in kept) + more
    number = int.from_bytes(bytes(value), "little") if value else None
    options = {hex_text, '"%s"' % bytes(kept).decode("latin-1") + more}
    if number is not None:
        options |= {str(number), "%d (0x%0*x)" % (number, 2 * len(value), number)}
    return text in options


def expected_transfers():
    rows = []
    for x in sorted(transfers, key=lambda x: index_of(*x["first"])):
        rows.append({
            "start": sec(x["start"]), "duration": sec(x["duration"]), "port": "0",
            "node": str(x["node"]), "direction": "upload" if x["upload"] else "download",
            "protocol": x["protocol"], "index": "0x%04X" % x["index"], "sub": "0x%02X" % x["sub"],
            "size": str(x["size"]), "value": x, "crc": x["crc"],
            "result": x["result"], "frame": str(index_of(*x["first"]))})
    return rows


def check(path):
    problems = []

    def compare(what, want, got):
        for column, value in want.items():
            if got.get(column) != value:
                problems.append(f"{what} {column}: want {value!r}, printed {got.get(column)!r}")

    nodes_out, ids_out, transfers_out = tables_of(path)
    want = expected_nodes()
    got = {(int(r["port"]), int(r["node"])): r for r in nodes_out}
    for key in sorted(set(want) | set(got)):
        if key not in got or key not in want:
            problems.append(f"node {key}: row {'missing' if key not in got else 'unexpected'}")
            continue
        compare("node %d/%d" % key, want[key], got[key])
    want = expected_ids()
    got = {(r["port"], r["id"]): r for r in ids_out}
    if list(got) != list(want):
        problems.append(f"ids: rows {list(got)}, want {list(want)}")
    for key in want:
        if key in got:
            compare("id %s/%s" % key, want[key], got[key])
    want = expected_transfers()
    if len(want) != len(transfers_out):
        problems.append(f"transfers: {len(transfers_out)} rows, want {len(want)}")
    for w, g in zip(want, transfers_out):
        x = w.pop("value")
        if w["result"].startswith("0x"):
            w["result"] += abort_text
        compare("transfer at %s" % w["start"], w, g)
        if not value_matches(g["value"], x["value"], x["size"]):
            problems.append(f"transfer at {w['start']} value: printed {g['value']!r}, "
                            f"sent {bytes(x['value'][:64]).hex(' ')}")
    return problems


def json_matches(text_path, json_path):
    """-j gives the same rows: numbers as numbers, flags as booleans, empty numbers as null."""
    names = ["nodes", "ids", "transfers"]
    rows = [dict(r, table=names[k]) for k, t in enumerate(tables_of(text_path)) for r in t]
    objects = [json.loads(l) for l in open(json_path)]
    problems = []
    for row, obj in zip(rows, objects):
        for column, cell in row.items():
            value = obj.get(column, "absent")
            if isinstance(value, bool):
                value = "yes" if value else "no"
            elif value is None:
                value = ""
            elif isinstance(value, float):
                value = "%.6f" % value
            elif isinstance(value, int):
                value = str(value)
            if value != cell or list(obj)[1:] != list(row)[:-1]:
                problems.append(f"{json_path}: {obj} against {row}")
                break
    if len(rows) != len(objects):
        problems.append(f"{json_path}: {len(objects)} objects, {len(rows)} rows")
    return problems


def tables_of(path):
    """The three tables of `-S all`: lists of rows as column -> cell."""
    blocks = open(path).read().rstrip("\n").split("\n\n")
    result = []
    for block in blocks:
        lines = block.split("\n")
        header = lines[0].split("\t")
        result.append([dict(zip(header, l.split("\t"))) for l in lines[1:]])
    return result


if __name__ == "__main__":
    if len(sys.argv) in (3, 4) and sys.argv[1] == "--check":
        found = check(sys.argv[2]) + (json_matches(*sys.argv[2:]) if len(sys.argv) == 4 else [])
        print("\n".join(found) if found else "all as sent")
        sys.exit(1 if found else 0)
    print("\n".join(HEADER + [line(f) for f in frames]))
