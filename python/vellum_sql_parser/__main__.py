"""python3 -m vellum_sql_parser sql|promql TEXT: prints the tree as JSON.

Exit status 0 when a tree was printed, 1 for an error of the parser (its
text on standard error), 2 for a usage error.
"""
from __future__ import annotations

import json
import sys
from typing import List, Optional

from . import VellumError, parse_promql, parse_sql
from ._fingerprint import compact_json

USAGE = "usage: python3 -m vellum_sql_parser sql|promql TEXT"


def main(argv: Optional[List[str]] = None) -> int:
    args = sys.argv[1:] if argv is None else argv
    if len(args) != 2 or args[0] not in ("sql", "promql"):
        print(USAGE, file=sys.stderr)
        return 2
    language, text = args
    try:
        tree = parse_sql(text) if language == "sql" else parse_promql(text)
    except VellumError as e:
        print(e, file=sys.stderr)
        return 1
    # Source strings that are not UTF-8 print with "?" for their bytes.
    if hasattr(sys.stdout, "reconfigure"):
        sys.stdout.reconfigure(errors="replace")
    try:
        print(json.dumps(tree, indent=2, ensure_ascii=False))
    except RecursionError:
        # Deeper than json goes: compact, written without recursion.
        print(compact_json(tree))
    return 0


if __name__ == "__main__":
    sys.exit(main())
