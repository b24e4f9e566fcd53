#!/usr/bin/env python3
"""Writes a solved timetable (SOLUC.DBF, as Oranel leaves it) for the sample school, from the
tables that `quelvana-cli exportar` wrote for examples/ies-ejemplo.xml. Debian's python3-dbf
writes it, with numeric DIA, HORA and MARCO fields as Oranel has them.

  examples/make_soluc.py TIMETABLE_FOLDER examples/SOLUC.DBF

The timetable is plausible, not optimal: every lesson of every class assignment goes to a
teacher of the subject's department in the first cell free for both; what does not fit stays
unplaced (DIA 0). A few duties (tasks with their activity code), a row for a teacher code the
school does not have, a deleted row and a teacher without lessons complete the picture."""
import os
import sys

import dbf


def rows(folder, name):
    table = dbf.Table(os.path.join(folder, name + ".DBF"))
    table.open(dbf.READ_ONLY)
    out = [{f: (v.strip() if isinstance(v, str) else v) for f, v in zip(table.field_names, r)}
           for r in table]
    table.close()
    return out


def main():
    folder, target = sys.argv[1], sys.argv[2]
    teachers = rows(folder, "PROFT")
    subjects = {r["cod"]: r for r in rows(folder, "ASIGNOMT")}
    tasks = [r for r in rows(folder, "ASIGNOMT") if r["estarea"]]
    assignments = rows(folder, "ASIGT")
    rooms = [r["abrev"] for r in rows(folder, "AULAT")]
    cells = sorted({(int(r["dia"]), int(r["hora"])) for r in rows(folder, "DIASHORAST")})

    # The last teacher keeps no lessons.
    staff = teachers[:-1]
    busy = set()  # (who, day, hour), who being a teacher or a group
    solved = []

    def free_cell(*who):
        for day, hour in cells:
            if all((w, day, hour) not in busy for w in who):
                for w in who:
                    busy.add((w, day, hour))
                return day, hour
        return 0, 0

    for i, a in enumerate(assignments):
        department = subjects.get(a["casig"], {}).get("nombre", "")
        candidates = [t["abrev"] for t in staff if t["depart"] == department]
        teacher = candidates[i % len(candidates)] if candidates else staff[i % len(staff)]["abrev"]
        for lesson in range(int(a["horas"])):
            day, hour = free_cell(teacher, a["cgrup"])
            room = "" if (i + lesson) % 5 == 4 else rooms[(i + lesson) % len(rooms)]
            solved.append((teacher, day, hour, 0, a["casig"], a["cgrup"], "", room))

    for n, task in enumerate(tasks[:3]):
        teacher = staff[n]["abrev"]
        day, hour = free_cell(teacher)
        solved.append((teacher, day, hour, 0, task["cod"], "", task["codtarea"], ""))
    solved.append(("NOEXISTE", 1, 1, 0, "MAT", "", "", ""))

    if os.path.exists(target):
        os.remove(target)
    table = dbf.Table(target, "PROF C(10); DIA N(2,0); HORA N(2,0); MARCO N(1,0); ASIG C(10); "
                              "CODGRUPO C(10); TAREA C(12); AULA C(10); FIJA L",
                      codepage="cp1252", dbf_type="db3")
    table.open(dbf.READ_WRITE)
    for entry in solved:
        table.append(entry + (False,))
    # A row Oranel deleted: it must not reach Yedra.
    table.append((staff[0]["abrev"], 1, 1, 0, "MAT", "", "", "", True))
    dbf.delete(table[-1])
    table.close()
    placed = sum(1 for e in solved if e[1])
    print("%s: %d filas (%d colocadas)" % (target, len(solved) + 1, placed))


if __name__ == "__main__":
    main()
