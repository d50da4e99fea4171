#!/usr/bin/python3
"""Writes an invented large school for the benchmarks and the kill test.

  make_large_school.py OUT [--teachers N] [--rows N] [--seed S]

writes into OUT:
  dae/f*.txt       the DAE files of the school (code page 1252, CR LF), as
                   examples/make_dae_files.py writes the small sample school;
  levels.csv       the level abbreviations for the level panel (--levels);
  SOLUC.DBF        a timetable solution of about N rows, written by python3-dbf
                   as the timetabling product writes it;
  SOLUC2.DBF       the same timetable a week later: some lessons moved to
                   other hours, some dropped, a few new ones, and one new
                   teacher that the teachers' file does not list (for an
                   export that keeps the codes of the one before);
  documents.csv    the documents of the teachers that the timetables name
                   and the teachers' file does not (--documents).

Everything follows from the seed: the same arguments give the same bytes
(python3-dbf stamps the date of the day into the SOLUC headers).

The abbreviations that the import gives are known in advance, so that every
SOLUC row names a teacher, group and subject that the import makes:
  - teachers: the initials of the three name parts, all different;
  - groups: the first four characters of the alias, all different;
  - subjects: the Euskera abbreviations (the import runs in EUSKERA by
    default), all different; task rows by their task code.
Two teachers of SOLUC and one more of SOLUC2 are not in the teachers' file:
the export adds them to PROFT.
"""

import argparse
import os
import random
import string
import sys

import dbf

SOLUC_SPECS = ("ASIG C(4); PROF C(4); CODGRUPO C(4); TURNO C(1); NIVEL C(5); "
               "CURSO C(3); GRUPO C(1); AULA C(4); DIA N(2,0); HORA N(2,0); "
               "SESIONES N(2,0); TAREA C(3)")

# fTIPTAR.txt: flag, code, reinforcement, other activity, descriptions.
TASK_TYPES = [
    ("1", "T01", "N", "S", "Tutoría de grupo", "Taldeko tutoretza"),
    ("1", "G01", "N", "S", "Guardia", "Zaintza"),
    ("0", "X99", "N", "N", "Tarea dada de baja", "Bajan emandako zeregina"),
    ("1", "R01", "S", "N", "Refuerzo", "Indartzea"),
    ("1", "J01", "N", "S", "Jefatura de departamento", "Mintegi burutza"),
    ("1", "B01", "N", "S", "Biblioteca", "Liburutegia"),
]
TASKS = ["T01", "G01", "R01", "J01", "B01"]

OTHER_ACTIVITIES = [
    ("GUA", "Guardia de pasillo", "Korridoreko zaintza", "Guardia", "Zaintza"),
    ("REU", "Reunión de departamento", "Mintegiko bilera", "Reunión dpto.",
     "Mintegi bilera"),
    ("BIB", "Atención a la biblioteca", "Liburutegiko arreta", "Biblioteca",
     "Liburutegia"),
]

DOCUMENT_TYPES = [
    ("1", "Documento Nacional de Identidad", "Nortasun Agiri Nazionala"),
    ("2", "Número de Identidad de Extranjero",
     "Atzerritarraren Identitate Zenbakia"),
    ("3", "Pasaporte", "Pasaportea"),
]

# level code, level group, descriptions, courses, Castellano and Euskera
# abbreviations for the level panel
LEVELS = [
    ("ESO", "SEC", "Educación Secundaria Obligatoria",
     "Derrigorrezko Bigarren Hezkuntza", "E.S.O.", "D.B.H.", 4, "ESO", "DBH"),
    ("BAC", "BAT", "Bachillerato", "Batxilergoa", "Bachillerato",
     "Batxilergoa", 2, "BACH", "BATX"),
    ("FPB", "FPR", "Formación Profesional Básica",
     "Oinarrizko Lanbide Heziketa", "F.P. Básica", "Oinarrizko LH", 2,
     "FPB", "OLH"),
    ("FGM", "FPR", "Ciclo Formativo de Grado Medio",
     "Erdi Mailako Heziketa Zikloa", "C.F. Medio", "EMHZ", 2, "CFGM", "EMHZ"),
    ("FGS", "FPR", "Ciclo Formativo de Grado Superior",
     "Goi Mailako Heziketa Zikloa", "C.F. Superior", "GMHZ", 2, "CFGS",
     "GMHZ"),
    ("EPA", "ADU", "Educación de Personas Adultas",
     "Helduen Hezkuntza", "Adultos", "Helduak", 2, "EPA", "HHEZ"),
]

