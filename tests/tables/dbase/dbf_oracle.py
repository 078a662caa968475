#!/usr/bin/env python3
"""Prints what python3-dbfread reads from a dBase table, as JSON, for the Quillora tests.

usage: dbf_oracle.py TABLE ENCODING [nomemo]
Output: {"fields": [...], "records": [[value, ...], ...], "deleted": N} where each value is
"null", "s:text", "n:number", "b:true|false", "d:YYYY-MM-DD" or "x:hex"; or {"error": "..."}.
"""
import datetime
import json
import sys

import struct

import dbfread
from dbfread import memo as dbfmemo


class DB4MemoFile(dbfmemo.DB4MemoFile):
    """dbfread 2.0.7 assumes 512-byte blocks and returns 8 bytes past the end of each dBase IV memo
    (its length counts the 8-byte block head). Read the block size and the length as dBase does."""

    def __getitem__(self, index):
        if index <= 0:
            return None
        self.file.seek(20)
        block_size = struct.unpack("<H", self.file.read(2))[0] or 512
        self.file.seek(index * block_size)
        head = self.file.read(8)
        if head[:4] != b"\xff\xff\x08\x00":
            raise ValueError("no memo block at %d" % index)
        length = struct.unpack("<I", head[4:8])[0]
        return self.file.read(length - 8)


dbfmemo.DB4MemoFile = DB4MemoFile


def show(v):
    if v is None or v == "" or v == b"":
        return "null"
    if isinstance(v, bool):
        return "b:true" if v else "b:false"
    if isinstance(v, (int, float)):
        return "n:" + repr(v)
    if isinstance(v, datetime.datetime):
        return "t:" + v.isoformat()
    if isinstance(v, datetime.date):
        return "d:" + v.isoformat()
    if isinstance(v, (bytes, bytearray)):
        return "x:" + bytes(v).hex()
    return "s:" + str(v)


def main():
    path, encoding = sys.argv[1], sys.argv[2]
    nomemo = len(sys.argv) > 3 and sys.argv[3] == "nomemo"
    try:
        table = dbfread.DBF(path, encoding=encoding, char_decode_errors="strict",
                            ignore_missing_memofile=nomemo, raw=False,
                            recfactory=list)  # by position: some files repeat a field name
        memo_types = "MBG"
        records = []
        for rec in table.records:
            row = []
            for f, (_, value) in zip(table.fields, rec):
                if nomemo and f.type in memo_types:
                    row.append("skip")
                else:
                    row.append(show(value))
            records.append(row)
        deleted = sum(1 for _ in table.deleted)
        print(json.dumps({"fields": table.field_names, "records": records, "deleted": deleted}))
    except Exception as exc:  # the caller decides whether this file is expected to fail here
        print(json.dumps({"error": "%s: %s" % (type(exc).__name__, exc)}))


main()
