#!/usr/bin/env python3
"""Checks that every #include of the project's own headers points down the layers or stays in its
own folder, and that no file of a generic layer names a document of the product.

  check_layers.py PROJECT_ROOT

Prints each offending line and exits with 1 when there is any."""
import pathlib
import re
import sys

# Each folder and the folders below it that it may include, besides its own.
BELOW = {
    "components/platform": [],
    "components/text": ["components/platform"],
    "components/dbase": ["components/platform", "components/text"],
    "components/xml": ["components/platform", "components/text"],
    "components/report": ["components/platform"],
    "components/timetablefolder": ["components/platform", "components/text", "components/dbase",
                                   "components/report"],
    "exchange": ["components/platform", "components/text", "components/xml"],
    "widgets": ["components/platform"],
}
ENGINE = [f for f in BELOW if f.startswith("components/")] + ["exchange"]
BELOW["to_timetable"] = ENGINE
BELOW["to_yedra"] = ENGINE
BELOW["to_timetable/plantihoras"] = ENGINE + ["to_timetable", "widgets"]
BELOW["to_yedra/controlprofes"] = ENGINE + ["to_yedra", "widgets"]
BELOW["cli"] = ENGINE + ["to_timetable", "to_yedra"]
BELOW["examples"] = ENGINE
BELOW["fuzz"] = ENGINE + ["to_timetable", "to_yedra"]
BELOW["app"] = list(BELOW)

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')

# The generic layers, and the names that would show one knows the Yedra document.
GENERIC = {
    "components/xml": re.compile(r"SERVICIO|BLOQUE_DATOS|grupo_datos|nombre_dato|\bdato\b"),
}


def folder_of(path):
    """The layer folder a file belongs to: its longest prefix in BELOW."""
    parts = path.parent.as_posix()
    while parts and parts not in BELOW:
        parts = parts.rpartition("/")[0]
    return parts


def named_documents(root):
    """Every line of a file of a generic layer that names what only the product knows."""
    problems = []
    for folder, names in GENERIC.items():
        for path in sorted((root / folder).rglob("*")):
            if not path.is_file():
                continue
            text = path.read_text(encoding="utf-8", errors="replace")
            for number, line in enumerate(text.splitlines(), 1):
                found = names.search(line)
                if found:
                    problems.append(f"{path.relative_to(root)}:{number}: {folder} es genérico y "
                                    f"no puede nombrar «{found.group(0)}»")
    return problems


def main():
    root = pathlib.Path(sys.argv[1])
    problems = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".inc") or "build" in path.relative_to(root).parts[:1]:
            continue
        relative = path.relative_to(root)
        folder = folder_of(relative)
        if not folder:
            continue
        allowed = [folder] + BELOW[folder]
        text = path.read_text(encoding="utf-8")
        for number, line in enumerate(text.splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = pathlib.PurePosixPath(match.group(1))
            if len(target.parts) == 1:
                continue  # a generated file beside the source
            target_folder = folder_of(target)
            if target_folder not in allowed and not (
                    target_folder.startswith(folder + "/") and folder not in ("", "components")):
                problems.append(f"{relative}:{number}: {folder} no puede incluir {target}")
    problems += named_documents(root)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
