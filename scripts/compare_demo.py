#!/usr/bin/env python3
"""Compares two runs of the demo byte for byte: every table (.DBF, .MDX) of
the two work folders, those of the copies the runs kept (COPIAS/, matched
in order: their folder names carry the time of the run), and the DAE
timetable file "fCUADROS.txt" of the two DAE folders. Then every table of
the second run's work folder (the Windows build's) is read back by the
independent readers: python3-dbf reads every record, Perl's XBase walks
every tag of its index.

Only dates the files record from the clock are set aside, and only when
both sides hold a valid date there (a run that straddles midnight differs
there and nowhere else):
  - .DBF bytes 1-3, the date of the last update (YY MM DD);
  - .MDX bytes 1-3 (creation) and 44-46 (last update) of the file header,
    and bytes 257-259 (creation) of each tag header, whose page the tag
    table gives (32-byte entries from offset 544, as many as bytes 28-29
    count, each starting with the page of its header; pages of 512 bytes).

compare_demo.py DAE_A WORK_A DAE_B WORK_B; exit status 0 when they agree.
"""
import os
import subprocess
import struct
import sys


def date_spans(name, data):
    ext = os.path.splitext(name)[1].upper()
    if ext == ".DBF":
        return [1]
    if ext == ".MDX":
        spans = [1, 44]
        if len(data) >= 30:
            tags = struct.unpack_from("<H", data, 28)[0]
            for i in range(tags):
                entry = 544 + 32 * i
                if entry + 4 <= len(data):
                    page = struct.unpack_from("<I", data, entry)[0]
                    spans.append(page * 512 + 257)
        return spans
    return []


def valid_date(data, at):
    if at + 3 > len(data):
        return False
    _, month, day = data[at], data[at + 1], data[at + 2]
    return 1 <= month <= 12 and 1 <= day <= 31


def compare(label, a_path, b_path, problems):
    with open(a_path, "rb") as f:
        a = bytearray(f.read())
    with open(b_path, "rb") as f:
        b = bytearray(f.read())
    if len(a) != len(b):
        problems.append(f"{label}: {len(a)} bytes against {len(b)}")
        return
    for at in date_spans(label, a):
        if not (valid_date(a, at) and valid_date(b, at)):
            problems.append(f"{label}: no valid date at byte {at}")
            return
        a[at:at + 3] = b[at:at + 3] = b"\0\0\0"
    if a != b:
        first = next(i for i in range(len(a)) if a[i] != b[i])
        problems.append(f"{label}: differs from byte {first} "
                        f"({a[first]:#04x} against {b[first]:#04x})")


def tables(folder):
    return sorted(n for n in os.listdir(folder)
                  if os.path.splitext(n)[1].upper() in (".DBF", ".MDX")
                  and os.path.isfile(os.path.join(folder, n)))


def mdx_tags(mdx_path):
    """The tag names of a production index, from its tag table."""
    with open(mdx_path, "rb") as f:
        head = f.read(544 + 48 * 32)
    count = struct.unpack_from("<H", head, 28)[0]
    names = []
    for i in range(count):
        entry = head[544 + i * 32: 544 + (i + 1) * 32]
        names.append(entry[4:15].split(b"\0")[0].decode("ascii").strip())
    return names


def read_back(folder, problems):
    """Every table the Windows build wrote, read by the independent readers:
    python3-dbf reads every record, Perl's XBase walks every tag of its
    index, one entry per record. Returns the number of tables read."""
    tools = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tools")
    read = 0
    for name in tables(folder):
        stem, ext = os.path.splitext(name)
        if ext.upper() != ".DBF":
            continue
        dbf = os.path.join(folder, name)
        dump = subprocess.run(["/usr/bin/python3", os.path.join(tools, "dbf_dump.py"), dbf],
                              capture_output=True)
        if dump.returncode != 0:
            problems.append(f"python3-dbf cannot read {name}: {dump.stderr.decode(errors='replace')}")
            continue
        records = len(dump.stdout.splitlines()) - 1
        mdx = [n for n in os.listdir(folder) if n.upper() == (stem + ".MDX").upper()]
        for tag in mdx_tags(os.path.join(folder, mdx[0])) if mdx else []:
            walk = subprocess.run(["perl", os.path.join(tools, "mdx_walk.pl"), dbf, tag],
                                  capture_output=True)
            if walk.returncode != 0:
                problems.append(f"XBase cannot walk tag {tag} of {name}: "
                                f"{walk.stderr.decode(errors='replace')}")
            elif len(walk.stdout.splitlines()) != records:
                problems.append(f"tag {tag} of {name}: {len(walk.stdout.splitlines())} "
                                f"entries for {records} records")
        read += 1
    return read


def main():
    dae_a, work_a, dae_b, work_b = sys.argv[1:5]
    problems = []
    compared = 0
    pairs = [("", work_a, work_b)]
    copies_a = os.path.join(work_a, "COPIAS")
    copies_b = os.path.join(work_b, "COPIAS")
    ca = sorted(os.listdir(copies_a)) if os.path.isdir(copies_a) else []
    cb = sorted(os.listdir(copies_b)) if os.path.isdir(copies_b) else []
    if len(ca) != len(cb):
        problems.append(f"COPIAS: {len(ca)} copies against {len(cb)}")
    for x, y in zip(ca, cb):
        pairs.append((f"COPIAS/{x[:6]}/", os.path.join(copies_a, x), os.path.join(copies_b, y)))
    for prefix, fa, fb in pairs:
        ta, tb = tables(fa), tables(fb)
        if ta != tb:
            problems.append(f"{prefix or 'work folder'}: tables {ta} against {tb}")
        for name in sorted(set(ta) & set(tb)):
            compare(prefix + name, os.path.join(fa, name), os.path.join(fb, name), problems)
            compared += 1
    compare("fCUADROS.txt", os.path.join(dae_a, "fCUADROS.txt"),
            os.path.join(dae_b, "fCUADROS.txt"), problems)
    compared += 1
    read = read_back(work_b, problems)
    for p in problems:
        print("DIFERENCIA: " + p)
    print(f"{compared} archivos comparados, {read} tablas de Wine leídas por python3-dbf "
          f"y XBase, {len(problems)} diferencias")
    return 1 if problems or compared < 2 or read < 2 else 0


if __name__ == "__main__":
    sys.exit(main())
