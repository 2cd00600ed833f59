# Reads a log that quillon-dump wrote with python-can, checks every message against
# quillon-dump's JSON Lines of the same frames, and writes the messages again with python-can.
# Usage: pycan_roundtrip.py FORMAT OURS JSONL THEIRS
import json
import sys

import can

fmt, ours, jsonl, theirs = sys.argv[1:]
readers = {"candump": can.CanutilsLogReader, "asc": can.ASCReader, "trc": can.TRCReader}
writers = {"candump": can.CanutilsLogWriter, "asc": can.ASCWriter, "trc": can.TRCWriter}
kinds = {"candump": ("data", "rtr", "error"), "asc": ("data", "rtr", "error"), "trc": ("data",)}

expected = [f for f in map(json.loads, open(jsonl)) if f["type"] in kinds[fmt]]
messages = list(readers[fmt](ours))
if len(messages) != len(expected):
    sys.exit(f"{len(messages)} messages read, {len(expected)} frames written")
first = messages[0].timestamp
for m, f in zip(messages, expected):
    port = {"candump": f"can{f['port']}", "asc": f["port"], "trc": f["port"] + 1}[fmt]
    if m.is_error_frame and fmt == "candump":  # its reader gives error frames no channel
        m.channel = port
    got = (round((m.timestamp - first) * 1e6), m.channel, m.is_error_frame, m.is_remote_frame)
    want = (f["timestamp"], port, f["type"] == "error", f["type"] == "rtr")
    if not m.is_error_frame:
        got += (m.is_extended_id, m.arbitration_id, bytes(m.data))
        data = bytes.fromhex(f["data"])[: f["length"]] if f["type"] == "data" else b""
        want += (f["ext"], f["id"] & 0x1FFFFFFF, data)
    if got != want:
        sys.exit(f"read {got}, wrote {want}")
with writers[fmt](theirs) as writer:
    for m in messages:
        if fmt == "trc":  # its reader numbers buses from 1, its writer channels from 0
            m.channel -= 1
        writer.on_message_received(m)
