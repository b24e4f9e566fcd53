#!/usr/bin/env python3
"""Writes ies-ejemplo.xml, the Yedra exchange document of the sample school "IES Sierra de
Quelva", a fictitious school: every name, key and date in it is made up.

  generate_school.py [OUTPUT]      default: ies-ejemplo.xml beside this script

The output is the same on every run: ISO-8859-1 with its XML declaration, indented with line
breaks as Yedra writes it. Standard library only."""
import os
import sys
from xml.sax.saxutils import escape, quoteattr

ACADEMIC_YEAR = "2026"
ENVELOPE = {"modulo": "ORANEL", "tipo": "E", "autor": "YEDRA", "fecha": "07/09/2026 09:14:52"}

# Course offer keys (X_OFERTAMATRIG). nivelcan.csv has a row for each but FP_BASICA, whose
# course shows the level "Niv"; no unit or subject belongs to it.
ESO1, ESO2, ESO3, ESO4 = 4021, 4022, 4023, 4024
BACH1, BACH2 = 4571, 4572
FP_BASICA = 6310

COURSES = [
    (ESO1, "1º ESO"),
    (ESO2, "2º ESO"),
    (ESO3, "3º ESO"),
    (ESO4, "4º ESO"),
    (BACH1, "1º Bachillerato"),
    (BACH2, "2º Bachillerato"),
    (FP_BASICA, "1º FP Básica Informática y Comunicaciones"),
]

# Unit key, name, course offer key.
UNITS = [
    ("70101", "1º ESO A", ESO1),
    ("70102", "1º ESO B", ESO1),
    ("70103", "1º ESO C", ESO1),
    ("70201", "2º ESO A", ESO2),
    ("70202", "2º ESO B", ESO2),
    ("70301", "3º ESO A", ESO3),
    ("70302", "3º ESO B", ESO3),
    ("70401", "4º ESO A", ESO4),
    ("70402", "4º ESO B", ESO4),
    ("71101", "1º BACH A", BACH1),
    ("71102", "1º BACH B", BACH1),
    ("71201", "2º BACH A", BACH2),
]

# Course offer, subject name, subject code (may be empty), weekly minutes (may be empty).
# The subject key is numbered in document order. A name with its code in several course
# offers is one subject offered several times; the same code under another name is another
# subject (MAT, MAT1, MAT2...).
SUBJECTS = [
    (ESO1, "Lengua Castellana y Literatura", "LCL", "240"),
    (ESO1, "Matemáticas", "MAT", "240"),
    (ESO1, "Inglés", "ING", "240"),
    (ESO1, "Geografía e Historia", "GEH", "180"),
    (ESO1, "Biología y Geología", "BYG", "180"),
    (ESO1, "Educación Física", "", "120"),
    (ESO1, "Música", "MUS", "120"),
    (ESO1, "Educación Plástica, Visual y Audiovisual", "EPVA", "120"),
    (ESO1, "Religión", "REL", "60"),
    (ESO2, "Lengua Castellana y Literatura", "LCL", "240"),
    (ESO2, "Matemáticas", "MAT", "240"),
    (ESO2, "Inglés", "ING", "180"),
    (ESO2, "Geografía e Historia", "GEH", "180"),
    (ESO2, "Física y Química", "FYQ", "180"),
    (ESO2, "Educación Física", "", "120"),
    (ESO2, "Tecnología y Digitalización", "TYD", "120"),
    (ESO2, "Francés", "FRA", "120"),
    (ESO2, "Religión", "REL", "60"),
    (ESO3, "Lengua Castellana y Literatura", "LCL", "240"),
    (ESO3, "Matemáticas", "MAT", "240"),
    (ESO3, "Inglés", "ING", "180"),
    (ESO3, "Geografía e Historia", "GEH", "180"),
    (ESO3, "Biología y Geología", "BYG", "120"),
    (ESO3, "Física y Química", "FYQ", "120"),
    (ESO3, "Educación Física", "", "120"),
    (ESO3, "Música", "MUS", "120"),
    (ESO4, "Lengua Castellana y Literatura", "LCL", "240"),
    (ESO4, "Matemáticas A", "MAT", "240"),
    (ESO4, "Inglés", "ING", "240"),
    (ESO4, "Geografía e Historia", "GEH", "180"),
    (ESO4, "Tecnología", "TEC", "180"),
    (ESO4, "Economía y Emprendimiento", "ECO", ""),
    (ESO4, "Educación Física", "", "120"),
    (BACH1, "Lengua Castellana y Literatura I", "LCL", "180"),
    (BACH1, "Matemáticas I", "MAT", "240"),
    (BACH1, "Inglés I", "ING", "180"),
    (BACH1, "Filosofía", "FIL", "180"),
    (BACH1, "Física y Química", "FYQ", "240"),
    (BACH1, "Educación Física", "", "120"),
    (BACH2, "Lengua Castellana y Literatura II", "LCL", "240"),
    (BACH2, "Matemáticas II", "MAT", "240"),
    (BACH2, "Inglés II", "ING", "180"),
    (BACH2, "Historia de España", "HES", "180"),
]

