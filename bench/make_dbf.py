#!/usr/bin/env python3
"""Writes a dBase III table of N generated records, independently of Quillora's writer.

usage: make_dbf.py PATH N [ORDER]
Fields: NOME C30, CIDADE C20, VALOR N12.2, QTD N6, NASC D, ATIVO L; with ORDER (increasing or
random) an ID N10 field comes first, numbering the records 1..N in that order.
"""
import datetime
import struct
import sys

path, count = sys.argv[1], int(sys.argv[2])
order = sys.argv[3] if len(sys.argv) > 3 else None
fields = ([("ID", "N", 10, 0)] if order else []) + [("NOME", "C", 30, 0), ("CIDADE", "C", 20, 0), ("VALOR", "N", 12, 2),
          ("QTD", "N", 6, 0), ("NASC", "D", 8, 0), ("ATIVO", "L", 1, 0)]
record_length = 1 + sum(f[2] for f in fields)
header_length = 32 + 32 * len(fields) + 1
today = datetime.date.today()
cities = ["São Paulo", "Recife", "Curitiba", "Belém", "Porto Alegre", "Goiânia"]

with open(path, "wb") as out:
    out.write(struct.pack("<BBBBIHH20x", 0x03, today.year - 1900, today.month, today.day,
                          count, header_length, record_length))
    for name, kind, length, decimals in fields:
        out.write(struct.pack("<11sc4xBB14x", name.encode("ascii"), kind.encode("ascii"), length, decimals))
    out.write(b"\r")
    base = datetime.date(1950, 1, 1)
    chunk = []
    ids = list(range(1, count + 1))
    if order == "random":
        import random
        random.Random(7).shuffle(ids)
    for i in range(count):
        nome = ("Cliente %07d" % i).ljust(30).encode("cp850")
        cidade = cities[i % len(cities)].ljust(20).encode("cp850")
        valor = ("%.2f" % ((i % 100000) * 1.25 - 5000)).rjust(12).encode("ascii")
        qtd = str(i % 1000).rjust(6).encode("ascii")
        nasc = (base + datetime.timedelta(days=i % 20000)).strftime("%Y%m%d").encode("ascii")
        ativo = b"T" if i % 3 else b"F"
        key = str(ids[i]).rjust(10).encode("ascii") if order else b""
        chunk.append(b" " + key + nome + cidade + valor + qtd + nasc + ativo)
        if len(chunk) == 10000:
            out.write(b"".join(chunk))
            chunk = []
    out.write(b"".join(chunk))
    out.write(b"\x1a")