LANGUAGES = [
    ("CA", "Castellano", "Gaztelania", "CAST", "GAZT"),
    ("EU", "Euskera", "Euskara", "EUSK", "EUSK"),
    ("IN", "Inglés", "Ingelesa", "INGL", "INGE"),
]

LEVEL_GROUPS = [
    ("SEC", "Secundaria", "Bigarren Hezkuntza", "", "1", "01"),
    ("BAT", "Bachillerato", "Batxilergoa", "SEC", "1", "02"),
    ("FPR", "Formación Profesional", "Lanbide Heziketa", "", "2", "03"),
    ("ADU", "Adultos", "Helduak", "", "1", "04"),
]

SUBJECT_WORDS = [
    ("Matemáticas", "Matematika"), ("Lengua", "Gaztelania"),
    ("Euskera", "Euskara"), ("Inglés", "Ingelesa"), ("Historia", "Historia"),
    ("Biología", "Biologia"), ("Física", "Fisika"), ("Química", "Kimika"),
    ("Tecnología", "Teknologia"), ("Música", "Musika"), ("Dibujo", "Marrazketa"),
    ("Filosofía", "Filosofia"), ("Economía", "Ekonomia"), ("Latín", "Latina"),
    ("Informática", "Informatika"), ("Electricidad", "Elektrizitatea"),
    ("Mecánica", "Mekanika"), ("Francés", "Frantsesa"),
]

NAME_TAILS = ["girre", "rana", "lonso", "eña", "oikoetxea", "zpeitia",
              "bilbao", "arrenetxea", "laza", "ribe", "rtiz", "áez", "ñiguez",
              "txebarria", "ernández", "arrañaga", "ubizarreta", "lberdi",
              "mezaga", "rrutia", "ndoni", "ristina", "ésar", "iren", "ker",
              "itziar", "osu", "afael", "elen", "ñaki", "avier", "orka"]

DEPARTMENTS = [w[0] for w in SUBJECT_WORDS]

# first letter of the group abbreviations of each level
LEVEL_LETTER = {"ESO": "E", "BAC": "B", "FPB": "P", "FGM": "M", "FGS": "S",
                "EPA": "A"}

DAYS = 5
HOURS = 14  # the template has 20 periods


def fixed(*fields):
    """Joins (text, width) pairs, each padded with blanks or cut to width."""
    return "".join(text[:width].ljust(width) for text, width in fields)


def write_text(folder, name, lines):
    data = "".join(line + "\r\n" for line in lines)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data.encode("cp1252"))


