#!/usr/bin/env python3
"""Checks the relative links of the project's Markdown pages: every [text](target) outside code
names a file that exists and, with #anchor, a heading of that page (anchors as GitHub makes
them). Prints each broken link as FILE:LINE: ... and exits 1 when there is one.
    tools/check-links.py [ROOT]   (default: the folder above tools/)"""
import re
import sys
from pathlib import Path

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")


def prose_lines(path):
    """(number, line) of the lines outside fenced code, inline code taken out."""
    fence = False
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if line.lstrip().startswith("```"):
            fence = not fence
        elif not fence:
            yield number, re.sub(r"`[^`]*`", "", line)


def anchors(path):
    """The anchors of a page's headings: lower case, punctuation dropped, blanks as hyphens,
    -1, -2, ... after a repeated one."""
    seen, found = {}, set()
    fence = False
    for line in path.read_text(encoding="utf-8").splitlines():
        if line.lstrip().startswith("```"):
            fence = not fence
        heading = re.match(r"#{1,6} +(.*?) *#* *$", line)
        if fence or not heading:
            continue
        slug = re.sub(r"[^\w\- ]", "", heading.group(1).lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        found.add(slug if count == 0 else f"{slug}-{count}")
    return found


def broken(page):
    for number, line in prose_lines(page):
        for target in LINK.findall(line):
            if re.match(r"[a-z]+:", target):
                continue  # a URL or mailto:
            name, _, anchor = target.partition("#")
            file = (page.parent / name).resolve() if name else page
            if not file.exists():
                yield f"{page}:{number}: {target}: no such file"
            elif anchor and file.suffix == ".md" and anchor not in anchors(file):
                yield f"{page}:{number}: {target}: no heading #{anchor} in {file.name}"


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent.parent)
    pages = sorted(p for p in root.rglob("*.md") if not {"build", ".git"} & set(p.relative_to(root).parts))
    faults = [fault for page in pages for fault in broken(page)]
    print("\n".join(faults) if faults else f"links: {len(pages)} pages, every link resolves")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
