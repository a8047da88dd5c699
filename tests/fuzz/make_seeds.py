#!/usr/bin/env python3
"""Writes the seed corpus of the three fuzz targets, in the input formats their sources describe.

Run it from anywhere after changing a format; the files it writes are committed.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- enumerate: flags, size value and bytes returned, claimed, fault, two ID requests ----------
SIZE_OK, DOUBLE_BYTE, BOTH_CLASSES, SINK_STOPS, SIZE_CLAIMS, ALLOC_FAULT = 1, 2, 4, 8, 16, 32


def request(reply=None, claimed=None):
    if reply is None:
        return bytes([2 if claimed is not None else 0]) + (u32(claimed) if claimed is not None else b"")
    flags = 1 | (2 if claimed is not None else 0)
    out = bytes([flags]) + (u32(claimed) if claimed is not None else b"")
    return out + u16(len(reply)) + reply


def enumerate_seed(flags, size=0, returned=4, claimed=None, fault=None, first=None, second=None,
                   first_claims=None, second_claims=None):
    out = bytes([flags]) + u32(size) + bytes([returned])
    if flags & SIZE_CLAIMS:
        out += u32(claimed)
    if flags & ALLOC_FAULT:
        out += bytes([fault])
    return out + request(first, first_claims) + request(second, second_claims)


ID = b"MFG:Acme;MDL:X1;CMD:PCL;"
write("enumerate", "plain", enumerate_seed(SIZE_OK, 24, first=ID))
write("enumerate", "no_size_second_request", enumerate_seed(BOTH_CLASSES, second=b"\0\x10MFG:Acme;MODEL:X2;"))
write("enumerate", "size_cuts_the_reply", enumerate_seed(SIZE_OK, 9, first=ID))
write("enumerate", "short_size_reply", enumerate_seed(SIZE_OK, 20, returned=2, first=ID))
write("enumerate", "largest_size", enumerate_seed(SIZE_OK, 0x10000, first=ID))
write("enumerate", "first_empty", enumerate_seed(0, first=b"", second=b"MFG:A;MDL:B"))
write("enumerate", "claims_more_than_placed", enumerate_seed(SIZE_OK, 40, first=b"MFG:A;MDL:B;", first_claims=30))
write("enumerate", "claims_nothing", enumerate_seed(0, first=ID, first_claims=0, second=b"MDL:Z;MFG:Y"))
write("enumerate", "size_claims", enumerate_seed(SIZE_OK | SIZE_CLAIMS, 30, returned=1, claimed=4, first=ID))
write("enumerate", "double_byte", enumerate_seed(DOUBLE_BYTE, first=b"MFG:\x81;X;MDL:Y\xe0"))
write("enumerate", "sink_stops", enumerate_seed(BOTH_CLASSES | SINK_STOPS, first=ID))
write("enumerate", "allocation_fails", enumerate_seed(ALLOC_FAULT | BOTH_CLASSES, fault=3, first=ID))
write("enumerate", "nul_nul", enumerate_seed(0, first=b"\0\0MFG:A;MDL:B;"))

# ---- parse: mode, optional lead-byte ranges, text ------------------------------------------------
for name, mode, text in [
    ("plain", 0, b"MFG:Acme;MDL:X1;CMD:PCL;"),
    ("runs_of_separators", 0, b";;MFG:A;;;MODEL:B;;"),
    ("later_fields_win", 0, b"MFG:A;MODEL:B;MDL:C;MFG:D"),
    ("both_keys_in_one_field", 0, b"MFG:A MDL:B;MDL:C"),
    ("nul_inside", 0, b"MFG:A;\0MDL:B;"),
    ("star_prefix", 0, b"*\x10MFG:Acme;MDL:X1"),
    ("double_byte_trail_separator", 1, b"MFG:\x81;X;MDL:Y;"),
    ("double_byte_lead_at_end", 1, b"MDL:B;MFG:\xfc"),
]:
    write("parse", name, bytes([mode]) + text)
write("parse", "double_byte_own_ranges", bytes([3, 2, 0x3A, 0x3B, 0xA0, 0xA0]) + b"MFG:\xa0;:;MDL:x;")

# ---- transfer: flags, length, timeout, start, op cost, latency, outcomes ------------------------
NOW, AFTER, NEVER, FAIL, FAIL_AFTER = 0, 1, 2, 3, 4
IGNORES_CANCEL, CLAIMS, ALL = 8, 16, 32


def outcome(kind, bytes_=None, delay=0, ignores=False, claimed=None):
    k = kind | (IGNORES_CANCEL if ignores else 0) | (CLAIMS if claimed is not None else 0)
    k |= ALL if bytes_ is None else 0
    out = bytes([k])
    if bytes_ is not None:
        out += u16(bytes_)
    if kind in (AFTER, FAIL_AFTER):
        out += u16(delay)
    if claimed is not None:
        out += u32(claimed)
    return out


def transfer_seed(write_, length, timeout, start=0x10000, cost=0, latency=1, outcomes=()):
    out = bytes([1 if write_ else 0]) + u16(length) + u32(timeout) + u32(start)
    out += bytes([cost, latency])
    return out + b"".join(outcomes)


write("transfer", "write_in_chunks", transfer_seed(True, 9000, 500, outcomes=[outcome(NOW)] * 3))
write("transfer", "partial_operations", transfer_seed(True, 10000, 500, outcomes=[
    outcome(NOW, 1000), outcome(AFTER, 3000, 20), outcome(NOW), outcome(NOW), outcome(NOW)]))
write("transfer", "read_never_answers", transfer_seed(False, 100, 500, latency=40, outcomes=[outcome(NEVER)]))
write("transfer", "second_waits_what_is_left", transfer_seed(True, 5000, 500, outcomes=[
    outcome(AFTER, delay=300), outcome(NEVER)]))
write("transfer", "ignores_cancel", transfer_seed(False, 100, 500, outcomes=[
    outcome(AFTER, 60, 530, ignores=True)]))
write("transfer", "fail_after_goes_on", transfer_seed(False, 100, 50, outcomes=[
    outcome(FAIL_AFTER, 0, 20)] * 4))
write("transfer", "zero_bytes_at_once", transfer_seed(True, 100, 50, cost=10, outcomes=[outcome(NOW, 0)] * 8))
write("transfer", "claims_beyond_the_chunk", transfer_seed(True, 100, 500, outcomes=[
    outcome(NOW, claimed=5000)]))
write("transfer", "wrap", transfer_seed(True, 5000, 500, start=0xFFFFFF00, outcomes=[
    outcome(AFTER, delay=300), outcome(AFTER, delay=150)]))
write("transfer", "largest_timeout", transfer_seed(False, 5000, 0xFFFFFFFF, outcomes=[
    outcome(AFTER, delay=300), outcome(NEVER)]))
write("transfer", "after_the_deadline", transfer_seed(True, 3 * 4096, 500, cost=200, outcomes=[
    outcome(NOW), outcome(AFTER, delay=0), outcome(AFTER, delay=10)]))
write("transfer", "fail_at_once", transfer_seed(True, 5000, 500, outcomes=[outcome(NOW), outcome(FAIL)]))
write("transfer", "length_zero", transfer_seed(False, 0, 500))
