"""Statement fingerprints: one digest per statement that ignores spans and
literal values, so that texts differing only in layout, letter case of
keywords, comments or constants share it."""
from __future__ import annotations

import hashlib
import json
from typing import Any, Callable, Dict, Iterator, List, Tuple

__all__ = ["fingerprint_tree", "canonical_text", "compact_json"]


def _is_span_key(key: Any) -> bool:
    return isinstance(key, str) and (key == "span" or key.endswith("_span"))


def _kept_entries(node: Dict[Any, Any]) -> Iterator[Tuple[Any, Any]]:
    variant = node.get("variant")
    for key, value in node.items():
        if _is_span_key(key):
            continue
        if variant == "VectorLiteral" and key == "values":
            continue
        if variant == "Literal" and key == "literal" and isinstance(value, dict):
            value = {k: v for k, v in value.items() if k != "value"}
        yield key, value


def _scalar(value: Any, ascii_only: bool = True) -> str:
    if value is None:
        return "null"
    if value is True:
        return "true"
    if value is False:
        return "false"
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, str):
        return json.dumps(value, ensure_ascii=ascii_only)
    raise TypeError(f"unexpected value in a document: {type(value).__name__}")


def canonical_text(tree: Any) -> str:
    """The canonical text of a decoded statement entry (see fingerprint)."""
    return _json_text(tree, _kept_entries, True)


def compact_json(tree: Any) -> str:
    """A decoded document as JSON on one line, nothing left out, for trees
    of any depth (json.dumps recurses)."""
    return _json_text(tree, lambda node: iter(node.items()), False)


def _json_text(tree: Any, entries: Callable[[Dict[Any, Any]], Iterator[Tuple[Any, Any]]], ascii_only: bool) -> str:
    out: List[str] = []
    # Each level: the pairs left to write (key None inside arrays), its
    # closing bracket, and whether it has written nothing yet.
    levels: List[Tuple[Iterator[Tuple[Any, Any]], str, List[bool]]] = [(iter([(None, tree)]), "", [True])]
    while levels:
        pairs, closer, empty = levels[-1]
        pair = next(pairs, None)
        if pair is None:
            out.append(closer)
            levels.pop()
            continue
        key, value = pair
        if not empty[0]:
            out.append(",")
        empty[0] = False
        if key is not None or closer == "}":
            out.append(_scalar(key, ascii_only) + ":")
        if isinstance(value, dict):
            out.append("{")
            levels.append((entries(value), "}", [True]))
        elif isinstance(value, list):
            out.append("[")
            levels.append((((None, item) for item in value), "]", [True]))
        else:
            out.append(_scalar(value, ascii_only))
    return "".join(out)


def fingerprint_tree(tree: Any) -> str:
    """The lower-case hexadecimal SHA-256 of canonical_text(tree) in ASCII."""
    return hashlib.sha256(canonical_text(tree).encode("ascii")).hexdigest()
