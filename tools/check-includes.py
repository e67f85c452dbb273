#!/usr/bin/env python3
"""Keeps the tree's layering: every arrow between folders points down, and no files go in a circle.

Usage: check-includes.py SOURCE_DIR [--uses BUILD_DIR]

Lists every #include "folder/..." that crosses folders and fails (status 1) on
  - an include that points up the order below, or sideways between two folders of one level;
  - a circle of files that include each other (in one folder or across folders).
With --uses, it also looks for circles that no include shows: files of one folder below the tools
each using a function or variable that the next defines (read from the object files of a build
with nm), such as .cpp files that share globals both ways through one internal header. The
driver's script and the player's device table call back by design, so the test suite runs the
include check alone; --uses is for reading.

The order, top to bottom; a folder includes only folders on lower levels:
  bench/, fuzz/      may use the tests' helpers and the tools' units they time or feed
  tests/             may include the tools' units it tests
  tools/, web/, hosts/
  driver/
  platform/, music/, effects/, scene3d/   (side by side: none includes another)
  render3d/
  assets/, base/
"""
import collections
import os
import re
import subprocess
import sys

LEVELS = [
    ["bench", "fuzz"],
    ["tests"],
    ["tools", "web", "hosts"],
    ["driver"],
    ["platform", "music", "effects", "scene3d"],
    ["render3d"],
    ["assets", "base"],
]
LEVEL = {folder: n for n, folders in enumerate(LEVELS) for folder in folders}
SOURCES = (".c", ".cc", ".cpp", ".h", ".hpp", ".inl")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def sources(root):
    for folder in sorted(LEVEL):
        for here, dirs, names in os.walk(os.path.join(root, folder)):
            dirs[:] = sorted(d for d in dirs if not d.startswith(".") and d != "node_modules")
            for name in sorted(names):
                if name.endswith(SOURCES):
                    yield os.path.relpath(os.path.join(here, name), root)


def includes(root, files):
    """(file, line, included file) for each quoted include that names a file of the tree."""
    known = set(files)
    for f in files:
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                beside = os.path.normpath(os.path.join(os.path.dirname(f), m.group(1)))
                for target in (m.group(1), beside):
                    if target in known:
                        yield f, number, target
                        break


def circles(edges):
    """The strongly connected parts of more than one node (Tarjan), each sorted."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in sorted(edges.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            part = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                part.append(w)
                if w == v:
                    break
            if len(part) > 1:
                found.append(sorted(part))

    sys.setrecursionlimit(10000)
    for v in sorted(edges):
        if v not in index:
            visit(v)
    return found


def object_files(build, folder):
    """{source path: object file} for the files of folder compiled in build (first target wins)."""
    found = {}
    base = os.path.join(build, folder, "CMakeFiles")
    for here, dirs, names in os.walk(base):
        dirs.sort()
        for name in sorted(names):
            if not name.endswith(".o"):
                continue
            target_dir = here[len(base) + 1 :].split(os.sep)
            # CMakeFiles/<target>.dir/<path in the folder>.o
            if not target_dir or not target_dir[0].endswith(".dir"):
                continue
            source = os.path.join(folder, *target_dir[1:], name[:-2])
            found.setdefault(source, os.path.join(here, name))
    return found


def symbols(obj):
    """(defined, used) symbol names of one object file; inline and template copies don't count."""
    out = subprocess.run(["nm", "-P", obj], capture_output=True, text=True, check=True).stdout
    defined, used = set(), set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) < 2:
            continue
        name, kind = parts[0], parts[1]
        if kind == "U":
            used.add(name)
        elif kind in "TDBRGS":
            defined.add(name)
    return defined, used


def use_circles(build):
    """Circles of compiled files within one folder, through what each defines and uses."""
    found = []
    for folder in sorted(f for f in LEVEL if LEVEL[f] >= LEVEL["driver"]):
        objects = object_files(build, folder)
        table = {source: symbols(obj) for source, obj in objects.items()}
        owner = {}
        for source, (defined, _) in table.items():
            for name in defined:
                owner.setdefault(name, source)
        edges = collections.defaultdict(set)
        for source, (_, used) in table.items():
            for name in used:
                if name in owner and owner[name] != source:
                    edges[source].add(owner[name])
        for part in circles(edges):
            found.append((part, edges))
    return found


def main():
    if len(sys.argv) not in (2, 4) or (len(sys.argv) == 4 and sys.argv[2] != "--uses"):
        sys.stderr.write(__doc__)
        return 2
    root = sys.argv[1]
    files = list(sources(root))
    failures = 0

    print("includes between folders:")
    graph = collections.defaultdict(set)
    for f, line, target in includes(root, files):
        graph[f].add(target)
        src, dst = f.split("/")[0], target.split("/")[0]
        if src == dst:
            continue
        if LEVEL[src] < LEVEL[dst]:
            verdict = "down"
        else:
            verdict = "UP" if LEVEL[src] > LEVEL[dst] else "SIDEWAYS"
            failures += 1
        print(f"  {verdict:8} {f}:{line} -> {target}")

    for part in circles(graph):
        failures += 1
        print("CIRCLE of includes: " + ", ".join(part))
        for f in part:
            for target in sorted(graph[f] & set(part)):
                print(f"  {f} includes {target}")

    if len(sys.argv) == 4:
        for part, edges in use_circles(sys.argv[3]):
            failures += 1
            print("CIRCLE of definitions and uses: " + ", ".join(part))
            for f in part:
                for target in sorted(edges[f] & set(part)):
                    print(f"  {f} uses what {target} defines")

    if failures:
        print(f"{failures} problem(s): see the order at the top of tools/check-includes.py")
        return 1
    print("every include between folders points down; no circle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
