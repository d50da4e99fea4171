#!/usr/bin/python3
"""Kills real imports and exports at random moments and checks the tables.

  kill_test.py --cli build/transdae-cli [--kills 50] [--restore-kills 30]
               [--seed 7301] [--teachers 120] [--rows 6000]
               [--phase import|export|restore|both|all] [--keep]

Three runs of the batch front end are killed (SIGKILL) again and again:
  - an import of an invented large school (bench/make_large_school.py) over
    the tables of another, smaller school imported before, with the
    timetabling product's ASIGT and DIASHORAT beside them;
  - an export that keeps the codes of the export before it, of the same
    timetable a week later (lessons moved, dropped and added, and a teacher
    missing from PROFT), typing that teacher's document in the coding
    window;
  - a restore that puts back the copy that import made of the other
    school's tables (transdae-cli restore --from N).
The moments are spread over the length of an uninterrupted run, measured
first; every other kill is aimed instead at a moment when a watched
uninterrupted run was seen changing its files (a new file, a size or a
time that changed), so that short bursts of writing, such as a commit, get
their share of kills. After every kill:
  1. every table of the work folder is opened by our engine (transdae-cli
     show), which is where an interrupted change is undone;
  2. then each table is read by python3-dbf (tests/tools/dbf_dump.py) and
     each tag of its production index is walked to its end by Perl XBase
     (tests/tools/mdx_walk.pl): one entry per record, keys in order, each
     key equal to its record's field;
  3. the records of each table (the bytes of the field descriptors and of
     every record, deletion flag included; not the header's date) must equal
     one of the table's states that an uninterrupted run goes through: the
     state before the run, after each step, or, for tables that the panels
     and the coding window change record by record, any mixture of the
     records before and after that window;
  4. the same run is started again: it must end well and leave every table,
     the list of files and fCUADROS.txt exactly as an uninterrupted run does.
For the restore, a whole step, the tables it puts back must all be in the
state before it or all in the state after it (never some of each), and the
copies offered must be those before it, plus its safety copy only when the
tables are those after it.

Before the kills, the checks are tried on the states of the uninterrupted
runs (each must pass) and on a table cut to half its records (it must not).

The states are taken from uninterrupted runs made first (the import without
the level panel's abbreviations gives the state before the panel; the
export without the documents gives the state before the coding window).

Exit status 0 when every check passed, 1 when a check failed (each failure
says which kill, which table and which state), 2 when the set-up failed.
"""

import argparse
import contextlib
import hashlib
import importlib.util
import io
import os
import random
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
PYTHON = "/usr/bin/python3"
MDX_WALK = os.path.join(ROOT, "tests", "tools", "mdx_walk.pl")
MAKE_SCHOOL = os.path.join(ROOT, "bench", "make_large_school.py")

# Tags of the tables that have a production index (each on the field of its
# name; names are cut to the ten characters of a dBase field name).
TAGS = {
    "PROFT": ["ABREV"],
    "PLANTILLA": ["HORA"],
    "CUADROH2": ["ABREVPROF", "DOC", "PROF_DIA_S", "DIA_SES"],
    "CUADROH3": ["ABREVPROF", "DOC", "PROF_DIA_S"],
}

PHASE_NAMES = {"import": "importación", "export": "exportación",
               "restore": "restauración"}

# Tables that a window changes record by record (each Post on its own):
# which phase, which table.
POSTED = {
    "import": {"DAENIVIMP", "DAECENTRO"},
    "export": {"PROFT", "CUADROH2", "CUADROH3", "DAECENTRO"},
}


def load_dbf_dump():
    spec = importlib.util.spec_from_file_location(
        "dbf_dump", os.path.join(ROOT, "tests", "tools", "dbf_dump.py"))
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    return mod


DBF_DUMP = load_dbf_dump()


class SetupError(Exception):
    pass


# ---------------------------------------------------------------- files

def table_files(folder):
    """Upper-case table name -> (DBF path, MDX path or None), COPIAS aside."""
    dbfs, mdxs = {}, {}
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            continue
        base, ext = os.path.splitext(name)
        if ext.upper() == ".DBF":
            dbfs[base.upper()] = path
        elif ext.upper() == ".MDX":
            mdxs[base.upper()] = path
    return {t: (p, mdxs.get(t)) for t, p in dbfs.items()}