class School:
    def __init__(self, teachers, rows, seed):
        self.rng = random.Random(seed)
        self.seed = seed
        self.n_teachers = teachers
        self.n_rows = rows
        self.make_subjects()
        self.make_groups()
        self.make_teachers()

    def unique_code(self, taken, length, alphabet=string.ascii_uppercase):
        while True:
            code = "".join(self.rng.choice(alphabet) for _ in range(length))
            if code.upper() not in taken:
                taken.add(code.upper())
                return code

    def make_subjects(self):
        n = max(30, self.n_teachers // 4)
        taken = set(t.upper() for t in TASKS)
        self.subjects = []
        for i in range(n):
            cast, eusk = SUBJECT_WORDS[i % len(SUBJECT_WORDS)]
            course = i // len(SUBJECT_WORDS) + 1
            code = "%04d" % (100 + i)
            abrev_c = self.unique_code(set(), 4)
            abrev_e = self.unique_code(taken, 4)
            self.subjects.append((code, "%s %d" % (cast, course),
                                  "%s %d" % (cast[:15], course), abrev_c,
                                  "%s %d" % (eusk, course),
                                  "%s %d" % (eusk[:15], course), abrev_e))
        self.subject_abbrevs = [s[6] for s in self.subjects]

    def make_groups(self):
        n = max(12, self.n_teachers // 4)
        self.groups = []  # (code, alias, level, spec, shift, course, pupils)
        self.group_info = {}  # abbreviation -> TURNO, NIVEL, CURSO, GRUPO
        counters = {}
        for i in range(n):
            lv = LEVELS[i % len(LEVELS)]
            course = 1 + (i // len(LEVELS)) % lv[6]
            key = (lv[0], course)
            counters[key] = counters.get(key, 0) + 1
            num = counters[key]
            abrev = "%s%d%02d" % (LEVEL_LETTER[lv[0]], course, num)
            alias = "%s %s%d %s" % (abrev, lv[0], course, chr(64 + (num - 1) % 26 + 1))
            shift = "D" if i % 5 else "T"
            pupils = str(self.rng.randint(8, 32))
            self.groups.append(("%05d" % (1000 + i), alias, lv[0],
                                "ESP%d" % (i % 7) if i % 3 == 0 else "",
                                shift, str(course), pupils))
            self.group_info[abrev] = (shift, lv[8], str(course),
                                      str(num % 10))
        self.group_abbrevs = list(self.group_info)

    def person(self, initials):
        return [c + self.rng.choice(NAME_TAILS) for c in initials]

    def make_teachers(self):
        letters = string.ascii_uppercase
        taken = set()
        self.teachers = []  # (doc type, doc, part1, part2, part3, dept)
        for i in range(self.n_teachers):
            initials = self.unique_code(taken, 3, letters)
            p1, p2, p3 = self.person(initials)
            doc_type = "1" if i % 17 else "2"
            doc = ("%08d%s" % (10000000 + i * 7, letters[i % 23])
                   if doc_type == "1" else "X%07d%s" % (i, letters[i % 23]))
            self.teachers.append((doc_type, doc, p1, p2, p3,
                                  self.rng.choice(DEPARTMENTS)))
        self.teacher_abbrevs = [t[2][0] + t[3][0] + t[4][0]
                                for t in self.teachers]
        # teachers that the timetable names and DAE does not list
        self.missing = []
        for _ in range(3):
            self.missing.append(self.unique_code(taken, 4, letters))

    # ---- DAE files

    def write_dae(self, folder):
        os.makedirs(folder, exist_ok=True)
        write_text(folder, "fTIPTAR.txt", [
            fixed((f, 1), (c, 3), (r, 1), (o, 1), (dc, 250), (de, 250))
            for f, c, r, o, dc, de in TASK_TYPES])
        write_text(folder, "fASIGNAT.txt", [
            fixed((c, 4), (dc, 100), (dcr, 20), (cc, 4), (de, 100), (der, 20),
                  (ce, 4))
            for c, dc, dcr, cc, de, der, ce in self.subjects])
        write_text(folder, "fOTRACT.txt", [
            fixed((c, 3), (dc, 100), (de, 100), (dcr, 20), (der, 20))
            for c, dc, de, dcr, der in OTHER_ACTIVITIES])
        write_text(folder, "fTIPDOC.txt", [
            fixed((c, 1), (dc, 100), (de, 100))
            for c, dc, de in DOCUMENT_TYPES])
        write_text(folder, "fNIVIMP.txt", [
            fixed((lv[0], 3), (lv[1], 3), (lv[2], 100), (lv[3], 100),
                  (lv[4], 20), (lv[5], 20)) for lv in LEVELS])
        write_text(folder, "fIDIOMA.txt", [
            fixed((c, 2), (dc, 100), (de, 100), (dcr, 4), (der, 4))
            for c, dc, de, dcr, der in LANGUAGES])
        write_text(folder, "fGRUPNIV.txt", [
            fixed((n, 3), (dc, 50), (de, 50), (p, 3), (t, 1), (o, 50))
            for n, dc, de, p, t, o in LEVEL_GROUPS])
        write_text(folder, "fPROFES.txt", [
            fixed(("1", 1), ("", 1), ("", 1), ("", 15), ("", 40), ("", 40),
                  ("", 20), ("", 6), ("IES ARGIZAI - PROFESORADO", 100))] + [
            fixed(("2", 1), ("", 1), (dt, 1), (dn, 15), (p1, 40), (p2, 40),
                  (p3, 20), ("", 6), (dep, 100))
            for dt, dn, p1, p2, p3, dep in self.teachers])
        write_text(folder, "fGRUPOS.txt",
                   [fixed(("1", 1), ("", 2), ("%06d" % (10000 + self.seed % 90000), 6),
                          ("2025", 4), ("1", 1))] + [
                       fixed(("2", 1), (c, 5), (a, 30), (lv, 3), (sp, 6),
                             (sh, 2), (cu, 2), ("", 161), (n.rjust(2), 2))
                       for c, a, lv, sp, sh, cu, n in self.groups])

    def write_levels(self, path):
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            f.write("COD;ABREVCAST;ABREVEUSK\n")
            for lv in LEVELS:
                f.write("%s;%s;%s\n" % (lv[0], lv[7], lv[8]))

    def write_documents(self, path):
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            f.write("ABREV;TIPODNI;DNI\n")
            for i, abrev in enumerate(self.missing):
                f.write("%s;1;%08dZ\n" % (abrev, 90000000 + i))

    # ---- timetable

    def lesson(self, prof, day, hour):
        rng = self.rng
        r = rng.random()
        if r < 0.06:  # a task without group: guard, department meeting
            task = rng.choice(TASKS[1:])
            return (task, prof, "", "", day, hour, 1, task)
        group = rng.choice(self.group_abbrevs)
        if r < 0.10:  # tutoring or reinforcement of a group
            task = rng.choice(("T01", "R01"))
            return (task, prof, group, "T%02d" % rng.randint(1, 40), day,
                    hour, 1, task)
        sessions = 2 if r > 0.97 and hour < HOURS else 1
        return (rng.choice(self.subject_abbrevs), prof, group,
                "A%03d" % rng.randint(1, 300), day, hour, sessions, "")

    def timetable(self):
        """The lessons of SOLUC, in the order the product writes them."""
        profs = self.teacher_abbrevs[:] + self.missing[:2]
        per = max(1, self.n_rows // len(profs))
        slots = [(d, h) for d in range(1, DAYS + 1) for h in range(1, HOURS + 1)]
        lessons = []
        for prof in profs:
            chosen = self.rng.sample(slots, min(per, len(slots)))
            for day, hour in chosen:
                lessons.append(self.lesson(prof, day, hour))
            # a few sessions with two groups at once
            for day, hour in chosen[:max(1, per // 20)]:
                lessons.append(self.lesson(prof, day, hour))
        while len(lessons) > self.n_rows:
            lessons.pop(self.rng.randrange(len(lessons)))
        # lessons not placed yet (DIA 0) and a row without teacher
        for i in range(3):
            l = list(self.lesson(self.teacher_abbrevs[i], 1, 1))
            l[4] = 0
            lessons.insert(self.rng.randrange(len(lessons)), tuple(l))
        l = list(self.lesson("", 2, 2))
        lessons.insert(self.rng.randrange(len(lessons)), tuple(l))
        return lessons

    def next_week(self, lessons):
        """The timetable a week later: moved, dropped and new lessons."""
        out = []
        for l in lessons:
            r = self.rng.random()
            if r < 0.03:
                continue  # dropped
            if r < 0.08 and l[4]:
                l = list(l)
                l[5] = self.rng.randint(1, HOURS)  # moved to another hour
                l = tuple(l)
            out.append(l)
        for _ in range(len(lessons) // 100):
            prof = self.rng.choice(self.teacher_abbrevs)
            out.insert(self.rng.randrange(len(out)),
                       self.lesson(prof, self.rng.randint(1, DAYS),
                                   self.rng.randint(1, HOURS)))
        # one lesson of a teacher that nobody has seen before
        l = list(self.lesson(self.missing[2], 3, 3))
        out.append(tuple(l))
        return out

    def row(self, lesson):
        asig, prof, grupo, aula, dia, hora, ses, tarea = lesson
        turno, nivel, curso, num = self.group_info.get(grupo, ("", "", "", ""))
        return {"asig": asig, "prof": prof, "codgrupo": grupo, "turno": turno,
                "nivel": nivel, "curso": curso, "grupo": num, "aula": aula,
                "dia": dia, "hora": hora, "sesiones": ses, "tarea": tarea}

    def write_soluc(self, path, lessons):
        for p in (path, os.path.splitext(path)[0] + ".MDX"):
            if os.path.exists(p):
                os.remove(p)
        table = dbf.Table(path, SOLUC_SPECS, dbf_type="db3", codepage="cp1252")
        table.open(mode=dbf.READ_WRITE)
        try:
            deleted_every = 997
            for i, lesson in enumerate(lessons):
                table.append(self.row(lesson))
                if i % deleted_every == 500:  # a row the product deleted
                    table.append(self.row(self.lesson(lesson[1], 5, 13)))
                    dbf.delete(table[-1])
        finally:
            table.close()


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("out")
    ap.add_argument("--teachers", type=int, default=300)
    ap.add_argument("--rows", type=int, default=20000)
    ap.add_argument("--seed", type=int, default=20251)
    a = ap.parse_args(argv)
    school = School(a.teachers, a.rows, a.seed)
    os.makedirs(a.out, exist_ok=True)
    school.write_dae(os.path.join(a.out, "dae"))
    school.write_levels(os.path.join(a.out, "levels.csv"))
    school.write_documents(os.path.join(a.out, "documents.csv"))
    week1 = school.timetable()
    week2 = school.next_week(week1)
    school.write_soluc(os.path.join(a.out, "SOLUC.DBF"), week1)
    school.write_soluc(os.path.join(a.out, "SOLUC2.DBF"), week2)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
