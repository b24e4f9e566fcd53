#!/usr/bin/env python3
"""Writes the twin of a Yedra exchange document: every a/A, l/L, s/S of the values a person
types as names or descriptions becomes a/A with breve, l/L with stroke, s/S with comma below,
written as character references, so that the document's bytes stay in its own encoding and only
those values change. Windows-1252 lacks the three letters: a table stores each as the plain
letter, and a document and its twin are one school to Oranel.

  make_twin.py DOCUMENT TWIN

Names are, by the values the conversion reads by position in each group's records: the subject
name (MATERIAS 2), the activity name (ACTIVIDADES 2), the department, surnames and given name
(EMPLEADOS 2 to 5), the room name (DEPENDENCIAS 1), the course and unit names
(CURSOS_DEL_CENTRO 1, UNIDADES 1), the time frame's name (JORNADAS_ESCOLARES 1) and the slot's
label (TRAMOS_HORARIOS 1). Keys, codes, dates and minutes stay as they are: Yedra keys go back
to Yedra, and the codes given in Yedra (subject, activity and teacher codes) are identifiers,
not names."""
import re
import sys

NAMES = {
    "MATERIAS": {2},
    "ACTIVIDADES": {2},
    "EMPLEADOS": {2, 3, 4, 5},
    "DEPENDENCIAS": {1},
    "CURSOS_DEL_CENTRO": {1},
    "UNIDADES": {1},
    "JORNADAS_ESCOLARES": {1},
    "TRAMOS_HORARIOS": {1},
}
TWIN = {"a": "&#259;", "A": "&#258;", "l": "&#322;", "L": "&#321;", "s": "&#537;", "S": "&#536;"}

TOKEN = re.compile(r"<!--.*?-->|<!\[CDATA\[.*?\]\]>|<\?.*?\?>|<![^>]*>|<[^>]*>|[^<]+", re.S)
NAME = re.compile(r"</?\s*([^\s/>]+)")
SEQ = re.compile(r"""\bseq\s*=\s*["']([^"']*)["']""")
REFERENCE = re.compile(r"(&[^;]*;)")


def twin_text(text):
    # References stay whole: "&amp;" is one character of the value.
    return "".join(part if part.startswith("&") else "".join(TWIN.get(c, c) for c in part)
                   for part in REFERENCE.split(text))


def twin_document(data):
    # Latin-1 keeps every byte: the letters changed are ASCII, which every encoding a Yedra
    # document uses writes as themselves and never inside another character.
    text = data.decode("latin-1")
    out = []
    stack = []  # (element name, seq) of the open elements
    position = []  # the value count of each open record
    for match in TOKEN.finditer(text):
        token = match.group(0)
        if token.startswith("<!") or token.startswith("<?"):
            out.append(token)
            continue
        if token.startswith("</"):
            name = NAME.match(token).group(1)
            if stack and stack[-1][0] == name:
                stack.pop()
                if name == "grupo_datos" and len(stack) == 3:
                    position.pop()
            out.append(token)
            continue
        if token.startswith("<"):
            name = NAME.match(token).group(1)
            seq = SEQ.search(token)
            closed = token.rstrip().endswith("/>")
            if name == "dato" and len(stack) == 4 and stack[-1][0] == "grupo_datos":
                position[-1] += 1
            if not closed:
                stack.append((name, seq.group(1) if seq else None))
                if name == "grupo_datos" and len(stack) == 4:
                    position.append(-1)
            out.append(token)
            continue
        # Text: /SERVICIO/BLOQUE_DATOS/grupo_datos[@seq=G]/grupo_datos/dato
        if (len(stack) == 5 and [s[0] for s in stack] ==
                ["SERVICIO", "BLOQUE_DATOS", "grupo_datos", "grupo_datos", "dato"]
                and position and position[-1] in NAMES.get(stack[2][1], ())):
            token = twin_text(token)
        out.append(token)
    return "".join(out).encode("latin-1")


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    with open(sys.argv[2], "wb") as f:
        f.write(twin_document(data))


if __name__ == "__main__":
    main()
