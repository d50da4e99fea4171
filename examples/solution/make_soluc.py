#!/usr/bin/python3
"""Writes examples/solution/SOLUC.DBF, the sample timetable solution.

It is the table that the timetabling product leaves in the work folder for
the export: one row per lesson placed at a day and hour of the week, for
the invented school of examples/dae (IES Itsasmendi). The abbreviations
are those that importing examples/dae with the language EUSKERA gives:

  teachers  ABC ABC1 ABC2 PEM GJ ÑRA ZLI UOL MSB EFX (initials of the names)
  groups    1ESO 1ES1 1ES2 2ESO 2ES1 1BAT 1FPB Tuto (start of the alias)
  subjects  MATE GAZT EUSK INGE GEHI BIGE FIKI GORP TEKN MUSI ETIK, and
            the task rows T01 G01 R01 J01

What the rows exercise on export:
  - XYZ, a teacher missing from PROFT (added to it by the export);
  - a row with DIA 0 (not placed: ignored);
  - a row with SESIONES 2 (its end time comes from a later period);
  - rows with a blank CODGRUPO (a guard and a department meeting: type 2
    records only, TAREA given);
  - two rows of one teacher at one day and hour (two groups at once);
  - GJ, a two-letter teacher, sorting before longer abbreviations;
  - a group missing from GRUPOST (2ESX) and a subject missing from
    ASIGNOMT (ZZZZ);
  - a deleted row, which the export must not see.

Numeric columns are written as the product writes them, N(2,0).

Run it with Debian's python3 and its dbf module:
  /usr/bin/python3 examples/solution/make_soluc.py
"""

import os

import dbf

HERE = os.path.dirname(os.path.abspath(__file__))
PATH = os.path.join(HERE, "SOLUC.DBF")

SPECS = ("ASIG C(4); PROF C(4); CODGRUPO C(4); TURNO C(1); NIVEL C(5); "
         "CURSO C(3); GRUPO C(1); AULA C(4); DIA N(2,0); HORA N(2,0); "
         "SESIONES N(2,0); TAREA C(3)")

# group abbreviation -> TURNO, NIVEL, CURSO, GRUPO as the groups hold them
GROUPS = {
    "1ESO": ("D", "DBH", "1", "1"),
    "1ES1": ("D", "DBH", "1", "2"),
    "1ES2": ("D", "DBH", "1", "3"),
    "2ESO": ("D", "DBH", "2", "1"),
    "2ES1": ("D", "DBH", "2", "2"),
    "1BAT": ("D", "BATX", "1", "1"),
    "1FPB": ("T", "OLH", "1", "1"),
    "Tuto": ("D", "NIV", "1", "1"),
    "2ESX": ("D", "DBH", "2", "9"),   # not a group of GRUPOST
    "": ("", "", "", ""),
}

# (ASIG, PROF, CODGRUPO, AULA, DIA, HORA, SESIONES, TAREA)
LESSONS = [
    ("MATE", "ABC", "1ESO", "A11", 1, 1, 1, ""),
    ("MATE", "ABC", "1ES1", "A12", 1, 2, 1, ""),
    ("MATE", "ABC", "2ESO", "A21", 2, 3, 1, ""),
    ("G01", "ABC", "", "", 3, 4, 1, "G01"),          # guard, no group
    ("MATE", "ABC1", "1ES2", "A13", 1, 1, 1, ""),
    ("MATE", "ABC1", "2ES1", "A22", 4, 5, 1, ""),
    ("R01", "ABC1", "1ESO", "A11", 5, 6, 1, "R01"),  # support lesson
    ("INGE", "ABC2", "1ESO", "A11", 1, 3, 1, ""),
    ("INGE", "ABC2", "1BAT", "B01", 2, 1, 1, ""),
    ("INGE", "ABC2", "2ES1", "A22", 3, 2, 1, ""),
    ("GAZT", "PEM", "1ES1", "A12", 1, 4, 1, ""),
    ("GAZT", "PEM", "2ESO", "A21", 2, 5, 1, ""),
    ("GAZT", "PEM", "1BAT", "B01", 4, 1, 1, ""),
    ("EUSK", "GJ", "1ESO", "A11", 1, 5, 1, ""),
    ("EUSK", "GJ", "1ES2", "A13", 3, 1, 1, ""),
    ("J01", "GJ", "", "DEP", 5, 7, 1, "J01"),        # department meeting
    ("GEHI", "\u00d1RA", "1ES1", "A12", 2, 2, 1, ""),
    ("GEHI", "\u00d1RA", "2ES1", "A22", 4, 3, 1, ""),
    ("GORP", "ZLI", "1ESO", "GIM", 2, 6, 2, ""),     # two sessions
    ("GORP", "ZLI", "2ESO", "GIM", 5, 1, 1, ""),
    ("FIKI", "UOL", "1BAT", "LAB", 3, 3, 1, ""),
    ("FIKI", "UOL", "2ESX", "LAB", 4, 4, 1, ""),     # group not in GRUPOST
    ("BIGE", "MSB", "1ES2", "LAB", 1, 6, 1, ""),
    ("BIGE", "MSB", "1BAT", "LAB", 5, 2, 1, ""),
    ("TEKN", "EFX", "1FPB", "TAL", 2, 4, 1, ""),
    ("TEKN", "EFX", "1BAT", "TAL", 2, 4, 1, ""),     # same teacher, day, hour
    ("ZZZZ", "EFX", "1FPB", "TAL", 3, 5, 1, ""),     # subject not in ASIGNOMT
    ("T01", "EFX", "Tuto", "TUT", 4, 6, 1, "T01"),   # tutoring
    ("MUSI", "XYZ", "2ES1", "MUS", 1, 7, 1, ""),     # teacher not in PROFT
    ("MUSI", "XYZ", "1ES1", "MUS", 3, 7, 1, ""),
    ("ETIK", "MSB", "2ESO", "A21", 0, 8, 1, ""),     # not placed: DIA 0
]

DELETED = ("ETIK", "PEM", "2ES1", "A22", 5, 5, 1, "")


def row(lesson):
    asig, prof, grupo, aula, dia, hora, ses, tarea = lesson
    turno, nivel, curso, num = GROUPS[grupo]
    return {"asig": asig, "prof": prof, "codgrupo": grupo, "turno": turno,
            "nivel": nivel, "curso": curso, "grupo": num, "aula": aula,
            "dia": dia, "hora": hora, "sesiones": ses, "tarea": tarea}


def main():
    for name in ("SOLUC.DBF", "SOLUC.MDX"):
        p = os.path.join(HERE, name)
        if os.path.exists(p):
            os.remove(p)
    table = dbf.Table(PATH, SPECS, dbf_type="db3", codepage="cp1252")
    table.open(mode=dbf.READ_WRITE)
    try:
        for i, lesson in enumerate(LESSONS):
            table.append(row(lesson))
            if i == 10:
                table.append(row(DELETED))
                dbf.delete(table[-1])
    finally:
        table.close()


if __name__ == "__main__":
    main()
