"""MessagePack documents to Python values: dicts keep the written key order;
strings that are not UTF-8 keep their bytes as surrogate escapes."""
from __future__ import annotations

import struct
from typing import Any, List, Tuple

import msgpack

__all__ = ["decode"]


def decode(data: bytes) -> Any:
    """The value of one MessagePack document. Documents nested deeper than
    msgpack's own decoder goes (long operator chains give such trees) are
    read by an iterative decoder instead."""
    try:
        return msgpack.unpackb(data, raw=False, unicode_errors="surrogateescape", strict_map_key=False)
    except (msgpack.StackError, RecursionError):
        return decode_deep(data)


_FIXED = {  # code: (byte count, struct format) of the fixed-width scalars
    0xca: (4, ">f"), 0xcb: (8, ">d"),
    0xcc: (1, ">B"), 0xcd: (2, ">H"), 0xce: (4, ">I"), 0xcf: (8, ">Q"),
    0xd0: (1, ">b"), 0xd1: (2, ">h"), 0xd2: (4, ">i"), 0xd3: (8, ">q"),
}
_LENGTH = {0xd9: (1, ">B"), 0xda: (2, ">H"), 0xdb: (4, ">I"),   # strings
           0xdc: (2, ">H"), 0xdd: (4, ">I"),                     # arrays
           0xde: (2, ">H"), 0xdf: (4, ">I")}                     # maps
_CONSTANTS = {0xc0: None, 0xc2: False, 0xc3: True}


def decode_deep(data: bytes) -> Any:
    """The value of one MessagePack document, read with an explicit stack
    (the forms the library writes: no binary or extension values)."""
    pos = 0
    end = len(data)

    def take(n: int) -> bytes:
        nonlocal pos
        if end - pos < n:
            raise ValueError("truncated MessagePack document")
        chunk = data[pos:pos + n]
        pos += n
        return chunk

    root: List[Any] = []
    # Open containers: [container, entries left, key read (maps), has key]
    stack: List[List[Any]] = [[root, 1, None, False]]
    while stack:
        top = stack[-1]
        if top[1] == 0:
            stack.pop()
            continue
        code = take(1)[0]
        opened: Tuple[Any, int] | None = None
        if code <= 0x7f:
            value: Any = code
        elif code >= 0xe0:
            value = code - 0x100
        elif code <= 0x8f:
            value = {}
            opened = (value, code & 0x0f)
        elif code <= 0x9f:
            value = []
            opened = (value, code & 0x0f)
        elif code <= 0xbf:
            value = take(code & 0x1f).decode("utf-8", "surrogateescape")
        elif code in _CONSTANTS:
            value = _CONSTANTS[code]
        elif code in _FIXED:
            size, form = _FIXED[code]
            value = struct.unpack(form, take(size))[0]
        elif code in _LENGTH:
            size, form = _LENGTH[code]
            length = struct.unpack(form, take(size))[0]
            if code <= 0xdb:
                value = take(length).decode("utf-8", "surrogateescape")
            else:
                value = {} if code >= 0xde else []
                opened = (value, length)
        else:
            raise ValueError(f"unsupported MessagePack code 0x{code:02x}")

        container = top[0]
        if isinstance(container, list):
            container.append(value)
            top[1] -= 1
        elif not top[3]:
            if opened is not None:
                raise ValueError("MessagePack map key is not a scalar")
            top[2], top[3] = value, True
        else:
            container[top[2]] = value
            top[1] -= 1
            top[3] = False
        if opened is not None:
            stack.append([opened[0], opened[1], None, False])
    if pos != end:
        raise ValueError("bytes after the MessagePack document")
    return root[0]
