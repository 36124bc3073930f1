#!/usr/bin/env python3
"""Prints one example of the README, so that a test can run it as written.

    readme_example.py README.md NAME

An example is the fenced code block that follows the line
"<!-- example: NAME -->" (indented blocks lose their fence's indentation). Exits with status 1 when there is no such block.
"""
import sys


def example(text: str, name: str) -> str:
    lines = text.split("\n")
    marker = f"<!-- example: {name} -->"
    for i, line in enumerate(lines):
        if line.strip() != marker:
            continue
        start = i + 1
        while start < len(lines) and not lines[start].lstrip().startswith("```"):
            start += 1
        end = start + 1
        while end < len(lines) and lines[end].strip() != "```":
            end += 1
        if end >= len(lines):
            break
        # A block inside a list item is indented like its fence.
        indent = len(lines[start]) - len(lines[start].lstrip())
        return "".join(line[indent:] + "\n" for line in lines[start + 1:end])
    raise LookupError(f"no example {name!r}")


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as readme:
        try:
            sys.stdout.write(example(readme.read(), sys.argv[2]))
        except LookupError as e:
            sys.exit(f"readme_example.py: {e}")
