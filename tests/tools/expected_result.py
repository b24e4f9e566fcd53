#!/usr/bin/env python3
"""Works out, from a timetable folder read with Debian's python3-dbf, the teacher timetables a
result document for Yedra must hold, and compares them with the document read with Python's
expat. Prints every difference; exits 1 when there is any.

  expected_result.py TIMETABLE_FOLDER RESULT_DOCUMENT"""
import os
import sys
import xml.dom.minidom

import dbf


def table(folder, name):
    for entry in os.listdir(folder):
        if entry.lower() == name.lower() + ".dbf":
            t = dbf.Table(os.path.join(folder, entry))
            t.open(dbf.READ_ONLY)
            fields = t.field_names
            rows = []
            for record in t:
                if dbf.is_deleted(record):
                    continue
                row = {}
                for f, v in zip(fields, record):
                    if isinstance(v, str):
                        v = v.rstrip(" ")
                    elif isinstance(v, bool):
                        v = "T" if v else "F"
                    elif v is None:
                        v = ""
                    elif isinstance(v, float) and v == int(v):
                        v = str(int(v))
                    else:
                        v = str(v)
                    row[f.upper()] = v
                rows.append(row)
            t.close()
            return rows
    raise SystemExit("no table " + name)


def first(rows, key):
    out = {}
    for r in rows:
        out.setdefault(key(r), r)
    return out


def minutes(clock):
    if len(clock) < 5:
        clock = "0" + clock
    return int(clock[:2]) * 60 + int(clock[-2:])


def expected(folder):
    periods = table(folder, "PERIODOS")
    fecini = periods[0]["FECINI"] if periods else ""
    fecfin = periods[0]["FECFIN"] if periods else ""
    asignomt = table(folder, "ASIGNOMT")
    hay513 = any(r["COD"] == "513" for r in asignomt)
    tasks = first(asignomt, lambda r: r["COD"])
    assignments = first(table(folder, "ASIGT"), lambda r: (r["CASIG"], r["CGRUP"]))
    cells = first(table(folder, "DIASHORAST"), lambda r: (r["DIHO"], r["MARCO"]))
    units = first(table(folder, "GRUPOST"), lambda r: r["ABREV"])
    subjects = first(table(folder, "ASIGNOMT2"), lambda r: (r["COD"][:10], r["OFERTAMATRI"][:20]))
    soluc = table(folder, "SOLUC")
    teachers = []
    for teacher in table(folder, "PROFT"):
        activities = []
        for e in soluc:
            if e["PROF"] != teacher["ABREV"] or int(e["DIA"] or 0) == 0:
                continue
            a = assignments.get((e["ASIG"], e["CODGRUPO"]), {})
            offer, subject = a.get("CLAVECURSO", ""), a.get("CLAVE", "")
            activity = e["TAREA"]
            if not activity.strip() and e["ASIG"] in tasks:
                activity = tasks[e["ASIG"]]["CODTAREA"]
            cell = cells.get((e["DIA"] + str(int(e["HORA"] or 0)), e["MARCO"]), {})
            room = e["AULA"] if e["AULA"].strip() else ""
            unit = units.get(e["CODGRUPO"])
            unit_key = ""
            if unit:
                unit_key = unit["CLAVE"]
                if not offer.strip():
                    offer = unit["CLAVECURSO"]
            if not subject.strip():
                found = subjects.get((e["ASIG"][:10].rstrip(), offer[:20].rstrip()))
                if found:
                    subject = found["MATERIA"]
            if not activity.strip() and hay513:
                activity = "513"
            activities.append([cell.get("DIA", ""), cell.get("CODDIHO", ""), room, unit_key, offer,
                               subject, fecini, fecfin, str(minutes(cell.get("HORADESDE", ""))),
                               str(minutes(cell.get("HORAHASTA", ""))), activity])
        teachers.append(([teacher["X_EMPLEADO"], teacher["F_TOMAPOS"]], activities))
    return teachers


def text(node):
    return "".join(c.data for c in node.childNodes if c.nodeType == c.TEXT_NODE)


def found(document):
    dom = xml.dom.minidom.parse(document)
    block = dom.documentElement.getElementsByTagName("BLOQUE_DATOS")[0]
    groups = [g for g in block.childNodes if g.nodeType == g.ELEMENT_NODE]
    teachers = []
    for t in [g for g in groups[1].childNodes if g.nodeType == g.ELEMENT_NODE]:
        children = [c for c in t.childNodes if c.nodeType == c.ELEMENT_NODE]
        identifiers = [text(c) for c in children if c.tagName == "dato"]
        activities = [[text(v) for v in c.childNodes if v.nodeType == v.ELEMENT_NODE]
                      for c in children if c.tagName == "grupo_datos"]
        if t.getAttribute("registros") != str(len(activities)):
            print("registros of %s is %s for %d activities" % (t.getAttribute("seq"),
                  t.getAttribute("registros"), len(activities)))
        teachers.append((identifiers, activities))
    return teachers


def main():
    want, got = expected(sys.argv[1]), found(sys.argv[2])
    differences = 0
    if len(want) != len(got):
        print("teachers: expected %d, found %d" % (len(want), len(got)))
        differences += 1
    for n, (w, g) in enumerate(zip(want, got), 1):
        if w != g:
            differences += 1
            print("teacher %d: expected %r, found %r" % (n, w, g))
    activities = sum(len(a) for _, a in want)
    print("%d teachers, %d activities, %d differences" % (len(want), activities, differences))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
