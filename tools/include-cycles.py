#!/usr/bin/env python3
"""Include cycles between the files of src/, inside a folder or across folders.

A file and its header are one unit (foo.h with foo.cpp); tests are left out. Prints every cycle
of units that include one another, directly or in a circle, and exits 1 when there is one.
    tools/include-cycles.py [SRC_DIR]
"""
import os
import re
import sys

INCLUDE = re.compile(r'^#include "([a-z_0-9]+/[a-z_0-9]+)\.h"', re.M)


def units(src):
    """unit -> the units its files include."""
    edges = {}
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        for name in sorted(os.listdir(path)):
            stem, ext = os.path.splitext(name)
            if ext not in (".h", ".cpp") or stem.endswith("_test") or "test_support" in stem or stem == "test_run":
                continue
            unit = folder + "/" + stem
            with open(os.path.join(path, name), encoding="utf-8", errors="replace") as f:
                found = INCLUDE.findall(f.read())
            edges.setdefault(unit, set()).update(u for u in found if u != unit)
    return edges


def cycles(edges):
    """The strongly connected components of more than one unit (Tarjan)."""
    index, low, stack, on, out = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in sorted(edges.get(v, ())):
            if w not in edges:
                continue
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                out.append(sorted(component))

    sys.setrecursionlimit(10000)
    for v in sorted(edges):
        if v not in index:
            visit(v)
    return out


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    edges = units(src)
    found = cycles(edges)
    for component in found:
        print("cycle: " + " <-> ".join(component))
    print(f"units: {len(edges)}, include cycles: {len(found)}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
