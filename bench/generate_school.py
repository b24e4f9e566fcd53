#!/usr/bin/env python3
"""Writes a synthetic Yedra exchange document for a school of a given size, for the benchmarks.

  generate_school.py SIZE OUTPUT.xml        SIZE: S, M, L or XL
  generate_school.py SHAPE OUTPUT.xml       SHAPE: rooms, slots or short

S has 40 teachers, 300 subject records over 7 course offers and 20 units; M ten times, L a
hundred times and XL a thousand times as many of each. Every size has 6 time frames of 12 slots,
10 activities (513 among them) and rooms in proportion. Names repeat as they do in a real school,
so that subject, teacher, room and group codes are numbered. The output is deterministic,
ISO-8859-1, indented.

The shapes are the S school with one group made hostile: "rooms" has 3,000,000 rooms of one line
each, "slots" 300,000 time slots, and "short" 200,000 subject records with two values, which the
conversion refuses."""
import argparse
import random
from xml.sax.saxutils import escape

SCALE = {"S": 1, "M": 10, "L": 100, "XL": 1000}

SURNAMES = ["García", "López", "Martínez", "Sánchez", "Pérez", "Gómez", "Martín", "Jiménez",
            "Ruiz", "Hernández", "Díaz", "Moreno", "Álvarez", "Muñoz", "Romero", "Alonso",
            "Gutiérrez", "Navarro", "Torres", "Domínguez", "Vázquez", "Ramos", "Gil", "Ramírez",
            "Serrano", "Blanco", "Suárez", "Molina", "Morales", "Ortega", "Delgado", "Castro"]
GIVEN = ["Ana", "Luis", "María", "José", "Carmen", "Javier", "Lucía", "David", "Elena", "Pablo",
         "Sara", "Jorge", "Nuria", "Íñigo", "Alba", "Raúl", "Irene", "Sergio", "Marta", "Óscar"]
DEPARTMENTS = ["Lengua Castellana y Literatura", "Matemáticas", "Inglés", "Geografía e Historia",
               "Biología y Geología", "Física y Química", "Educación Física", "Música",
               "Tecnología", "Dibujo", "Filosofía", "Latín y Griego", "Francés", "Economía"]
SUBJECT_WORDS = ["Lengua", "Matemáticas", "Inglés", "Historia", "Biología", "Física", "Química",
                 "Educación Física", "Música", "Tecnología", "Dibujo", "Filosofía", "Latín",
                 "Griego", "Francés", "Economía", "Informática", "Religión", "Valores Éticos",
                 "Cultura Clásica", "Robótica", "Artes Escénicas", "Psicología", "Geología"]


def record(values, seq):
    lines = ['      <grupo_datos seq="%s">' % seq]
    for name, value in values:
        lines.append('        <dato nombre_dato="%s">%s</dato>' % (name, escape(str(value))))
    lines.append("      </grupo_datos>")
    return "\n".join(lines)


def group(seq, records):
    return ('    <grupo_datos seq="%s" registros="%d">\n' % (seq, len(records)) +
            "\n".join(records) + "\n    </grupo_datos>")