# Internal key, activity code, name, teaching time (S/N). 513 is the teaching itself.
ACTIVITIES = [
    ("1", "513", "Docencia", "S"),
    ("2", "515", "Guardia", "N"),
    ("3", "516", "Guardia de recreo", "N"),
    ("4", "521", "Tutoría lectiva", "S"),
    ("5", "522", "Atención a familias", "N"),
    ("6", "530", "Reunión de departamento", "N"),
    ("7", "531", "Reunión de equipo educativo", "N"),
    ("8", "540", "Jefatura de departamento", "N"),
]

# Employee code, took up the post, department, first and second surname, given name, own
# short code. García López Ana, Gil Lara Alba and Gutiérrez Lorenzo Andrés share the initials
# GLA.
TEACHERS = [
    ("204517", "01/09/2014", "Lengua Castellana y Literatura", "García", "López", "Ana", ""),
    ("211093", "01/09/2018", "Matemáticas", "Gil", "Lara", "Alba", ""),
    ("198762", "01/09/2009", "Inglés", "Núñez", "Prieto", "Carmen", ""),
    ("223410", "01/09/2021", "Geografía e Historia", "Martínez", "Ordóñez", "Luis", ""),
    ("187305", "01/09/2005", "Biología y Geología", "Sánchez", "Ibáñez", "María José", "MJSI"),
    ("230118", "01/09/2023", "Física y Química", "Álvarez", "Cuesta", "Íñigo", ""),
    ("215776", "01/09/2019", "Educación Física", "Romero", "Peña", "Javier", ""),
    ("201384", "01/09/2012", "Música", "Jiménez", "Toledo", "Rocío", ""),
    ("226051", "01/09/2022", "Dibujo", "Herrera", "Calvo", "Pablo", ""),
    ("209927", "01/09/2016", "Tecnología", "Moreno", "Serrano", "Lucía", ""),
    ("192648", "01/09/2007", "Francés", "Delgado", "Fuentes", "Isabel", "ISA"),
    ("218230", "01/09/2020", "Filosofía", "Castro", "Vidal", "Andrés", ""),
    ("233907", "01/09/2024", "Economía", "Ortega", "Muñoz", "Elena", ""),
    ("207561", "01/09/2015", "Religión", "Navarro", "Rubio", "Tomás", ""),
    ("195012", "01/09/2008", "Orientación", "Molina", "Garrido", "Pilar", ""),
    ("224689", "01/09/2022", "Lengua Castellana y Literatura", "Cabrera", "Santos", "Marta", ""),
    ("212354", "01/09/2018", "Matemáticas", "Gutiérrez", "Lorenzo", "Andrés", ""),
    ("199843", "01/09/2010", "Inglés", "Vega", "Morales", "Sergio", ""),
    ("228370", "01/09/2023", "Geografía e Historia", "Ramos", "Iglesias", "Nuria", ""),
    ("216402", "01/09/2019", "Física y Química", "Pascual", "Benítez", "Óscar", ""),
    ("205198", "01/09/2014", "Lengua Castellana y Literatura", "Domínguez", "Soler", "Irene",
     ""),
    ("231765", "01/09/2024", "Matemáticas", "Cano", "Medina", "Raúl", ""),
    ("190476", "01/09/2006", "Educación Física", "León", "Aguilar", "Begoña", "BEGO"),
    ("219638", "01/09/2020", "Biología y Geología", "Ferrer", "Crespo", "Daniel", ""),
    ("227044", "01/09/2022", "Tecnología", "Santana", "Lozano", "Alicia", ""),
]

# Room key (the laboratory has none: its code comes from its name), name, places.
ROOMS = [
    ("A101", "Aula 101", "30"),
    ("A102", "Aula 102", "30"),
    ("A103", "Aula 103", "30"),
    ("A201", "Aula 201", "32"),
    ("LABFQ", "Laboratorio de Física y Química", "24"),
    ("", "Laboratorio de Biología y Geología", "24"),
    ("GIM", "Gimnasio", "60"),
    ("INF1", "Aula de Informática 1", "28"),
]

# Time-frame code, name, first and last date.
FRAMES = [
    ("1", "Mañana", "15/09/2026", "22/06/2027"),
    ("2", "Jornada reducida junio", "01/06/2027", "22/06/2027"),
]


def hhmm(text):
    hours, minutes = text.split(":")
    return str(int(hours) * 60 + int(minutes))


