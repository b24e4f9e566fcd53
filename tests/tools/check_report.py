#!/usr/bin/env python3
"""Checks the JSON report of a quelvana-cli run against counts worked out here, on their own, from
the Yedra document (read with Python's minidom), the tables (Debian's python3-dbf) and the result
document. The report is parsed with Python's json module. Prints every difference; exits 1 when
there is any.

  check_report.py exportar REPORT.json DOCUMENT TIMETABLE_FOLDER LOOKUP
  check_report.py importar REPORT.json DOCUMENT TIMETABLE_FOLDER"""
import json
import os
import sys
import xml.dom.minidom

import dbf

problems = []


def expect(what, got, wanted):
    if got != wanted:
        problems.append("%s: el informe dice %r y debería ser %r" % (what, got, wanted))


def rows_of(folder, name):
    """The rows of a table (deleted ones apart) as dicts of trimmed texts, and the deleted count."""
    path = None
    for entry in os.listdir(folder):
        if entry.lower() == name.lower() + ".dbf":
            path = os.path.join(folder, entry)
    if path is None:
        raise SystemExit("no table " + name)
    t = dbf.Table(path)
    t.open(dbf.READ_ONLY)
    fields = t.field_names
    rows, deleted = [], 0
    for record in t:
        if dbf.is_deleted(record):
            deleted += 1
            continue
        row = {}
        for f, v in zip(fields, record):
            if isinstance(v, str):
                v = v.strip(" ")
            elif v is None:
                v = ""
            elif isinstance(v, float) and v == int(v):
                v = str(int(v))
            else:
                v = str(v)
            row[f.upper()] = v
        rows.append(row)
    t.close()
    return rows, deleted


def records(document, group):
    """The values of every record of a group that has at least two of them."""
    out = []
    for g in document.getElementsByTagName("grupo_datos"):
        if g.getAttribute("seq") != group:
            continue
        for r in g.childNodes:
            if r.nodeType != r.ELEMENT_NODE or r.tagName != "grupo_datos":
                continue
            values = ["".join(t.data for t in d.childNodes if t.nodeType == t.TEXT_NODE).strip()
                      for d in r.childNodes
                      if d.nodeType == d.ELEMENT_NODE and d.tagName == "dato"]
            if len(values) >= 2:
                out.append(values)
    return out


def numbered(candidates):
    """How many candidates meet one given before them (letter case aside): those get a number."""
    seen, count = set(), 0
    for c in candidates:
        key = c[:10].lower()
        if key in seen:
            count += 1
        seen.add(key)
    return count


def check_exportar(report, document_path, folder, lookup):
    document = xml.dom.minidom.parse(document_path)
    expect("orden", report["orden"], "exportar")
    for t in report["tablas"]:
        rows, _ = rows_of(folder, t["tabla"])
        expect("filas de " + t["tabla"], t["filas"], len(rows))
    expect("tablas", sorted(t["tabla"] for t in report["tablas"]),
           sorted(["ASIGNOMT", "ASIGNOMT2", "PROFT", "AULAT", "GRUPOST", "CURSOST", "ASIGT",
                   "DIASHORAST", "DIASHORAST2", "PERIODOS"]))

    codes = report["codigos"]
    teachers = records(document, "EMPLEADOS")
    candidates = [v[6] if len(v) > 6 and v[6] else v[3][:1] + v[4][:1] + v[5][:1]
                  for v in teachers]
    expect("códigos numerados de PROFT",
           sum(1 for c in codes if c["tabla"] == "PROFT" and c["numerado"]), numbered(candidates))
    rooms = [v[0] or v[1][:10] for v in records(document, "DEPENDENCIAS")]
    expect("códigos numerados de AULAT",
           sum(1 for c in codes if c["tabla"] == "AULAT" and c["numerado"]), numbered(rooms))

    levels, _ = rows_of(os.path.dirname(lookup), os.path.splitext(os.path.basename(lookup))[0])
    known = set()
    for row in levels:
        try:
            known.add(int(row.get("X_OFERTAMATRIG", row.get("X_OFERTAMAT", ""))))
        except ValueError:
            pass
    courses = records(document, "CURSOS_DEL_CENTRO")
    expect("cursos fuera de la tabla de niveles",
           sum(1 for r in report["registros"] if r["tabla"] == "CURSOST"),
           sum(1 for v in courses if int(v[0]) not in known))
    units = records(document, "UNIDADES")
    course_keys = {v[0] for v in courses}
    expect("unidades de ofertas desconocidas",
           sum(1 for r in report["registros"] if r["tabla"] == "GRUPOST"),
           sum(1 for v in units if v[2] not in course_keys))
    unit_offers = {v[2] for v in units}
    expect("materias sin unidades",
           sum(1 for r in report["registros"] if r["tabla"] == "ASIGT"),
           sum(1 for v in records(document, "MATERIAS") if v[0] not in unit_offers))
    if report["copia"] is not None and not os.path.isfile(
            os.path.join(report["copia"], "quelvana-informe.txt")):
        problems.append("la copia no tiene su informe")
    if not os.path.isfile(os.path.join(folder, "quelvana-informe.txt")):
        problems.append("la carpeta de horarios no tiene el último informe")


def check_importar(report, document_path, folder):
    expect("orden", report["orden"], "importar")
    soluc, deleted = rows_of(folder, "SOLUC")
    proft, _ = rows_of(folder, "PROFT")
    codes = {r["ABREV"] for r in proft}
    placed = lambda r: r["DIA"] not in ("", "0")
    s = report["soluc"]
    expect("filas de SOLUC", s["filas"], len(soluc))
    expect("filas borradas", s["borradas"], deleted)
    expect("sin colocar", s["sinColocar"],
           sum(1 for r in soluc if r["PROF"] in codes and not placed(r)))
    expect("profesor desconocido", s["profesorDesconocido"],
           sum(1 for r in soluc if r["PROF"] not in codes))
    expect("filas no llevadas", len(s["noLlevadas"]), s["sinColocar"] + s["profesorDesconocido"])
    expect("filas llevadas", s["llevadas"], len(soluc) - len(s["noLlevadas"]))
    expect("profesores", [t["codigo"] for t in report["profesores"]], [r["ABREV"] for r in proft])
    for t in report["profesores"]:
        expect("actividades de " + t["codigo"], t["actividades"],
               sum(1 for r in soluc if r["PROF"] == t["codigo"] and placed(r)))

    result = xml.dom.minidom.parse(report["resultado"])
    empty = {}
    for g in result.getElementsByTagName("grupo_datos"):
        if not g.getAttribute("seq").startswith("ACTIVIDAD_"):
            continue
        for d in g.getElementsByTagName("dato"):
            text = "".join(t.data for t in d.childNodes if t.nodeType == t.TEXT_NODE)
            if not text.strip():
                name = d.getAttribute("nombre_dato")
                empty[name] = empty.get(name, 0) + 1
    expect("valores vacíos por campo", report["valoresVacios"], empty)
    if not os.path.isfile(report["informe"]):
        problems.append("no existe el informe " + report["informe"])


def main():
    mode, report_path, document = sys.argv[1:4]
    with open(report_path, encoding="utf-8") as f:
        report = json.load(f)
    if mode == "exportar":
        check_exportar(report, document, sys.argv[4], sys.argv[5])
    else:
        check_importar(report, document, sys.argv[4])
    for p in problems:
        print(p)
    sys.exit(1 if problems else 0)


main()
