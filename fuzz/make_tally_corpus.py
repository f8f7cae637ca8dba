#!/usr/bin/python3
"""Writes the seed corpora of the analytics fuzzers: Thrift Responses and
envelope files (plain and encrypted entities), packed by hand in Thrift's
binary protocol."""

import hashlib
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(folder, name, data):
    path = os.path.join(HERE, "corpus", folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def field(kind, fid, payload):
    return struct.pack(">bh", kind, fid) + payload


def i32(v):
    return struct.pack(">i", v)


def i64(v):
    return struct.pack(">q", v)


def string(s):
    b = s.encode() if isinstance(s, str) else s
    return i32(len(b)) + b


def imprint(props, version=1):
    body = b""
    for key, (value, ts, guid) in sorted(props.items()):
        body += string(key)
        if value is not None:
            body += field(11, 1, string(value))
        body += field(10, 2, i64(ts)) + field(11, 3, string(guid)) + b"\x00"
    text = "".join(k + (v or "") + str(ts) + g
                   for k, (v, ts, g) in sorted(props.items(), key=lambda kv: kv[0].lower()))
    checksum = hashlib.md5((text + str(version)).encode()).hexdigest()
    return (field(13, 1, struct.pack(">bbi", 11, 12, len(props)) + body)
            + field(8, 2, i32(version)) + field(11, 3, string(checksum)) + b"\x00")


def response(code, msg=None, props=None):
    out = field(8, 1, i32(code))
    if msg is not None:
        out += field(11, 2, string(msg))
    if props is not None:
        out += field(12, 3, imprint(props))
    return out + b"\x00"


def envelope(payload, codex=0):
    entity = zlib.compress(payload)
    signature, guid, serial, ts = "ab" * 32, "cd" * 32, 3, 1700000000
    checksum = hashlib.md5(f"{signature}{serial}{ts}{len(payload)}{guid}".encode()).hexdigest()
    return (field(11, 1, string("V1.0")) + field(11, 2, string("5f8e2a91c3d74b06e1a9c2d7"))
            + field(11, 3, string(signature)) + field(8, 4, i32(serial)) + field(8, 5, i32(ts))
            + field(8, 6, i32(len(payload))) + field(11, 7, string(entity))
            + field(11, 8, string(guid)) + field(11, 9, string(checksum))
            + field(8, 10, i32(codex)) + b"\x00")


def main():
    write("thrift_response", "ok.bin", response(1, "ok"))
    write("thrift_response", "imprint.bin", response(1, "ok", {
        "codex": ("1", 1700000000000, "g1"),
        "defcon": ("2", 7, "g2"),
        "Report_policy": (None, 8, "g3"),
    }))
    write("thrift_response", "error.bin", response(0))
    doc = b'{"header":{"appkey":"k"},"body":{"ekv":[{"s":[{"id":"e","ts":1}]}]}}'
    write("envelope_reader", "plain.log", envelope(doc))
    write("envelope_reader", "codex.log", envelope(doc, codex=1))


main()
