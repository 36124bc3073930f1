"""The exceptions of the package, and how an error text of the library
becomes one of them."""
from __future__ import annotations

import re
from typing import Optional

__all__ = ["VellumError", "ParseError", "LimitError", "InternalError", "error_from_text"]


class VellumError(Exception):
    """Base class of every error the parser reports.

    ``str(e)`` is the library's whole error text. ``message`` is the part
    after the position (the whole text when it names none); ``line`` and
    ``column`` (from 1, columns count bytes) and, for PromQL, ``offset`` (a
    byte offset from 0) are None when the text names no position.
    """

    def __init__(self, text: str, message: Optional[str] = None, line: Optional[int] = None,
                 column: Optional[int] = None, offset: Optional[int] = None) -> None:
        super().__init__(text)
        self.text = text
        self.message = text if message is None else message
        self.line = line
        self.column = column
        self.offset = offset

    def __str__(self) -> str:
        return self.text


class ParseError(VellumError, ValueError):
    """The text is not valid SQL or PromQL (a syntax error, or a statement
    the library cannot represent)."""


class LimitError(VellumError, ValueError):
    """The input was refused before parsing (longer than 1048576 bytes of
    SQL, a NUL byte in it) or the text or its document passes one of the
    library's fixed size or nesting limits."""


class InternalError(VellumError, RuntimeError):
    """The library reported a defect of its own; ``message`` is the text
    after the defect prefix."""


DEFECT_PREFIX = "internal parser defect (this is a parser bug, not invalid SQL): "

# "Parse error at line L, col C: MESSAGE (got KIND 'TEXT')"; the messages are
# the library's own words, so the first " (got " ends them.
_SQL_SYNTAX = re.compile(r"Parse error at line (\d+), col (\d+): (.*?)(?: \(got \w+ '.*'\))?\Z", re.S)
# "PromQL parse error at line L, col C, offset O near 'TEXT': MESSAGE"; the
# source text may hold anything, the messages never hold "': ".
_PROMQL_SYNTAX = re.compile(r"PromQL parse error at line (\d+), col (\d+), offset (\d+) near '.*': (.*)\Z", re.S)
_LIMIT = re.compile(r"(?:exceeds \d+-byte limit|nesting depth of \d+ exceeded|nesting exceeds limit \d+)\Z")
_INPUT_REFUSED = frozenset({
    "SQL input length must not be negative",
    "SQL input pointer must not be null",
    "SQL input contains an interior NUL byte",
    "PromQL input contains a NUL byte",  # refused by this package (the library would cut the text there)
})


def error_from_text(text: str) -> VellumError:
    """The exception for an error text of either parse function."""
    if text.startswith(DEFECT_PREFIX):
        return InternalError(text, text[len(DEFECT_PREFIX):])
    line = column = offset = None
    message = text
    match = _SQL_SYNTAX.match(text)
    if match:
        line, column, message = int(match[1]), int(match[2]), match[3]
    else:
        match = _PROMQL_SYNTAX.match(text)
        if match:
            line, column, offset, message = int(match[1]), int(match[2]), int(match[3]), match[4]
    if message in _INPUT_REFUSED or _LIMIT.search(message):
        return LimitError(text, message, line, column, offset)
    return ParseError(text, message, line, column, offset)
