#!/usr/bin/python3
"""Writes the fuzzers' seed corpora: small valid property lists and keyed
archives, each in the shapes the readers have to handle. Inputs that once
crashed a reader (regress-*) are kept beside them by hand."""

import datetime
import os
import plistlib
import sys
from plistlib import UID

HERE = os.path.dirname(os.path.abspath(__file__))


def write(folder, name, data):
    path = os.path.join(HERE, "corpus", folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def property_lists():
    values = {
        "dict": {
            "title": "掌声 Applause",
            "count": 3,
            "negative": -42,
            "big": 2**64 - 1,
            "ratio": 0.25,
            "on": True,
            "when": datetime.datetime(2023, 5, 6, 7, 8, 9),
            "bytes": b"\x00\x01\xfe\xff",
            "list": [1, "two", [], {}],
        },
        "array": ["欢呼", 1.5, False, datetime.datetime(1999, 12, 31), b""],
        "nested": {"a": {"b": {"c": [[["deep"]]]}}},
        "string": "plain text",
    }
    for name, value in values.items():
        write("property_list", name + ".xml", plistlib.dumps(value, fmt=plistlib.FMT_XML))
        write("property_list", name + ".bplist", plistlib.dumps(value, fmt=plistlib.FMT_BINARY))
    # UIDs exist only in binary lists.
    write("property_list", "uid.bplist",
          plistlib.dumps({"ref": UID(7), "list": [UID(0), UID(300)]}, fmt=plistlib.FMT_BINARY))


def archive(objects, root=1):
    return plistlib.dumps(
        {"$archiver": "NSKeyedArchiver", "$version": 100000, "$top": {"root": UID(root)},
         "$objects": objects},
        fmt=plistlib.FMT_BINARY)


def keyed_archives():
    # An array of records (the fuzzer registers "Record" and "Strict"), one
    # nested in another, shared strings and an inline number.
    write("keyed_unarchiver", "records.bplist", archive([
        "$null",
        {"NS.objects": [UID(3), UID(7), UID(11)], "$class": UID(2)},
        {"$classname": "NSArray", "$classes": ["NSArray", "NSObject"]},
        {"name": UID(4), "time": UID(5), "count": 7, "flag": True, "ratio": 0.5,
         "$class": UID(6)},
        "第一",
        {"NS.time": 700000000.5, "$class": UID(8)},
        {"$classname": "Record", "$classes": ["Record", "NSObject"]},
        {"name": UID(4), "child": UID(3), "$class": UID(10)},
        {"$classname": "NSDate", "$classes": ["NSDate", "NSObject"]},
        {"$classname": "Unknown", "$classes": ["Unknown", "NSObject"]},
        {"$classname": "Strict", "$classes": ["Strict", "NSObject"]},
        {"x": 1, "$class": UID(9)},
    ]))
    # A dictionary with mutable string, data and nested array values.
    write("keyed_unarchiver", "dictionary.bplist", archive([
        "$null",
        {"NS.keys": [UID(2), UID(3), UID(4)], "NS.objects": [UID(5), UID(7), UID(8)],
         "$class": UID(10)},
        "text", "bytes", "list",
        {"NS.string": "mutable", "$class": UID(6)},
        {"$classname": "NSMutableString", "$classes": ["NSMutableString", "NSString", "NSObject"]},
        b"\x01\x02\x03",
        {"NS.objects": [UID(2), UID(0), UID(9)], "$class": UID(11)},
        3.25,
        {"$classname": "NSMutableDictionary",
         "$classes": ["NSMutableDictionary", "NSDictionary", "NSObject"]},
        {"$classname": "NSMutableArray", "$classes": ["NSMutableArray", "NSArray", "NSObject"]},
    ]))
    # A bare string root and a shared (not cyclic) record.
    write("keyed_unarchiver", "string.bplist", archive(["$null", "only"]))
    write("keyed_unarchiver", "shared.bplist", archive([
        "$null",
        {"NS.objects": [UID(2), UID(2)], "$class": UID(4)},
        {"name": UID(5), "$class": UID(3)},
        {"$classname": "Strict", "$classes": ["Strict", "NSObject"]},
        {"$classname": "NSArray", "$classes": ["NSArray", "NSObject"]},
        "shared",
    ]))


if __name__ == "__main__":
    if sys.version_info < (3, 8):
        sys.exit("needs Python 3.8 or later (plistlib.UID)")
    property_lists()
    keyed_archives()
