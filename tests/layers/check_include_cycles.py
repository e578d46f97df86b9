#!/usr/bin/python3
"""Fails when files include each other in a circle, which #pragma once hides from the compiler.

Usage: check_include_cycles.py ROOT FOLDER...
Reads every .h and .cpp under ROOT's FOLDERs. An #include "name" is resolved as the compiler
would find it among them: beside the including file, else the file whose path ends in /name
(the one nearest to the including file when several do). Names found nowhere (system headers,
generated ones) are left out. Prints each circle found and exits 1, or exits 0.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def sources(root, folders):
    for folder in folders:
        for directory, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                if name.endswith((".h", ".cpp")):
                    yield os.path.relpath(os.path.join(directory, name), root)


def resolve(including, name, files):
    beside = os.path.normpath(os.path.join(os.path.dirname(including), name))
    if beside in files:
        return beside
    candidates = [f for f in files if f == name or f.endswith("/" + name)]
    if not candidates:
        return None
    return max(candidates, key=lambda f: len(os.path.commonpath([f, including])))


def main():
    root, folders = sys.argv[1], sys.argv[2:]
    files = set(sources(root, folders))
    graph = {}
    for path in files:
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as text:
            names = INCLUDE.findall(text.read())
        graph[path] = sorted({r for r in (resolve(path, n, files) for n in names) if r})

    circles = []
    state = {}  # 1 while on the current path, 2 once done

    def visit(path, trail):
        state[path] = 1
        trail.append(path)
        for target in graph[path]:
            if state.get(target) == 1:
                circles.append(trail[trail.index(target):] + [target])
            elif target not in state:
                visit(target, trail)
        trail.pop()
        state[path] = 2

    for path in sorted(graph):
        if path not in state:
            visit(path, [])
    for circle in circles:
        print("include circle: " + " -> ".join(circle))
    print("%d files, %d circles" % (len(graph), len(circles)))
    return 1 if circles else 0


if __name__ == "__main__":
    sys.exit(main())
