#!/usr/bin/env python3
"""Fails when an #include of the tree crosses an edge that cmake/layers.txt does not allow.

Usage: IncludeLayersTest.py <repository root> [<layer table>]
Prints one line per offending include and exits 1; exits 0 when every include is allowed.
"""
import fnmatch
import os
import re
import sys

SOURCE_SUFFIXES = ('.h', '.hpp', '.cpp', '.cc', '.inc')
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def read_table(path):
    edges, system = {}, []
    with open(path, encoding='utf-8') as table:
        for number, raw in enumerate(table, 1):
            line = raw.split('#', 1)[0].strip()
            if not line:
                continue
            if ':' not in line:
                raise SystemExit(f'{path}:{number}: expected "<folder>: <folders>"')
            left, right = (part.split() for part in line.split(':', 1))
            if left[0] == 'system':
                system.append((set(left[1:]), right))
            elif len(left) == 1:
                edges[left[0]] = set(right)
            else:
                raise SystemExit(f'{path}:{number}: one folder per line')
    for folder, targets in edges.items():
        if '*' in targets:
            edges[folder] = set(edges)
        unknown = edges[folder] - set(edges)
        if unknown:
            raise SystemExit(f'{path}: {folder} allows unknown folders {sorted(unknown)}')
    return edges, system


def layer_of(relative, edges):
    """The longest folder of the table that holds the repository-relative path, or None."""
    best = None
    for folder in edges:
        if relative.startswith(folder + '/') and (best is None or len(folder) > len(best)):
            best = folder
    return best


def source_files(root):
    for directory, subdirs, files in os.walk(root):
        subdirs[:] = sorted(d for d in subdirs if not d.startswith('.') and d != 'build')
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(directory, name), root)


def resolve(root, including, kind, name):
    """The repository-relative path of an include of ours, or None for a system header."""
    candidates = [name]
    if kind == '"':
        candidates.insert(0, os.path.join(os.path.dirname(including), name))
    for candidate in candidates:
        path = os.path.normpath(candidate)
        if not path.startswith('..') and os.path.isfile(os.path.join(root, path)):
            return path
    return None


def check(root, edges, system):
    faults = []
    for relative in source_files(root):
        layer = layer_of(relative, edges)
        if layer is None:
            faults.append(f'{relative}: its folder has no line in the layer table')
            continue
        with open(os.path.join(root, relative), encoding='utf-8', errors='replace') as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                kind, name = match.groups()
                closing = '>' if kind == '<' else '"'
                where = f'{relative}:{number}: #include {kind}{name}{closing}'
                target = resolve(root, relative, kind, name)
                if target is not None:
                    target_layer = layer_of(target, edges)
                    if target_layer != layer and target_layer not in edges[layer]:
                        faults.append(f'{where}: {layer} may not include {target_layer}')
                elif kind == '"':
                    faults.append(f'{where}: no such file in the tree')
                else:
                    for allowed, patterns in system:
                        if layer not in allowed and any(fnmatch.fnmatchcase(name, p)
                                                        for p in patterns):
                            faults.append(f'{where}: only {" ".join(sorted(allowed))} may '
                                          'include this system header')
    return faults


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    root = os.path.abspath(sys.argv[1])
    table = sys.argv[2] if len(sys.argv) == 3 else os.path.join(root, 'cmake', 'layers.txt')
    edges, system = read_table(table)
    faults = check(root, edges, system)
    for fault in faults:
        print(fault)
    print(f'{len(faults)} include(s) outside the layer table' if faults else
          'every include follows the layer table')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