def school(size, shape=None):
    k = SCALE[size]
    rnd = random.Random(1234 + k)
    offers = [4021 + i for i in range(7 * k)]
    catalogue = []  # subject names and codes; most offers share them
    for i in range(45 * 7):
        word = SUBJECT_WORDS[i % len(SUBJECT_WORDS)]
        level = i // len(SUBJECT_WORDS) + 1
        name = "%s %s" % (word, level) if level > 1 else word
        code = "" if i % 9 == 4 else (word[:3].upper() + (str(level) if level > 1 else ""))
        catalogue.append((name, code))

    materias = []
    key = 300000
    for n in range(300 * k):
        offer = offers[n % len(offers)]
        name, code = catalogue[rnd.randrange(len(catalogue))]
        key += 1
        minutes = rnd.choice(["240", "180", "120", "60", "90", ""])
        materias.append(record([("X_OFERTAMATRIG", offer), ("X_MATERIAOMG", key),
                                ("D_MATERIAC", name), ("C_MATERIA", code),
                                ("N_MINUTOS", minutes)], "ID_MATERIA"))

    actividades = [record([("X_ACTIVIDAD", n), ("C_ACTIVIDAD", code), ("D_ACTIVIDAD", name)],
                          "ID_ACTIVIDAD")
                   for n, (code, name) in enumerate(
                       [("513", "Docencia"), ("GUA", "Guardia de recreo"), ("GUB", "Guardia de biblioteca"),
                        ("TUT", "Tutoría"), ("RDE", "Reunión de departamento"), ("CLA", "Claustro"),
                        ("JEF", "Jefatura de departamento"), ("PRO", "Proyecto de centro"),
                        ("BIB", "Biblioteca"), ("COO", "Coordinación")], 1)]

    empleados = []
    for n in range(40 * k):
        s1, s2, g = (rnd.choice(SURNAMES), rnd.choice(SURNAMES), rnd.choice(GIVEN))
        own = "P%05d" % n if n % 17 == 0 else ""
        empleados.append(record([("X_EMPLEADO", 100000 + n), ("F_TOMAPOS", "01/09/%d" % (2000 + n % 25)),
                                 ("D_DEPARTAMENTO", DEPARTMENTS[n % len(DEPARTMENTS)]),
                                 ("APELLIDO1", s1), ("APELLIDO2", s2), ("NOMBRE", g),
                                 ("C_ABREV", own)], "ID_EMPLEADO"))

    dependencias = [record([("X_DEPENDENCIA", "" if n % 23 == 0 else "A%d" % n),
                            ("D_DEPENDENCIA", "Aula %d" % n)], "ID_DEPENDENCIA")
                    for n in range(15 * k)]

    cursos = [record([("X_OFERTAMATRIG", offer),
                      ("D_OFERTAMATRIG", "%dº %s" % (i % 4 + 1, "ESO" if i % 6 < 4 else "Bachillerato"))],
                     "ID_CURSO") for i, offer in enumerate(offers)]

    unidades = []
    for n in range(20 * k):
        offer = offers[n % len(offers)]
        i = offers.index(offer)
        name = "%dº %s %s" % (i % 4 + 1, "ESO" if i % 6 < 4 else "BACH", "ABCDEFGH"[n // len(offers) % 8])
        unidades.append(record([("X_UNIDAD", 70000 + n), ("T_NOMBRE", name), ("X_OFERTAMATRIG", offer)],
                               "ID_UNIDAD"))

    jornadas, tramos = [], []
    for f in range(6):
        jornadas.append(record([("X_JORNADA", f + 1), ("D_JORNADA", "Jornada %d" % (f + 1)),
                                ("F_INICIO", "15/09/2026"), ("F_FIN", "22/06/2027")], "ID_JORNADA"))
        start = 480 + 15 * f
        for s in range(12):
            tramos.append(record([("X_TRAMO", "%d%02d" % (f + 1, s + 1)), ("D_TRAMO", "%dª hora" % (s + 1)),
                                  ("N_HORINI", start + 55 * s), ("N_HORFIN", start + 55 * s + 50),
                                  ("X_JORNADA", f + 1)], "ID_TRAMO"))

    if shape == "rooms":
        dependencias = ["<grupo_datos><dato>A%d</dato><dato>Aula %d</dato></grupo_datos>" % (n, n)
                        for n in range(3000000)]
    elif shape == "slots":
        tramos = ["<grupo_datos><dato>%d</dato><dato>Tramo %d</dato><dato>%d</dato><dato>%d</dato>"
                  "<dato>%d</dato></grupo_datos>" % (n, n, 480 + n % 600, 490 + n % 600, n % 6 + 1)
                  for n in range(300000)]
    elif shape == "short":
        materias = ["<grupo_datos><dato>%d</dato><dato>%d</dato></grupo_datos>" % (4021, 500000 + n)
                    for n in range(200000)]

    body = "\n".join([
        '<?xml version="1.0" encoding="ISO-8859-1"?>',
        "<!-- Centro sintético de tamaño %s para las pruebas de rendimiento -->" % size,
        '<SERVICIO modulo="ORANEL" tipo="E" autor="YEDRA" fecha="01/09/2026 08:00:00">',
        "  <BLOQUE_DATOS>",
        '    <grupo_datos seq="ANNO_ACADEMICO">\n      <dato nombre_dato="C_ANNO">2026</dato>\n    </grupo_datos>',
        group("MATERIAS", materias), group("ACTIVIDADES", actividades),
        group("EMPLEADOS", empleados), group("DEPENDENCIAS", dependencias),
        group("CURSOS_DEL_CENTRO", cursos), group("UNIDADES", unidades),
        group("JORNADAS_ESCOLARES", jornadas), group("TRAMOS_HORARIOS", tramos),
        "  </BLOQUE_DATOS>", "</SERVICIO>", ""])
    return body


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("size", metavar="SIZE", choices=[*SCALE, "rooms", "slots", "short"],
                        help="S, M, L or XL, or a shape: rooms, slots or short")
    parser.add_argument("output", metavar="OUTPUT.xml", help="the document to write")
    arguments = parser.parse_args()
    size, output = arguments.size, arguments.output
    with open(output, "w", encoding="iso-8859-1") as f:
        f.write(school(size) if size in SCALE else school("S", size))


if __name__ == "__main__":
    main()
