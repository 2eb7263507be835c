#!/usr/bin/env python3
"""A plain reader of a Mork history (history.dat), the yardstick for quillon-cli's own.

Reads the file, takes its dictionaries (columns and atoms), tables and rows apart with one
regular expression, resolves each row's cells and prints one line per row as `quillon-cli show
N history` does: host and address, last visit, first visit, tab-separated, dates in local time.

Usage: perf_mork.py history.dat > rows.txt
"""

import re
import sys
import time

TOKEN = re.compile(
    rb"//[^\n]*"  # comment
    rb"|@\$\$\{[^{]*\{@"  # group start
    rb"|@\$\$\}[^}]*\}@"  # group end
    rb"|\((?:[^)\\]|\\.)*\)"  # cell
    rb"|\[[^(\]]*"  # row start and its id
    rb"|[<>{}\]]",
    re.S,
)
HEX_ESCAPE = re.compile(rb"\$([0-9A-Fa-f]{2})")


def unescape(value):
    value = re.sub(rb"\\(.)", rb"\1", value)
    return HEX_ESCAPE.sub(lambda m: bytes([int(m.group(1), 16)]), value)


def read_rows(data):
    data = data.replace(b"\\\r\n", b"").replace(b"\\\n", b"")
    columns, atoms, rows = {}, {}, []
    dict_depth = 0
    column_dict = False
    in_row = False
    cells = None
    for match in TOKEN.finditer(data):
        token = match.group()
        first = token[:1]
        if first == b"<":
            dict_depth += 1
        elif first == b">":
            dict_depth -= 1
            if dict_depth == 0:
                column_dict = False
        elif first == b"[":
            in_row = True
            cells = []
        elif first == b"]":
            if in_row:
                rows.append(cells)
            in_row = False
        elif first == b"(":
            body = token[1:-1]
            if in_row:
                cells.append(body)
            elif dict_depth == 2 and body == b"a=c":
                column_dict = True
            elif dict_depth == 1:
                key, _, value = body.partition(b"=")
                (columns if column_dict else atoms)[key.strip().upper()] = value
    return columns, atoms, rows


def resolve(cell, columns, atoms):
    if not cell.startswith(b"^"):
        return None, None
    cell = cell[1:]
    inline = cell.find(b"=")
    ref = cell.find(b"^")
    if inline >= 0 and (ref < 0 or inline < ref):
        column, value = cell[:inline], unescape(cell[inline + 1 :])
    elif ref >= 0:
        column, value = cell[:ref], unescape(atoms.get(cell[ref + 1 :].upper(), b""))
    else:
        return None, None
    return unescape(columns.get(column.upper(), b"")), value


def date_text(microseconds):
    if not microseconds:
        return "?"
    return time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(int(microseconds) // 1000000))


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    columns, atoms, rows = read_rows(data)
    out = sys.stdout
    out.write("Host\tLast Access\tExpires\n")
    for cells in rows:
        values = {}
        for cell in cells:
            name, value = resolve(cell, columns, atoms)
            if name is not None and name not in values:
                values[name] = value
        where = (values.get(b"Hostname", b"") + values.get(b"URL", b"")).decode("utf-8", "replace")
        out.write(
            (where or "?")
            + "\t"
            + date_text(values.get(b"LastVisitDate"))
            + "\t"
            + date_text(values.get(b"FirstVisitDate"))
            + "\n"
        )


if __name__ == "__main__":
    main()
