#!/usr/bin/python3
"""Independent reader (and writer) of dBase tables for the test suites.

Reads a .DBF through the python3-dbf module, never through the tool's own
engine, so that tests can check the files the tool writes the way another
program sees them.

  dbf_dump.py PATH
      line 1: the fields as NAME:TYPE:LEN:DEC joined by '|'
      then one line per non-deleted record, in physical order, the values
      joined by '|': character values right-stripped and decoded from code
      page 1252 (printed as UTF-8), numbers as Python prints an int when
      integral (else as a float), logicals T/F, empty values empty.

  dbf_dump.py --codepage PATH
      prints the code page that the reader takes from the header
      (language-driver byte), e.g. "cp1252".

  dbf_dump.py --write PATH SPECS [ROW ...]
      creates a dBase III-style table as another program would.
      SPECS: field specs separated by ';', e.g. "NAME C(10); N N(5,2); L L".
      Each ROW: values separated by '|' (text is UTF-8 and is stored as
      code page 1252; numbers as written; T/F for logicals; an empty value
      stays empty). A ROW prefixed with '*' is written and then deleted.

  dbf_dump.py --append PATH ROW [ROW ...]
      appends rows (same syntax as --write) to an existing table.

  dbf_dump.py --write-cp CODEPAGE PATH SPECS [ROW ...]
      as --write, with the table in another code page (e.g. cp850): the
      language-driver byte names it and the text is stored in it.

  dbf_dump.py --copy-cp CODEPAGE SOURCE TARGET
      writes TARGET with the fields and live rows of SOURCE (read as code
      page 1252), in the code page given.

  dbf_dump.py --delete-pack PATH FIELD VALUE
      deletes the rows whose FIELD holds VALUE and packs the table, as a
      program that does not maintain the production index would.

Exit status 0 on success; 2 with a message on standard error otherwise.
"""
import sys

import dbf


def _fmt(value, ftype):
    if value is None:
        return ""
    if ftype in ("C",):
        return str(value).rstrip()
    if ftype in ("N", "F"):
        if isinstance(value, float) and value.is_integer():
            return str(int(value))
        return str(value)
    if ftype == "L":
        if value is True:
            return "T"
        if value is False:
            return "F"
        return ""
    if ftype == "D":
        return value.strftime("%Y%m%d") if value else ""
    return str(value).rstrip()


def _ftype(table, name):
    info = table.field_info(name)
    t = info.field_type
    if isinstance(t, bytes):
        t = t.decode("ascii")
    elif not isinstance(t, str):
        t = chr(t)
    return t, info.length, info.decimal


def dump(path):
    table = dbf.Table(path, codepage="cp1252")
    table.open(mode=dbf.READ_ONLY)
    try:
        names = table.field_names
        types = [_ftype(table, n) for n in names]
        out = ["|".join("%s:%s:%d:%d" % (n.upper(), t, l, d)
                        for n, (t, l, d) in zip(names, types))]
        for rec in table:
            if dbf.is_deleted(rec):
                continue
            vals = []
            for n, (t, _, _) in zip(names, types):
                vals.append(_fmt(rec[n], t))
            out.append("|".join(vals))
    finally:
        table.close()
    sys.stdout.write("\n".join(out) + "\n")


def codepage(path):
    table = dbf.Table(path)
    table.open(mode=dbf.READ_ONLY)
    try:
        cp = table.codepage
        sys.stdout.write("%s\n" % cp.name)
    finally:
        table.close()


def _parse_row(table, row):
    deleted = row.startswith("*")
    if deleted:
        row = row[1:]
    parts = row.split("|") if row else []
    values = {}
    for name, text in zip(table.field_names, parts):
        t, _, dec = _ftype(table, name)
        if text == "":
            continue
        if t == "C":
            values[name] = text
        elif t in ("N", "F"):
            values[name] = float(text) if dec or "." in text else int(text)
        elif t == "L":
            values[name] = text.upper() in ("T", "Y", "TRUE", "1")
        else:
            values[name] = text
    return values, deleted


def append_rows(table, rows):
    for row in rows:
        values, deleted = _parse_row(table, row)
        table.append(values)
        if deleted:
            dbf.delete(table[-1])


def write(path, specs, rows, cp="cp1252"):
    table = dbf.Table(path, specs, dbf_type="db3", codepage=cp)
    table.open(mode=dbf.READ_WRITE)
    try:
        append_rows(table, rows)
    finally:
        table.close()


def append(path, rows):
    table = dbf.Table(path, codepage="cp1252")
    table.open(mode=dbf.READ_WRITE)
    try:
        append_rows(table, rows)
    finally:
        table.close()


def copy_cp(cp, source, target):
    src = dbf.Table(source, codepage="cp1252")
    src.open(mode=dbf.READ_ONLY)
    try:
        specs = src.structure()
        out = dbf.Table(target, "; ".join(specs), dbf_type="db3", codepage=cp)
        out.open(mode=dbf.READ_WRITE)
        try:
            for rec in src:
                if dbf.is_deleted(rec):
                    continue
                out.append(tuple(rec))
        finally:
            out.close()
    finally:
        src.close()


def delete_pack(path, field, value):
    table = dbf.Table(path, codepage="cp1252")
    table.open(mode=dbf.READ_WRITE)
    try:
        for rec in table:
            if str(rec[field.lower()]).rstrip() == value:
                dbf.delete(rec)
        table.pack()
    finally:
        table.close()


def main(argv):
    try:
        if len(argv) == 2 and not argv[1].startswith("--"):
            dump(argv[1])
        elif len(argv) == 3 and argv[1] == "--codepage":
            codepage(argv[2])
        elif len(argv) >= 4 and argv[1] == "--write":
            write(argv[2], argv[3], argv[4:])
        elif len(argv) >= 5 and argv[1] == "--write-cp":
            write(argv[3], argv[4], argv[5:], argv[2])
        elif len(argv) == 5 and argv[1] == "--copy-cp":
            copy_cp(argv[2], argv[3], argv[4])
        elif len(argv) == 5 and argv[1] == "--delete-pack":
            delete_pack(argv[2], argv[3], argv[4])
        elif len(argv) >= 3 and argv[1] == "--append":
            append(argv[2], argv[3:])
        else:
            sys.stderr.write(__doc__)
            return 2
    except Exception as exc:  # the message is what the tests show
        sys.stderr.write("dbf_dump: %s: %s\n" % (type(exc).__name__, exc))
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
