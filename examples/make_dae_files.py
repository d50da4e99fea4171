#!/usr/bin/env python3
"""Writes the DAE files of the sample school into examples/dae/.

The school, IES Itsasmendi / Instituto Itsasmendi, and everything in it are
invented for the examples and the demo. The files are written as DAE writes
them: fixed-width fields padded with blanks, code page 1252 bytes, CR LF
line ends.

What the data exercise on import:
  - subjects: two subjects with the Castellano abbreviation MATE and a third
    with "mate" (they become MATE, MAT1, mat2), Castellano and Euskera
    columns that differ (LENG / GAZT, FIQU / FIKI ...), accented letters;
  - task types: a line with "0" in its first position, which gives no row;
  - teachers: a leading record of type 1 (skipped), three teachers whose
    initials are ABC (ABC, ABC1, ABC2), one with an empty second part;
  - groups: three groups of level ESO and course 1 (GRUPO 1, 2, 3, and
    abbreviations 1ESO, 1ES1, 1ES2), a group with no level (NIVEL "NIV").

Run it with any python3:  python3 examples/make_dae_files.py [FOLDER]
It writes FOLDER/dae/*.txt and FOLDER/levels.csv; FOLDER defaults to the
examples folder beside the script.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
BASE = sys.argv[1] if len(sys.argv) > 1 else HERE
OUT = os.path.join(BASE, "dae")


def fixed(*fields):
    """Joins (text, width) pairs, each padded with blanks or cut to width."""
    line = ""
    for text, width in fields:
        if len(text) > width:
            sys.exit("field too long for width %d: %r" % (width, text))
        line += text.ljust(width)
    return line


def write(name, lines):
    data = "".join(line + "\r\n" for line in lines)
    path = os.path.join(OUT, name)
    with open(path, "wb") as f:
        f.write(data.encode("cp1252"))


# fTIPTAR.txt: flag 1, COD 2-4, REFUERZO 5, OTRACTIV 6, DESCCAST 7-256,
# DESCEUSK 257-506.
TASK_TYPES = [
    ("1", "T01", "N", "S", "Tutoría de grupo", "Taldeko tutoretza"),
    ("1", "G01", "N", "S", "Guardia", "Zaintza"),
    ("0", "X99", "N", "N", "Tarea dada de baja", "Bajan emandako zeregina"),
    ("1", "R01", "S", "N", "Refuerzo de Matemáticas", "Matematika indartzea"),
    ("1", "J01", "N", "S", "Jefatura de departamento", "Mintegi burutza"),
]

# fASIGNAT.txt: COD 1-4, DESCCAST 5-104, DESCCASTR 105-124, CODCAST 125-128,
# DESCEUSK 129-228, DESCEUSKR 229-248, CODEUSK 249-252.
SUBJECTS = [
    ("0101", "Matemáticas", "Matemáticas", "MATE",
     "Matematika", "Matematika", "MATE"),
    ("0102", "Matemáticas Aplicadas", "Matem. Aplicadas", "MATE",
     "Matematika Aplikatuak", "Matem. Aplikatuak", "MATA"),
    ("0103", "Matemáticas (optativa)", "Matem. Optativa", "mate",
     "Matematika (hautazkoa)", "Matem. Hautazkoa", "mate"),
    ("0201", "Lengua Castellana y Literatura", "Lengua Cast. y Lit.", "LENG",
     "Gaztelania eta Literatura", "Gaztelania eta Lit.", "GAZT"),
    ("0202", "Euskera y Literatura", "Euskera y Lit.", "EUSK",
     "Euskara eta Literatura", "Euskara eta Lit.", "EUSK"),
    ("0301", "Inglés", "Inglés", "INGL",
     "Ingelesa", "Ingelesa", "INGE"),
    ("0401", "Geografía e Historia", "Geografía e Hª", "GEHI",
     "Geografia eta Historia", "Geografia eta Hist.", "GEHI"),
    ("0501", "Biología y Geología", "Biología y Geol.", "BIGE",
     "Biologia eta Geologia", "Biologia eta Geol.", "BIGE"),
    ("0601", "Física y Química", "Física y Química", "FIQU",
     "Fisika eta Kimika", "Fisika eta Kimika", "FIKI"),
    ("0701", "Educación Física", "Educación Física", "EDFI",
     "Gorputz Hezkuntza", "Gorputz Hezkuntza", "GORP"),
    ("0801", "Tecnología", "Tecnología", "TECN",
     "Teknologia", "Teknologia", "TEKN"),
    ("0901", "Música", "Música", "MUSI",
     "Musika", "Musika", "MUSI"),
    ("1001", "Ética y Valores Cívicos", "Ética", "ÉTIC",
     "Etika eta Balio Zibikoak", "Etika", "ETIK"),
]

# fOTRACT.txt: COD 1-3, DESCCAST 4-103, DESCEUSK 104-203, DESCCASTR 204-223,
# DESCEUSKR 224-243.
OTHER_ACTIVITIES = [
    ("GUA", "Guardia de pasillo", "Korridoreko zaintza", "Guardia", "Zaintza"),
    ("REU", "Reunión de departamento", "Mintegiko bilera", "Reunión dpto.",
     "Mintegi bilera"),
    ("BIB", "Atención a la biblioteca", "Liburutegiko arreta", "Biblioteca",
     "Liburutegia"),
]

# fTIPDOC.txt: COD 1, DESCCAST 2-101, DESCEUSK 102-201.
DOCUMENT_TYPES = [
    ("1", "Documento Nacional de Identidad", "Nortasun Agiri Nazionala"),
    ("2", "Número de Identidad de Extranjero", "Atzerritarraren Identitate Zenbakia"),
    ("3", "Pasaporte", "Pasaportea"),
]

# fNIVIMP.txt: COD 1-3, GRUPNIV 4-6, DESCCAST 7-106, DESCEUSK 107-206,
# DESCCASTR 207-226, DESCEUSKR 227-246.
LEVELS = [
    ("ESO", "SEC", "Educación Secundaria Obligatoria",
     "Derrigorrezko Bigarren Hezkuntza", "E.S.O.", "D.B.H."),
    ("BAC", "BAT", "Bachillerato", "Batxilergoa", "Bachillerato",
     "Batxilergoa"),
    ("FPB", "FPR", "Formación Profesional Básica",
     "Oinarrizko Lanbide Heziketa", "F.P. Básica", "Oinarrizko LH"),
]

# fIDIOMA.txt: IDIOMA 1-2, DESCCAST 3-102, DESCEUSK 103-202, DESCCASTR
# 203-206, DESCEUSKR 207-210.
LANGUAGES = [
    ("CA", "Castellano", "Gaztelania", "CAST", "GAZT"),
    ("EU", "Euskera", "Euskara", "EUSK", "EUSK"),
    ("IN", "Inglés", "Ingelesa", "INGL", "INGE"),
]

# fGRUPNIV.txt: NIVEL 1-3, DESCCAST 4-53, DESCEUSK 54-103, GRUPOPADRE
# 104-106, IDTIPTAREA 107, ORDEN 108-157.
LEVEL_GROUPS = [
    ("SEC", "Secundaria", "Bigarren Hezkuntza", "", "1", "01"),
    ("BAT", "Bachillerato", "Batxilergoa", "SEC", "1", "02"),
    ("FPR", "Formación Profesional", "Lanbide Heziketa", "", "2", "03"),
]

# fPROFES.txt: type 1, (2 not read), document type 3, document number 4-18,
# name parts 19-58, 59-98, 99-118, (119-124 not read), department 125-224.
TEACHERS = [
    ("1", "", "", "", "", "", "IES ITSASMENDI - PROFESORADO 2024"),
    ("2", "1", "10000001A", "Agirre", "Bilbao", "Carmen", "Matemáticas"),
    ("2", "1", "10000002B", "Arana", "Barrenetxea", "Cristina",
     "Matemáticas"),
    ("2", "2", "X1000003C", "Alonso", "Blanco", "César", "Inglés"),
    ("2", "1", "10000004D", "Peña", "Etxeberria", "Miren",
     "Lengua Castellana y Literatura"),
    ("2", "1", "10000005E", "Goikoetxea", "", "Jon",
     "Euskara eta Literatura"),
    ("2", "1", "10000006F", "Ñeco", "Ruiz", "Ana", "Geografía e Historia"),
    ("2", "3", "PA0000007", "Zubizarreta", "Larrañaga", "Iñaki",
     "Educación Física"),
    ("2", "1", "10000008H", "Uribe", "Otaola", "Leire",
     "Física y Química"),
    ("2", "1", "10000009J", "Martínez", "Sáez", "Begoña",
     "Biología y Geología"),
    ("2", "1", "10000010K", "Etxebarria", "Fernández", "Xabier",
     "Tecnología"),
]

CENTRE = ("019876", "2024", "1")

# fGRUPOS.txt type 2: code 2-6, alias 7-36, level 37-39, speciality 40-45,
# shift 46-47, course 48-49, (50-210 not read), pupils 211-212.
GROUPS = [
    ("00101", "1ESO A", "ESO", "", "D", "1", "24"),
    ("00102", "1ESO B", "ESO", "", "D", "1", "23"),
    ("00103", "1ESO C", "ESO", "", "D", "1", "25"),
    ("00201", "2ESO A", "ESO", "", "D", "2", "26"),
    ("00202", "2ESO B", "ESO", "", "D", "2", "22"),
    ("00301", "1BAT Ciencias", "BAC", "CIENC", "D", "1", "28"),
    ("00401", "1FPB Electricidad", "FPB", "ELEC", "T", "1", "12"),
    ("00901", "Tutoría de apoyo", "", "", "D", "1", "8"),
]


def main():
    os.makedirs(OUT, exist_ok=True)
    write("fTIPTAR.txt", [
        fixed((f, 1), (c, 3), (r, 1), (o, 1), (dc, 250), (de, 250))
        for f, c, r, o, dc, de in TASK_TYPES])
    write("fASIGNAT.txt", [
        fixed((c, 4), (dc, 100), (dcr, 20), (cc, 4), (de, 100), (der, 20),
              (ce, 4))
        for c, dc, dcr, cc, de, der, ce in SUBJECTS])
    write("fOTRACT.txt", [
        fixed((c, 3), (dc, 100), (de, 100), (dcr, 20), (der, 20))
        for c, dc, de, dcr, der in OTHER_ACTIVITIES])
    write("fTIPDOC.txt", [
        fixed((c, 1), (dc, 100), (de, 100)) for c, dc, de in DOCUMENT_TYPES])
    write("fNIVIMP.txt", [
        fixed((c, 3), (g, 3), (dc, 100), (de, 100), (dcr, 20), (der, 20))
        for c, g, dc, de, dcr, der in LEVELS])
    write("fIDIOMA.txt", [
        fixed((c, 2), (dc, 100), (de, 100), (dcr, 4), (der, 4))
        for c, dc, de, dcr, der in LANGUAGES])
    write("fGRUPNIV.txt", [
        fixed((n, 3), (dc, 50), (de, 50), (p, 3), (t, 1), (o, 50))
        for n, dc, de, p, t, o in LEVEL_GROUPS])
    write("fPROFES.txt", [
        fixed((t, 1), ("", 1), (dt, 1), (dn, 15), (p1, 40), (p2, 40),
              (p3, 20), ("", 6), (dep, 100))
        for t, dt, dn, p1, p2, p3, dep in TEACHERS])
    code, year, version = CENTRE
    write("fGRUPOS.txt",
          [fixed(("1", 1), ("", 2), (code, 6), (year, 4), (version, 1))] + [
              fixed(("2", 1), (c, 5), (a, 30), (lv, 3), (sp, 6), (sh, 2),
                    (cu, 2), ("", 161), (n.rjust(2), 2))
              for c, a, lv, sp, sh, cu, n in GROUPS])

    with open(os.path.join(BASE, "levels.csv"), "w", encoding="utf-8",
              newline="\n") as f:
        f.write("COD;ABREVCAST;ABREVEUSK\n")
        f.write("ESO;ESO;DBH\n")
        f.write("BAC;BACH;BATX\n")
        f.write("FPB;FPB;OLH\n")


if __name__ == "__main__":
    main()
