#!/usr/bin/env python3
"""Writes a solved timetable SOLUC.DBF of a given number of entries for the tables a benchmark
exportar wrote, with a plain dBase III writer of its own (python3-dbf is too slow for 200,000
rows): PROF, DIA N(2,0), HORA N(2,0), MARCO N(1,0), ASIG, CODGRUPO, TAREA, AULA.

  make_soluc.py TIMETABLE_FOLDER ENTRIES"""
import argparse
import datetime
import os
import random
import struct


def read(path, fields):
    with open(path, "rb") as f:
        data = f.read()
    count, header, length = struct.unpack("<IHH", data[4:12])
    layout, offset, at = {}, 1, 32
    while data[at] != 0x0D:
        name = data[at:at + 11].split(b"\0")[0].decode("ascii")
        width = data[at + 16]
        layout[name] = (offset, width)
        offset += width
        at += 32
    rows = []
    for r in range(count):
        rec = data[header + r * length: header + (r + 1) * length]
        rows.append([rec[layout[f][0]:layout[f][0] + layout[f][1]].decode("cp1252").rstrip(" ")
                     for f in fields])
    return rows


def write(path, fields, rows):
    record_length = 1 + sum(w for _, _, w in fields)
    today = datetime.date.today()
    header = struct.pack("<BBBBIHH16xBB2x", 3, today.year - 1900, today.month, today.day, len(rows),
                         32 + 32 * len(fields) + 1, record_length, 0, 0x57)
    with open(path, "wb") as f:
        f.write(header)
        for name, kind, width in fields:
            f.write(struct.pack("<11sc4xBB14x", name.encode(), kind.encode(), width, 0))
        f.write(b"\r")
        for row in rows:
            f.write(b" ")
            for (name, kind, width), value in zip(fields, row):
                text = str(value).encode("cp1252", "replace")[:width]
                f.write(text.rjust(width) if kind == "N" else text.ljust(width))
        f.write(b"\x1a")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder", metavar="TIMETABLE_FOLDER",
                        help="the folder with the tables a benchmark exportar wrote")
    parser.add_argument("entries", metavar="ENTRIES", type=int, help="how many rows to write")
    arguments = parser.parse_args()
    folder, entries = arguments.folder, arguments.entries
    rnd = random.Random(entries)
    teachers = [r[0] for r in read(os.path.join(folder, "PROFT.DBF"), ["ABREV"])]
    assignments = read(os.path.join(folder, "ASIGT.DBF"), ["CASIG", "CGRUP"])
    cells = [(int(d), int(h)) for d, h in read(os.path.join(folder, "DIASHORAST.DBF"), ["DIA", "HORA"])]
    rooms = [r[0] for r in read(os.path.join(folder, "AULAT.DBF"), ["ABREV"])]
    rows = []
    for n in range(entries):
        asig, grupo = assignments[n % len(assignments)]
        day, hour = cells[rnd.randrange(len(cells))] if n % 20 else (0, 0)
        tarea = "GUA" if n % 50 == 7 else ""
        aula = "" if n % 11 == 3 else rooms[n % len(rooms)]
        rows.append((teachers[rnd.randrange(len(teachers))], day, hour, 0, asig, grupo, tarea, aula))
    write(os.path.join(folder, "SOLUC.DBF"),
          [("PROF", "C", 10), ("DIA", "N", 2), ("HORA", "N", 2), ("MARCO", "N", 1),
           ("ASIG", "C", 10), ("CODGRUPO", "C", 10), ("TAREA", "C", 12), ("AULA", "C", 10)], rows)


if __name__ == "__main__":
    main()