# Slot code, label, start, end, time-frame code; in the order Yedra lists them.
SLOTS = [
    ("1001", "1ª hora", "08:15", "09:15", "1"),
    ("1002", "2ª hora", "09:15", "10:15", "1"),
    ("1003", "3ª hora", "10:15", "11:15", "1"),
    ("1004", "Recreo", "11:15", "11:45", "1"),
    ("1005", "4ª hora", "11:45", "12:45", "1"),
    ("1006", "5ª hora", "12:45", "13:45", "1"),
    ("1007", "6ª hora", "13:45", "14:45", "1"),
    ("2001", "1ª hora", "09:00", "09:45", "2"),
    ("2002", "2ª hora", "09:45", "10:30", "2"),
    ("2003", "3ª hora", "10:30", "11:15", "2"),
    ("2004", "Recreo", "11:15", "11:45", "2"),
    ("2005", "4ª hora", "11:45", "12:30", "2"),
    ("2006", "5ª hora", "12:30", "13:15", "2"),
]


class Writer:
    def __init__(self):
        self.lines = []

    def line(self, depth, text):
        self.lines.append("  " * depth + text)

    def value(self, depth, name, text):
        self.line(depth, "<dato nombre_dato=%s>%s</dato>" % (quoteattr(name), escape(text)))

    def group(self, seq, record_seq, names, rows):
        self.line(2, "<grupo_datos seq=%s registros=\"%d\">" % (quoteattr(seq), len(rows)))
        for row in rows:
            if len(row) != len(names):
                raise ValueError("%s: %r does not have %d values" % (seq, row, len(names)))
            self.line(3, "<grupo_datos seq=%s>" % quoteattr(record_seq))
            for name, text in zip(names, row):
                self.value(4, name, str(text))
            self.line(3, "</grupo_datos>")
        self.line(2, "</grupo_datos>")


def document():
    w = Writer()
    w.lines.append('<?xml version="1.0" encoding="ISO-8859-1"?>')
    w.lines.append("<!-- IES Sierra de Quelva (centro ficticio): datos de ejemplo para Oranel, "
                   "curso %s/%d -->" % (ACADEMIC_YEAR, int(ACADEMIC_YEAR) + 1))
    attributes = " ".join("%s=%s" % (k, quoteattr(v)) for k, v in ENVELOPE.items())
    w.line(0, "<SERVICIO %s>" % attributes)
    w.line(1, "<BLOQUE_DATOS>")
    # The first group: its text starts with the academic year.
    w.line(2, '<grupo_datos seq="ANNO_ACADEMICO">')
    w.value(3, "C_ANNO", ACADEMIC_YEAR)
    w.line(2, "</grupo_datos>")
    subjects = [(offer, 310001 + i, name, code, minutes)
                for i, (offer, name, code, minutes) in enumerate(SUBJECTS)]
    w.group("MATERIAS", "ID_MATERIA",
            ["X_OFERTAMATRIG", "X_MATERIAOMG", "D_MATERIAC", "C_MATERIA", "N_MINUTOS"],
            subjects)
    w.group("ACTIVIDADES", "ID_ACTIVIDAD",
            ["X_ACTIVIDAD", "C_ACTIVIDAD", "D_ACTIVIDAD", "L_LECTIVA"], ACTIVITIES)
    w.group("EMPLEADOS", "ID_EMPLEADO",
            ["X_EMPLEADO", "F_TOMAPOS", "D_DEPARTAMENTO", "D_APELLIDO1", "D_APELLIDO2",
             "D_NOMBRE", "C_ABREV"], TEACHERS)
    w.group("DEPENDENCIAS", "ID_DEPENDENCIA",
            ["X_DEPENDENCIA", "D_DEPENDENCIA", "N_CAPACIDAD"], ROOMS)
    w.group("CURSOS_DEL_CENTRO", "ID_CURSO", ["X_OFERTAMATRIG", "D_OFERTAMATRIG"], COURSES)
    w.group("UNIDADES", "ID_UNIDAD", ["X_UNIDAD", "T_NOMBRE", "X_OFERTAMATRIG"], UNITS)
    w.group("JORNADAS_ESCOLARES", "ID_JORNADA",
            ["X_JORNADA", "D_JORNADA", "F_INICIO", "F_FIN"], FRAMES)
    w.group("TRAMOS_HORARIOS", "ID_TRAMO",
            ["X_TRAMO", "D_TRAMO", "N_HORINI", "N_HORFIN", "X_JORNADA"],
            [(code, label, hhmm(start), hhmm(end), frame)
             for code, label, start, end, frame in SLOTS])
    w.line(1, "</BLOQUE_DATOS>")
    w.line(0, "</SERVICIO>")
    return "\n".join(w.lines) + "\n"


def check_keys():
    """Every unit's and subject's course offer is a course of the school."""
    courses = {key for key, _ in COURSES}
    for key in [offer for _, _, offer in UNITS] + [offer for offer, _, _, _ in SUBJECTS]:
        if key not in courses:
            raise ValueError("course offer %d is not a course of the school" % key)
    frames = {code for code, _, _, _ in FRAMES}
    for slot in SLOTS:
        if slot[4] not in frames:
            raise ValueError("slot %s belongs to no time frame" % slot[0])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "ies-ejemplo.xml")
    check_keys()
    # Strict: a character that ISO-8859-1 cannot hold stops the script.
    data = document().encode("iso-8859-1")
    with open(output, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
