#!/usr/bin/env python3
"""Names that two source files of one target define at namespace scope in an anonymous
namespace (or as static): the unity build compiles a target's files as one unit, where such a
pair is an error at best and, at worst, an overload that quietly wins. Prints each pair and
exits 1 when there is one.

    tools/unity-names.py [ROOT]

A target is the library of a folder of src/ (its *.cpp), its unit tests (its *_test.cpp), and
the end-to-end tests of tests/e2e. The parse is by lines: a definition starts at column 0."""
import collections
import os
import re
import sys

DEFINITION = re.compile(
    r'^(?:static\s+|inline\s+|constexpr\s+|const\s+|extern\s+"C"\s+)*'
    r'(?:[\w:<>,\s\*&]+?)\s+[\*&]*(\w+)\s*(?:\(|\[|=|\{|;)')
TYPE = re.compile(r'^(?:struct|class|enum class|enum|union)\s+(\w+)\s*[:{]')
KEYWORDS = {'namespace', 'return', 'if', 'for', 'while', 'switch', 'class', 'struct', 'using',
            'else', 'enum', 'operator', 'PrintTo', 'main', 'TEST', 'TEST_F', 'TEST_P'}


def names(path):
    out = set()
    anonymous = False
    with open(path, encoding='latin-1') as f:
        for line in f:
            if re.match(r'^namespace\s*\{', line):
                anonymous = True
                continue
            if anonymous and re.match(r'^\}\s*//\s*namespace\s*$', line):
                anonymous = False
                continue
            if not anonymous and not line.startswith('static '):
                continue
            # Aliases (namespace fs = ..., using G = ...) may be declared again; bodies are indented.
            if not line[:1].isalpha() or line.startswith(('return', 'TEST', 'INSTANTIATE', 'template',
                                                            'namespace ', 'using ')):
                continue
            for pattern in (TYPE, DEFINITION):
                m = pattern.match(line)
                if m and m.group(1) not in KEYWORDS:
                    out.add(m.group(1))
                    break
    return out


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
    targets = collections.defaultdict(list)
    src = os.path.join(root, 'src')
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        for f in sorted(os.listdir(path)):
            if not f.endswith('.cpp') or f.endswith('_windows.cpp'):
                continue
            kind = 'tests' if f.endswith('_test.cpp') else 'library'
            targets[(folder, kind)].append(os.path.join(path, f))
    e2e = os.path.join(root, 'tests', 'e2e')
    targets[('e2e', 'tests')] = [os.path.join(e2e, f) for f in sorted(os.listdir(e2e)) if f.endswith('.cpp')]
    pairs = 0
    for (folder, kind), files in sorted(targets.items()):
        defined = collections.defaultdict(list)
        for f in files:
            for n in names(f):
                defined[n].append(os.path.basename(f))
        for n, where in sorted(defined.items()):
            if len(where) > 1:
                print(f'{folder} {kind}: {n} in {", ".join(where)}')
                pairs += 1
    print(f'names defined twice in one target: {pairs}')
    return 1 if pairs else 0


if __name__ == '__main__':
    sys.exit(main())