def listing(folder):
    """Every file and folder under the work folder but COPIAS, upper case."""
    out = []
    for dirpath, dirnames, filenames in os.walk(folder):
        rel = os.path.relpath(dirpath, folder)
        if rel == ".":
            dirnames[:] = [d for d in dirnames if d.upper() != "COPIAS"]
        for n in dirnames + filenames:
            out.append(os.path.normpath(os.path.join(rel, n)).upper())
    return sorted(out)


class Records:
    """What a table holds: its field descriptors and its records, as bytes."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        if len(data) < 32:
            raise ValueError("cabecera incompleta (%d bytes)" % len(data))
        self.count, self.header_len, self.rec_len = struct.unpack_from(
            "<IHH", data, 4)
        if self.header_len < 33 or self.rec_len < 1:
            raise ValueError("cabecera no válida")
        self.descriptors = data[32:self.header_len]
        end = self.header_len + self.count * self.rec_len
        if len(data) < end:
            raise ValueError(
                "la cabecera dice %d registros y el archivo tiene sitio para %d"
                % (self.count, (len(data) - self.header_len) // self.rec_len))
        self.records = [data[self.header_len + i * self.rec_len:
                             self.header_len + (i + 1) * self.rec_len]
                        for i in range(self.count)]
        # field name -> (offset in the record, length, type)
        self.fields = {}
        off = 1
        for i in range(0, len(self.descriptors) - 31, 32):
            d = self.descriptors[i:i + 32]
            if d[0] == 0x0D:
                break
            name = d[:11].split(b"\0")[0].decode("ascii", "replace").upper()
            self.fields[name] = (off, d[16], chr(d[11]))
            off += d[16]

    def live(self):
        return [r for r in self.records if r[:1] != b"*"]

    def key(self):
        return (self.descriptors, tuple(self.records))

    def describe(self):
        return "%d registros (%d vivos)" % (self.count, len(self.live()))


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a.records, b.records)):
        if x != y:
            return "el registro %d difiere" % (i + 1)
    if a.descriptors != b.descriptors:
        return "los campos difieren"
    return "difiere el número de registros"


# ---------------------------------------------------------------- states

class TableState:
    """One state of one table: absent, or its records and its index flag."""

    def __init__(self, folder, name):
        files = table_files(folder).get(name)
        if files is None:
            self.present = False
            return
        self.present = True
        self.records = Records(files[0])
        self.has_mdx = files[1] is not None

    def same(self, other):
        if self.present != other.present:
            return False
        if not self.present:
            return True
        return (self.has_mdx == other.has_mdx and
                self.records.key() == other.records.key())

    def describe(self):
        if not self.present:
            return "ausente"
        return self.records.describe() + (" con índice" if self.has_mdx else "")


def mixture_of(state, before, after):
    """Whether each record is the one before or the one after (same count)."""
    if not (state.present and before.present and after.present):
        return False
    s, b, a = state.records, before.records, after.records
    if not (s.descriptors == b.descriptors == a.descriptors):
        return False
    if not (s.count == b.count == a.count):
        return False
    return all(x == y or x == z for x, y, z in zip(s.records, b.records,
                                                   a.records))


class Phase:
    """The states an uninterrupted run takes each table through."""

    def __init__(self, name, snapshots, labels):
        self.name = name
        self.snapshots = snapshots
        self.labels = labels
        self.tables = set()
        for snap in snapshots:
            self.tables.update(table_files(snap).keys())
        self.states = {t: [TableState(s, t) for s in snapshots]
                       for t in self.tables}
        self.final_listing = listing(snapshots[-1])

    def classify(self, table, state):
        """The label of the state the table is in, or None."""
        seq = self.states[table]
        for label, s in zip(self.labels, seq):
            if state.same(s):
                return label
        if table in POSTED.get(self.name, ()):
            # the window's transition is the last one
            if mixture_of(state, seq[-2], seq[-1]):
                return "mezcla de registros %s/%s" % (self.labels[-2],
                                                      self.labels[-1])
        return None

    def expected_text(self, table):
        return "; ".join("%s: %s" % (l, s.describe())
                         for l, s in zip(self.labels, self.states[table]))


# ---------------------------------------------------------------- readers

class Readers:
    def __init__(self, cli):
        self.cli = cli
        self.verified = {}  # hash of the files -> None or failure text

    def show(self, folder, table):
        r = subprocess.run([self.cli, "show", table, "--work", folder],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if r.returncode != 0:
            return ("transdae-cli show %s termina con %d: %s" % (
                table, r.returncode,
                (r.stderr or r.stdout).decode("utf-8", "replace").strip()[-300:]))
        return None

    def python_dbf(self, path, records):
        out = io.StringIO()
        try:
            with contextlib.redirect_stdout(out):
                DBF_DUMP.dump(path)
        except Exception as exc:  # what python3-dbf says is the finding
            return "python3-dbf no lo lee: %s: %s" % (type(exc).__name__, exc)
        rows = out.getvalue().count("\n") - 1
        if rows != len(records.live()):
            return ("python3-dbf lee %d filas y hay %d registros vivos"
                    % (rows, len(records.live())))
        return None

    def walk(self, path, tag):
        r = subprocess.run(["perl", MDX_WALK, path, tag],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if r.returncode != 0:
            return None, ("Perl XBase no recorre la etiqueta %s (salida %d): %s"
                          % (tag, r.returncode,
                             r.stderr.decode("utf-8", "replace").strip()[-300:]))
        entries = []
        for line in r.stdout.split(b"\n"):
            if line:
                recno, _, key = line.partition(b"|")
                entries.append((int(recno), key))
        return entries, None

    def check_index(self, table, path, records):
        for tag in TAGS.get(table, []):
            entries, err = self.walk(path, tag)
            if err:
                return err
            field = tag[:10]
            if field not in records.fields:
                return "la tabla no tiene el campo %s de la etiqueta" % field
            off, length, ftype = records.fields[field]
            recnos = [e[0] for e in entries]
            live = [i + 1 for i, r in enumerate(records.records)
                    if r[:1] != b"*"]
            every = list(range(1, records.count + 1))
            # dBase keeps or drops the keys of deleted records: either will do
            if sorted(recnos) not in (live, every):
                return ("la etiqueta %s tiene %d entradas y la tabla %d "
                        "registros, %d vivos" % (tag, len(recnos), records.count,
                                                 len(live)))
            prev = None
            for recno, key in entries:
                raw = records.records[recno - 1][off:off + length]
                if ftype in "NF":
                    try:
                        ok = float(key) == (float(raw.strip() or b"0"))
                    except ValueError:
                        ok = False
                    sort_key = float(key) if ok else 0.0
                else:
                    ok = raw.rstrip(b" ") == key
                    sort_key = key
                if not ok:
                    return ("la etiqueta %s da la clave %r al registro %d, "
                            "que tiene %r" % (tag, key, recno, raw))
                if prev is not None and sort_key < prev:
                    return "las claves de la etiqueta %s no están en orden" % tag
                prev = sort_key
        return None

    def check(self, table, files):
        """Python3-dbf and the tag walks on one table; None when fine."""
        dbf_path, mdx_path = files
        h = hashlib.sha1()
        for p in (dbf_path, mdx_path):
            if p:
                with open(p, "rb") as f:
                    h.update(f.read())
            h.update(b"|")
        digest = h.hexdigest()
        if digest in self.verified:
            return self.verified[digest]
        try:
            records = Records(dbf_path)
        except ValueError as exc:
            result = "cabecera: %s" % exc
        else:
            result = self.python_dbf(dbf_path, records)
            if result is None and table in TAGS:
                if mdx_path is None:
                    result = "falta el índice .MDX"
                else:
                    result = self.check_index(table, dbf_path, records)
        self.verified[digest] = result
        return result


# ---------------------------------------------------------------- runs

def run(cmd, what, ok_codes=(0,)):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode not in ok_codes:
        raise SetupError("%s: %s terminó con %d\n%s%s" % (
            what, " ".join(cmd), r.returncode,
            r.stdout.decode("utf-8", "replace")[-2000:],
            r.stderr.decode("utf-8", "replace")[-2000:]))
    return r


def restore(snapshot, folder):
    if os.path.exists(folder):
        shutil.rmtree(folder)
    shutil.copytree(snapshot, folder)


def write_product_table(path, specs, rows):
    import dbf
    t = dbf.Table(path, specs, dbf_type="db3", codepage="cp1252")
    t.open(mode=dbf.READ_WRITE)
    try:
        for r in rows:
            t.append(r)
    finally:
        t.close()


class KillTest:
    def __init__(self, a):
        self.a = a
        self.cli = os.path.abspath(a.cli)
        self.tmp = tempfile.mkdtemp(prefix="transdae-kill-")
        self.readers = Readers(self.cli)
        self.failures = []
        self.by_table = {}  # (run, table) -> the kills after which it failed
        self.failed_kills = set()
        self.notes = []
        self.durations = []  # of the uninterrupted runs after the kills

    def path(self, *parts):
        return os.path.join(self.tmp, *parts)

    def snapshot(self, folder, name):
        dest = self.path("states", name)
        shutil.copytree(folder, dest)
        return dest

    # -- set-up: the schools and the states of uninterrupted runs
    def setup(self):
        a = self.a
        run([PYTHON, MAKE_SCHOOL, self.path("school"), "--teachers",
             str(a.teachers), "--rows", str(a.rows), "--seed", str(a.seed)],
            "escuela grande")
        run([PYTHON, MAKE_SCHOOL, self.path("old"), "--teachers",
             str(max(10, a.teachers // 4)), "--rows", "200", "--seed",
             str(a.seed + 1)], "escuela anterior")
        self.dae = self.path("school", "dae")
        work = self.path("work")
        cli = self.cli
        # Before the import: another school's tables and the product's own.
        run([cli, "import", "--dae", self.path("old", "dae"), "--work", work,
             "--levels", self.path("old", "levels.csv")], "importación anterior")
        write_product_table(os.path.join(work, "ASIGT.DBF"),
                            "ASIG C(4); HORAS N(2,0)",
                            [{"asig": "XYZW", "horas": 3}])
        write_product_table(os.path.join(work, "DIASHORAT.DBF"),
                            "DIA N(2,0); HORA N(2,0)",
                            [{"dia": d, "hora": h} for d in range(1, 6)
                             for h in range(1, 7)])
        imp_before = self.snapshot(work, "import-before")
        self.import_cmd = [cli, "import", "--dae", self.dae, "--work", work,
                           "--levels", self.path("school", "levels.csv")]
        # After the steps, before the level panel's abbreviations.
        restore(imp_before, work)
        run([cli, "import", "--dae", self.dae, "--work", work],
            "importación sin abreviaturas")
        imp_steps = self.snapshot(work, "import-steps")
        restore(imp_before, work)
        t0 = time.perf_counter()
        run(self.import_cmd, "importación")
        t1 = time.perf_counter()
        imp_after = self.snapshot(work, "import-after")
        self.import_phase = Phase("import", [imp_before, imp_steps, imp_after],
                                  ["antes", "tras los pasos", "después"])

        # The restore of the copy that import made (the other school's
        # tables), over the tables it wrote.
        self.copies_before_restore = self.offered_copies(imp_after)
        if not self.copies_before_restore:
            raise SetupError("la importación no dejó ninguna copia")
        self.restore_cmd = [cli, "restore", "--from",
                            self.copies_before_restore[-1][:6], "--work", work]
        restore(imp_after, work)
        run(self.restore_cmd, "restauración")
        res_after = self.snapshot(work, "restore-after")
        self.restore_phase = Phase("restore", [imp_after, res_after],
                                   ["antes", "después"])
        self.restored_tables = sorted(
            t for t in self.restore_phase.tables
            if not self.restore_phase.states[t][0].same(
                self.restore_phase.states[t][1]))
        if len(self.restored_tables) < 3:
            raise SetupError("la restauración solo cambia %s"
                             % self.restored_tables)
        restore(imp_after, work)

        # The export before: fresh, of the first week, documents typed.
        shutil.copyfile(self.path("school", "SOLUC.DBF"),
                        os.path.join(work, "SOLUC.DBF"))
        run([cli, "export", "--dae", self.dae, "--work", work, "--fresh",
             "--documents", self.path("school", "documents.csv")],
            "exportación anterior")
        # The timetable of the week after, for the export that keeps codes.
        shutil.copyfile(self.path("school", "SOLUC2.DBF"),
                        os.path.join(work, "SOLUC.DBF"))
        exp_before = self.snapshot(work, "export-before")
        self.cuadros_before = self.read_cuadros()
        shutil.copytree(self.dae, self.path("dae-before"))
        # After the expansion, before the coding window.
        run([cli, "export", "--dae", self.dae, "--work", work], "exportación "
            "sin documentos", ok_codes=(0, 1, 3))
        exp_steps = self.snapshot(work, "export-steps")
        restore(exp_before, work)
        self.restore_dae()
        self.export_cmd = [cli, "export", "--dae", self.dae, "--work", work,
                           "--documents", self.path("school", "documents.csv")]
        t2 = time.perf_counter()
        run(self.export_cmd, "exportación conservando los códigos")
        t3 = time.perf_counter()
        exp_after = self.snapshot(work, "export-after")
        self.cuadros_after = self.read_cuadros()
        if self.cuadros_after == self.cuadros_before:
            raise SetupError("la exportación conservando los códigos no "
                             "cambió fCUADROS.txt")
        self.export_phase = Phase("export", [exp_before, exp_steps, exp_after],
                                  ["antes", "tras la expansión", "después"])
        self.snapshots = {"import": imp_before, "export": exp_before,
                          "restore": imp_after}

        # The readers on the reference states (they must accept them).
        for phase in (self.import_phase, self.export_phase, self.restore_phase):
            for snap in phase.snapshots:
                for table, files in sorted(table_files(snap).items()):
                    err = self.readers.check(table, files)
                    if err:
                        raise SetupError("estado de referencia %s, tabla %s: %s"
                                         % (snap, table, err))
        for phase in (self.import_phase, self.export_phase, self.restore_phase):
            changing = [t for t in sorted(phase.tables)
                        if not all(s.same(phase.states[t][0])
                                   for s in phase.states[t])]
            print("%s: tablas que cambian: %s" % (
                PHASE_NAMES[phase.name].capitalize(), ", ".join(changing)))
        return t1 - t0, t3 - t2

    @staticmethod
    def offered_copies(folder):
        """The copy folders of COPIAS that a restore may put back: those
        whose COPIA.TXT is the tool's and is not a pending safety copy."""
        root = os.path.join(folder, "COPIAS")
        out = []
        if not os.path.isdir(root):
            return out
        for name in sorted(os.listdir(root)):
            m = os.path.join(root, name, "COPIA.TXT")
            if not os.path.isfile(m):
                continue
            with open(m, "rb") as f:
                lines = f.read().decode("utf-8", "replace").split("\n")
            if lines and lines[0].startswith("transdae: copia") and \
                    "pendiente" not in lines:
                out.append(name)
        return out

    def read_cuadros(self):
        p = os.path.join(self.dae, "fCUADROS.txt")
        if not os.path.exists(p):
            return None
        with open(p, "rb") as f:
            return f.read()

    def restore_dae(self):
        shutil.rmtree(self.dae)
        shutil.copytree(self.path("dae-before"), self.dae)

    def calibrate(self, phase, cmd):
        times = []
        for _ in range(3):
            self.prepare(phase)
            t0 = time.perf_counter()
            r = subprocess.run(cmd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
            times.append(time.perf_counter() - t0)
            if r.returncode != 0:
                raise SetupError("la ejecución de calibrado terminó con %d"
                                 % r.returncode)
        times.sort()
        return times[1]

    def watch(self, phase, cmd):
        """When the files change during one uninterrupted run: the moments,
        as fractions of the run's length, at which a poll of the work folder
        (and the DAE folder) saw a file appear, go or change size or time."""
        folders = [self.path("work")] + ([self.dae] if phase == "export" else [])

        def look():
            seen = set()
            for folder in folders:
                try:
                    with os.scandir(folder) as it:
                        for e in it:
                            try:
                                st = e.stat(follow_symlinks=False)
                            except FileNotFoundError:
                                continue
                            seen.add((e.name, st.st_size, st.st_mtime_ns))
                except FileNotFoundError:
                    pass
            return seen

        self.prepare(phase)
        moments = []
        before = look()
        t0 = time.perf_counter()
        p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        while p.poll() is None:
            now = look()
            if now != before:
                moments.append(time.perf_counter() - t0)
                before = now
            time.sleep(0.0005)
        length = time.perf_counter() - t0
        # one moment per hundredth of the run, so that a long burst of
        # writes does not crowd out a short one
        return sorted({round(m / length, 2) for m in moments if m < length})

    def prepare(self, phase):
        restore(self.snapshots[phase], self.path("work"))
        if phase == "export":
            self.restore_dae()

    # -- one kill
    def fail(self, where, text, table=None):
        self.failures.append("%s: %s" % (where, text))
        self.failed_kills.add(where)
        if table:
            key = (where.split(",")[0], table)
            self.by_table.setdefault(key, set()).add(where)

    def one_kill(self, phase_name, phase, cmd, number, delay):
        work = self.path("work")
        self.prepare(phase_name)
        p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        time.sleep(delay)
        landed = p.poll() is None
        if landed:
            p.send_signal(signal.SIGKILL)
        p.wait()
        where = "%s, muerte %d (a los %.3f s)" % (
            PHASE_NAMES[phase_name], number, delay)
        if not landed:
            if p.returncode != 0:
                self.fail(where, "la ejecución terminó sola, antes de la "
                          "muerte, con %d" % p.returncode)
            return False
        self.check_after(where, phase_name, phase, cmd)
        return True

    def check_after(self, where, phase_name, phase, cmd):
        """The checks on the work folder as a killed run left it."""
        work = self.path("work")
        # 1. our engine opens every table first
        present = table_files(work)
        unknown = sorted(set(present) - phase.tables)
        if unknown:
            self.notes.append("%s: archivos de tabla que ninguna ejecución "
                              "completa deja: %s" % (where, ", ".join(unknown)))
        for table in sorted(set(present) & phase.tables):
            err = self.readers.show(work, os.path.splitext(
                os.path.basename(present[table][0]))[0])
            if err:
                self.fail(where, "tabla %s: no se abre con nuestro motor: %s"
                          % (table, err), table)
        # 2 and 3. the other readers, and the state of each table
        present = table_files(work)
        for table in sorted(phase.tables):
            if table in present:
                err = self.readers.check(table, present[table])
                if err:
                    self.fail(where, "tabla %s: %s" % (table, err), table)
                try:
                    state = TableState(work, table)
                except ValueError as exc:
                    self.fail(where, "tabla %s: %s" % (table, exc), table)
                    continue
            else:
                state = TableState(work, table)
            label = phase.classify(table, state)
            if label is None:
                seq = phase.states[table]
                detail = ""
                if state.present and seq[0].present and seq[-1].present:
                    detail = " (frente al estado anterior: %s; frente al " \
                             "posterior: %s)" % (
                                 first_difference(state.records, seq[0].records),
                                 first_difference(state.records, seq[-1].records))
                self.fail(where, "tabla %s: no está en ningún estado de una "
                          "ejecución completa: %s%s; esperado %s" % (
                              table, state.describe(), detail,
                              phase.expected_text(table)), table)
        if phase_name == "restore":
            self.check_restore_whole(where, phase)
        if phase_name == "export":
            c = self.read_cuadros()
            if c not in (self.cuadros_before, self.cuadros_after):
                self.notes.append("%s: fCUADROS.txt a medio escribir (%s bytes)"
                                  % (where, "ausente" if c is None else len(c)))

        # 4. the next run, and its result
        t0 = time.perf_counter()
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.durations.append(time.perf_counter() - t0)
        if r.returncode != 0:
            self.fail(where, "la ejecución siguiente termina con %d: %s" % (
                r.returncode,
                r.stdout.decode("utf-8", "replace").strip()[-400:]))
            return
        final = phase.labels[-1]
        for table in sorted(phase.tables):
            try:
                state = TableState(work, table)
            except ValueError as exc:
                self.fail(where, "tras la ejecución siguiente, tabla %s: %s"
                          % (table, exc))
                continue
            if not state.same(phase.states[table][-1]):
                self.fail(where, "tras la ejecución siguiente, la tabla %s no "
                          "es la de una ejecución completa: %s; esperado %s: %s"
                          % (table, state.describe(), final,
                             phase.states[table][-1].describe()))
            elif state.present:
                err = self.readers.check(table, table_files(work)[table])
                if err:
                    self.fail(where, "tras la ejecución siguiente, tabla %s: %s"
                              % (table, err))
        got = listing(work)
        if got != phase.final_listing:
            extra = sorted(set(got) - set(phase.final_listing))
            missing = sorted(set(phase.final_listing) - set(got))
            self.fail(where, "tras la ejecución siguiente, los archivos de la "
                      "carpeta de trabajo difieren: de más %s, de menos %s"
                      % (extra, missing))
        if phase_name == "export" and self.read_cuadros() != self.cuadros_after:
            self.fail(where, "tras la ejecución siguiente, fCUADROS.txt no es "
                      "el de una ejecución completa")

    def check_restore_whole(self, where, phase):
        """A restore is one step: every table it puts back before, or every
        one after; its safety copy offered only when it changed them."""
        work = self.path("work")
        labels = {}
        for table in self.restored_tables:
            labels[table] = phase.classify(table, TableState(work, table))
        seen = set(labels.values())
        if len(seen) != 1 or None in seen:
            self.fail(where, "la restauración ha quedado a medias: %s" % ", ".join(
                "%s %s" % (t, l or "en otro estado") for t, l in sorted(labels.items())))
            return
        copies = self.offered_copies(work)
        before = self.copies_before_restore
        label = seen.pop()
        if label == phase.labels[0]:
            if copies != before:
                self.fail(where, "las tablas están como antes de la restauración, "
                          "pero las copias ofrecidas son %s y no %s" % (copies, before))
        else:
            new = [c for c in copies if c not in before]
            if len(new) != 1 or len(copies) < len(before):
                self.fail(where, "las tablas están restauradas, pero las copias "
                          "ofrecidas son %s (antes %s): falta la copia de seguridad "
                          "o sobra alguna" % (copies, before))

    def self_check(self):
        """The checks themselves: every state of an uninterrupted run passes
        them, and a table cut in half does not. Run before any kill, so that
        what the kills show is the engine's doing, not the checks'."""
        saved = (self.failures, self.by_table, set(self.failed_kills))
        phases = [("import", self.import_phase, self.import_cmd),
                  ("export", self.export_phase, self.export_cmd),
                  ("restore", self.restore_phase, self.restore_cmd)]
        try:
            for phase_name, phase, cmd in phases:
                for label, snap in zip(phase.labels, phase.snapshots):
                    self.failures, self.by_table = [], {}
                    self.prepare(phase_name)
                    restore(snap, self.path("work"))
                    self.check_after("autocomprobación", phase_name, phase, cmd)
                    if self.failures:
                        raise SetupError(
                            "el estado «%s» de una ejecución completa no pasa "
                            "las comprobaciones:\n%s" % (
                                label, "\n".join(self.failures)))
                # the table that changes most, cut to half its records
                table = max((t for t in phase.tables
                             if phase.states[t][-1].present and
                             phase.states[t][0].present and
                             not phase.states[t][0].same(phase.states[t][-1])),
                            key=lambda t: phase.states[t][-1].records.count)
                self.failures, self.by_table = [], {}
                self.prepare(phase_name)
                dbf_path = table_files(self.path("work"))[table][0]
                after = phase.states[table][-1].records
                half = after.count // 2
                with open(dbf_path, "r+b") as f:
                    header = bytearray(f.read(after.header_len))
                header[4:8] = struct.pack("<I", half)
                with open(dbf_path, "wb") as f:
                    f.write(bytes(header[:32]) + after.descriptors)
                    f.write(b"".join(after.records[:half]) + b"\x1a")
                self.check_after("autocomprobación", phase_name, phase, cmd)
                if not any(table in f for f in self.failures):
                    raise SetupError("la tabla %s cortada a %d registros pasa "
                                     "las comprobaciones" % (table, half))
        finally:
            self.failures, self.by_table, self.failed_kills = saved

    def kill_series(self, phase_name, phase, cmd, duration, rng, writes):
        """At least the asked number of kills that land inside the run: every
        other one in its slice of the run's length, the others at moments
        when the files were seen changing."""
        n = self.a.restore_kills if phase_name == "restore" else self.a.kills
        landed = attempts = 0
        start = len(self.failures)
        failed_before = len(self.failed_kills)
        # A run that ends before its kill is tried again sooner: on a loaded
        # machine the length of runs changes from one to the next.
        limit = n * 4
        missed = 0
        self.durations = [duration]
        while landed < n and attempts < limit:
            # spread over the run, a little jitter inside each slice; the
            # length of a run is followed as the machine's load changes
            duration = statistics.median(self.durations[-5:])
            k = landed
            slice_len = 0.95 * duration / n
            if k % 2 and writes:
                frac = rng.choice(writes) + rng.uniform(-0.01, 0.005)
                delay = max(0.0005, frac * duration)
            else:
                delay = 0.01 * duration + slice_len * (k + rng.random())
            delay *= 0.7 ** missed
            attempts += 1
            if self.one_kill(phase_name, phase, cmd, attempts, delay):
                landed += 1
                missed = 0
            else:
                missed += 1
        print("%s: %d muertes dentro de la ejecución (%d intentos); %d de "
              "ellas con fallos, %d fallos en total"
              % (PHASE_NAMES[phase_name].capitalize(), landed, attempts, len(self.failed_kills) - failed_before,
                 len(self.failures) - start))
        if landed < n:
            self.fail(phase_name, "solo %d de las %d muertes cayeron dentro de "
                      "la ejecución" % (landed, n))

    def main(self):
        t_imp, t_exp = self.setup()
        d_imp = self.calibrate("import", self.import_cmd)
        d_exp = self.calibrate("export", self.export_cmd)
        d_res = self.calibrate("restore", self.restore_cmd)
        print("Duración sin interrupción: importación %.3f s, exportación "
              "%.3f s, restauración %.3f s" % (d_imp, d_exp, d_res))
        self.self_check()
        print("Autocomprobación: los estados de una ejecución completa pasan "
              "las comprobaciones y una tabla cortada no")
        w_imp = self.watch("import", self.import_cmd)
        w_exp = self.watch("export", self.export_cmd)
        w_res = self.watch("restore", self.restore_cmd)
        print("Momentos con escrituras vistas (centésimas de la ejecución): "
              "importación %d, exportación %d, restauración %d"
              % (len(w_imp), len(w_exp), len(w_res)))
        rng = random.Random(self.a.seed)
        if self.a.phase in ("import", "both", "all"):
            self.kill_series("import", self.import_phase, self.import_cmd,
                             d_imp, rng, w_imp)
        if self.a.phase in ("export", "both", "all"):
            self.kill_series("export", self.export_phase, self.export_cmd,
                             d_exp, rng, w_exp)
        if self.a.phase in ("restore", "all"):
            self.kill_series("restore", self.restore_phase, self.restore_cmd,
                             d_res, rng, w_res)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--cli", required=True)
    ap.add_argument("--kills", type=int,
                    default=int(os.environ.get("TRANSDAE_KILLS", "50")))
    ap.add_argument("--restore-kills", type=int,
                    default=int(os.environ.get("TRANSDAE_RESTORE_KILLS", "30")))
    ap.add_argument("--seed", type=int,
                    default=int(os.environ.get("TRANSDAE_KILL_SEED", "7301")))
    ap.add_argument("--teachers", type=int, default=120)
    ap.add_argument("--rows", type=int, default=6000)
    ap.add_argument("--phase",
                    choices=("import", "export", "restore", "both", "all"),
                    default="all")
    ap.add_argument("--keep", action="store_true")
    ap.add_argument("--max-failures-shown", type=int, default=300)
    a = ap.parse_args(argv)
    print("Semilla %d; escuela de %d profesores y %d filas de SOLUC" % (
        a.seed, a.teachers, a.rows))
    t = KillTest(a)
    t0 = time.perf_counter()
    try:
        t.main()
    except SetupError as exc:
        print("PREPARACIÓN FALLIDA: %s" % exc)
        return 2
    finally:
        if a.keep:
            print("Carpeta: %s" % t.tmp)
        else:
            shutil.rmtree(t.tmp, ignore_errors=True)
    for n in t.notes[:a.max_failures_shown]:
        print("nota: " + n)
    if len(t.notes) > a.max_failures_shown:
        print("nota: ... y %d notas más" % (len(t.notes) - a.max_failures_shown))
    for f in t.failures[:a.max_failures_shown]:
        print("FALLO: " + f)
    if len(t.failures) > a.max_failures_shown:
        print("... y %d fallos más" % (len(t.failures) - a.max_failures_shown))
    if t.by_table:
        print("Muertes tras las que cada tabla falló: " + ", ".join(
            "%s %s %d" % (run, table, len(kills))
            for (run, table), kills in sorted(t.by_table.items())))
    print("%d fallos; %.0f s" % (len(t.failures), time.perf_counter() - t0))
    return 1 if t.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
