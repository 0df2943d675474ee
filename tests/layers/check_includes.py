#!/usr/bin/env python3
"""Keeps the source tree layered: fails when a file includes a header of a
higher layer, or when modules include each other in a loop.

A module is a header and its source file (board/movegen.h + .cpp). A file may
include headers of its own folder and of the folders in lower layers; folders
in one layer stand side by side and include neither each other nor anything
above. Inside a folder the modules must form no loop either.

Usage: check_includes.py [ROOT]   (default: the tree this script sits in)
"""
import pathlib
import re
import sys

# Bottom to top. The table maker stands beside the engine's upper layers and
# uses only the table reader, the position core and the system layer, so
# it is listed with what it may use rather than with a layer.
LAYERS = [
    ("board", "io"),
    ("eval", "tablebase"),
    ("search",),
    ("game",),
    ("book",),
    ("driver",),
    ("tools",),
]
USES = {"tbmake": {"board", "io", "tablebase"}}
USED_BY = {"tbmake": {"tools"}}

# tests/ and fuzz/ stand above everything and are not checked.
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def level_of(folder):
    for level, folders in enumerate(LAYERS):
        if folder in folders:
            return level
    return None


def may_include(src, dst):
    if src == dst:
        return True
    if src in USES:
        return dst in USES[src]
    if dst in USED_BY:
        return src in USED_BY[dst]
    a, b = level_of(src), level_of(dst)
    return a is not None and b is not None and b < a


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    checked = {f for layer in LAYERS for f in layer} | set(USES)
    errors = []
    edges = {}  # module -> modules of the same folder it includes
    files = sorted(p for p in root.glob("*/*") if p.suffix in (".h", ".cpp") and p.parent.name in checked)
    for path in files:
        rel = path.relative_to(root)
        folder = rel.parts[0]
        module = str(rel.with_suffix(""))
        for name in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            target = pathlib.PurePosixPath(name)
            if len(target.parts) != 2:
                errors.append(f"{rel}: includes {name}, not FOLDER/HEADER")
                continue
            dst = target.parts[0]
            if not may_include(folder, dst):
                errors.append(f"{rel}: includes {name}, a header of a layer above or beside {folder}/")
            elif dst == folder and str(target.with_suffix("")) != module:
                edges.setdefault(module, set()).add(str(target.with_suffix("")))

    # Loops among the modules of one folder, found by depth-first search.
    state, stack = {}, []

    def visit(m):
        state[m] = 1
        stack.append(m)
        for n in sorted(edges.get(m, ())):
            if state.get(n) == 1:
                errors.append("include loop: " + " -> ".join(stack[stack.index(n):] + [n]))
            elif n not in state:
                visit(n)
        stack.pop()
        state[m] = 2

    for m in sorted(edges):
        if m not in state:
            visit(m)

    for e in errors:
        print(e)
    print(f"{len(files)} files checked, {len(errors)} problems")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
