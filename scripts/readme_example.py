#!/usr/bin/env python3
"""Prints one example of the README, so that a test can run it as written.

    readme_example.py README.md NAME

An example is the fenced code block that follows the line
"<!-- example: NAME -->". Exits with status 1 when there is no such block.
"""
import sys


def example(text: str, name: str) -> str:
    lines = text.split("\n")
    marker = f"<!-- example: {name} -->"
    for i, line in enumerate(lines):
        if line.strip() != marker:
            continue
        start = i + 1
        while start < len(lines) and not lines[start].startswith("```"):
            start += 1
        end = start + 1
        while end < len(lines) and lines[end].rstrip() != "```":
            end += 1
        if end >= len(lines):
            break
        return "\n".join(lines[start + 1:end]) + "\n"
    raise LookupError(f"no example {name!r}")


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as readme:
        try:
            sys.stdout.write(example(readme.read(), sys.argv[2]))
        except LookupError as e:
            sys.exit(f"readme_example.py: {e}")
