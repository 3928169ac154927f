#!/usr/bin/env python3
"""Holds the folders of src/ to the layer order: every `#include "folder/..."` line must name
a folder its own folder may include, by the table in docs/architecture.md (the only copy of
it). The libraries enforce the order at link time only for what is defined in a .cpp file;
this catches the header-only includes as well, since every library shares the src/ root.

Usage: check_includes.py SRC_DIR ARCHITECTURE_MD
Exits 1 naming each file and line that breaks the table, or a folder the table lacks."""

import pathlib
import re
import sys

TABLE_START = "<!-- include table -->"
TABLE_END = "<!-- end of include table -->"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z0-9_]+)/[^"]+"')


def read_table(markdown):
    text = markdown.read_text(encoding="utf-8")
    if TABLE_START not in text or TABLE_END not in text:
        sys.exit(f"{markdown}: no include table between {TABLE_START} and {TABLE_END}")
    allowed = {}
    for line in text.split(TABLE_START, 1)[1].split(TABLE_END, 1)[0].splitlines():
        cells = [c.strip().strip("`") for c in line.strip().strip("|").split("|")]
        if len(cells) != 2 or not cells[0] or set(cells[0]) <= set("-: "):
            continue
        if cells[0] == "folder":
            continue
        allowed[cells[0]] = {c.strip().strip("`") for c in cells[1].split(",")}
    return allowed


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    src, markdown = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    allowed = read_table(markdown)
    problems = []
    for folder in sorted(p for p in src.iterdir() if p.is_dir()):
        if folder.name not in allowed:
            problems.append(f"{folder}: folder missing from the include table in {markdown}")
            continue
        may = allowed[folder.name]
        for path in sorted(folder.rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1)
                if target == folder.name or "all" in may or target in may:
                    continue
                problems.append(f"{path}:{number}: {folder.name} may not include {target}/ "
                                f"({line.strip()})")
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) break the layer order of {markdown}")
        return 1
    print(f"every include under {src} follows the layer order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
