#!/usr/bin/env python3
"""Reads and writes dBase tables with Debian's python3-dbf, independently of Quelvana's own
table layer.

  dbftool.py read TABLE          prints JSON: code page, fields (name, type, width, decimals)
                                 and records (text as stored, numbers, true/false, null)
  dbftool.py write TABLE JSON    writes a table from a JSON file:
                                 {"codepage": "cp850", "fields": "NOMBRE C(12); DIA N(2,0)",
                                  "records": [["Ñandú", 3], ...]}"""
import datetime
import json
import sys

import dbf


def value(v):
    if isinstance(v, (datetime.date, dbf.Date)):
        return v.isoformat() if v else None
    if isinstance(v, bool) or v is None or isinstance(v, (int, float, str)):
        return v
    if v is dbf.Null or v == dbf.Null:
        return None
    if isinstance(v, dbf.Logical):
        return None if v is dbf.Unknown else bool(v)
    return str(v)


def as_date(v):
    """A text of the form YYYY-MM-DD stands for a date."""
    if isinstance(v, str) and len(v) == 10 and v[4] == "-" and v[7] == "-":
        try:
            return datetime.date.fromisoformat(v)
        except ValueError:
            pass
    return v


def read(path):
    table = dbf.Table(path)
    table.open(dbf.READ_ONLY)
    fields = []
    for name in table.field_names:
        info = table.field_info(name)
        fields.append([name.upper(), chr(info.field_type), info.length, info.decimal])
    records = [[value(v) for v in record] for record in table]
    out = {"codepage": table.codepage.name, "fields": fields, "records": records}
    table.close()
    return out


def write(path, description_path):
    with open(description_path, encoding="utf-8") as f:
        description = json.load(f)
    table = dbf.Table(path, description["fields"], codepage=description.get("codepage", "cp1252"),
                      dbf_type="db3")
    table.open(dbf.READ_WRITE)
    for record in description["records"]:
        table.append(tuple(as_date(v) for v in record))
    table.close()


def main():
    if sys.argv[1] == "read":
        json.dump(read(sys.argv[2]), sys.stdout, ensure_ascii=True)
    elif sys.argv[1] == "write":
        write(sys.argv[2], sys.argv[3])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
