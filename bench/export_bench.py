#!/usr/bin/python3
"""Whole batch export and import against python3-dbf reading the same SOLUC.

  bench/export_bench.py [--build build] [--teachers 300] [--rows 20000]
                        [--rounds 7] [--seed 20251] [--no-strace]
                        [--no-import] [--no-scale] [--callgrind] [--keep]

1. writes the invented large school (bench/make_large_school.py) into a
   temporary folder and imports it with transdae-cli (levels from its
   levels.csv);
2. puts its SOLUC.DBF (written by python3-dbf) into the work folder and runs
   one untimed export, which adds the teachers missing from PROFT;
3. times, in turns, `transdae-cli export --fresh`, `transdae-cli import` of
   the same school (into a work folder of its own) and the peer: a
   python3-dbf program that opens the same SOLUC and reads one field (PROF)
   of every row, as a user's script would. Each is a whole process
   (start-up included on every side), for several rounds; the time, the CPU
   time (user + system) and the peak resident size of every process are
   taken from the operating system (wait4);
4. prints the medians and the ratios export / peer and import / peer, of the
   times and of the CPU times (target for the export: at most 0.5); the CPU
   times change less than the times when the machine is shared;
5. with --callgrind, counts the instructions of one export, one import and
   one peer run under valgrind --tool=callgrind (figures that do not depend
   on the machine's load at all) and prints their ratios;
6. prints the peak resident size of the export of this school and of a
   school of half as many rows (unless --no-scale): the difference per row
   shows what the export keeps per record;
7. counts the system calls of one more export with `strace -c -f` and
   prints them in total and per SOLUC row, with the five most frequent.

Exit status 0 when the runs worked (whatever the ratios), 1 otherwise.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
PYTHON = "/usr/bin/python3"

# The peer: open SOLUC, read one field of every row.
READER = r"""
import sys, time, dbf
t0 = time.perf_counter()
table = dbf.Table(sys.argv[1], codepage="cp1252")
table.open(mode=dbf.READ_ONLY)
n = 0
for rec in table:
    rec["prof"]
    n += 1
table.close()
sys.stdout.write("%d %.6f\n" % (n, time.perf_counter() - t0))
"""


class Run:
    """One whole process: wall time, CPU time, peak resident size."""

    def __init__(self, wall, cpu, maxrss_kb, out):
        self.wall, self.cpu, self.maxrss_kb, self.out = wall, cpu, maxrss_kb, out


def measured(cmd, tmp):
    """Runs cmd to its end and takes its figures from wait4."""
    out_path = os.path.join(tmp, "run.out")
    err_path = os.path.join(tmp, "run.err")
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        t0 = time.perf_counter()
        p = subprocess.Popen(cmd, stdout=out, stderr=err)
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - t0
    p.returncode = os.waitstatus_to_exitcode(status)
    with open(out_path, "rb") as f:
        stdout = f.read().decode("utf-8", "replace")
    if p.returncode != 0:
        with open(err_path, "rb") as f:
            stderr = f.read().decode("utf-8", "replace")
        sys.stderr.write("failed (%d): %s\n%s%s" % (
            p.returncode, " ".join(cmd), stdout, stderr))
        sys.exit(1)
    return Run(wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, stdout)


def run(cmd, **kw):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       **kw)
    if r.returncode != 0:
        sys.stderr.write("failed (%d): %s\n%s%s" % (
            r.returncode, " ".join(cmd), r.stdout.decode("utf-8", "replace"),
            r.stderr.decode("utf-8", "replace")))
        sys.exit(1)
    return r.stdout.decode("utf-8", "replace")


def strace_counts(cmd, tmp):
    out_file = os.path.join(tmp, "strace.txt")
    r = subprocess.run(["strace", "-c", "-f", "-o", out_file] + cmd,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode != 0:
        sys.stderr.write("strace run failed (%d)\n%s" % (
            r.returncode, r.stderr.decode("utf-8", "replace")))
        return None
    calls = {}
    total = None
    with open(out_file) as f:
        for line in f:
            parts = line.split()
            if not parts or parts[0].startswith(("%", "-")):
                continue
            if parts[-1] == "total":
                total = int(parts[3])
                continue
            # % time, seconds, usecs/call, calls, [errors], syscall
            try:
                calls[parts[-1]] = int(parts[3])
            except (ValueError, IndexError):
                pass
    if total is None:
        total = sum(calls.values())
    return total, calls


def callgrind_instructions(cmd, tmp, name):
    """Instructions executed by cmd (and its children) under callgrind."""
    out_file = os.path.join(tmp, "callgrind.%s.out" % name)
    r = subprocess.run(["valgrind", "--tool=callgrind", "--trace-children=yes",
                        "--callgrind-out-file=" + out_file + ".%p"] + cmd,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode != 0:
        sys.stderr.write("callgrind run failed (%d)\n%s" % (
            r.returncode, r.stderr.decode("utf-8", "replace")))
        return None
    total = 0
    for f in os.listdir(tmp):
        if not f.startswith("callgrind.%s.out." % name):
            continue
        with open(os.path.join(tmp, f)) as fh:
            for line in fh:
                if line.startswith("summary:") or line.startswith("totals:"):
                    total += int(line.split()[1])
                    break
        os.remove(os.path.join(tmp, f))
    return total


def make_school(a, school, rows):
    run([PYTHON, os.path.join(HERE, "make_large_school.py"), school,
         "--teachers", str(a.teachers), "--rows", str(rows),
         "--seed", str(a.seed)])


def prepared_export(cli, school, work):
    """Imports the school into work, puts SOLUC there and exports once
    (adding the teachers missing from PROFT). Returns the export command."""
    dae = os.path.join(school, "dae")
    run([cli, "import", "--dae", dae, "--work", work,
         "--levels", os.path.join(school, "levels.csv")])
    shutil.copyfile(os.path.join(school, "SOLUC.DBF"),
                    os.path.join(work, "SOLUC.DBF"))
    export = [cli, "export", "--dae", dae, "--work", work, "--fresh",
              "--documents", os.path.join(school, "documents.csv")]
    run(export)
    return export


def median(runs, attr):
    return statistics.median(getattr(r, attr) for r in runs)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--teachers", type=int, default=300)
    ap.add_argument("--rows", type=int, default=20000)
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--seed", type=int, default=20251)
    ap.add_argument("--no-strace", action="store_true")
    ap.add_argument("--no-import", action="store_true",
                    help="do not time the import")
    ap.add_argument("--no-scale", action="store_true",
                    help="do not export a school of half as many rows")
    ap.add_argument("--callgrind", action="store_true",
                    help="count instructions under valgrind's callgrind")
    ap.add_argument("--keep", action="store_true",
                    help="keep the temporary folder and print its name")
    a = ap.parse_args(argv)
    cli = os.path.join(a.build, "transdae-cli")
    if not os.access(cli, os.X_OK):
        sys.stderr.write("no %s: build first (bash scripts/build.sh build)\n" % cli)
        return 1

    tmp = tempfile.mkdtemp(prefix="transdae-bench-")
    try:
        school = os.path.join(tmp, "school")
        work = os.path.join(tmp, "QTEMP")
        work_import = os.path.join(tmp, "QTEMP-import")
        dae = os.path.join(school, "dae")
        print("Escuela: %d profesores, %d filas de SOLUC (semilla %d)" %
              (a.teachers, a.rows, a.seed))
        make_school(a, school, a.rows)
        export = prepared_export(cli, school, work)
        soluc = os.path.join(work, "SOLUC.DBF")
        imp = [cli, "import", "--dae", dae, "--work", work_import,
               "--levels", os.path.join(school, "levels.csv")]
        if not a.no_import:
            run(imp)  # the import's copies of earlier tables start here
        reader = [PYTHON, "-c", READER, soluc]
        n_read = int(run(reader).split()[0])

        exports, imports, reads, read_inner = [], [], [], []
        for i in range(a.rounds):
            exports.append(measured(export, tmp))
            if not a.no_import:
                imports.append(measured(imp, tmp))
            reads.append(measured(reader, tmp))
            read_inner.append(float(reads[-1].out.split()[1]))
            line = "  vuelta %d: exportación %.3f s (CPU %.3f s)" % (
                i + 1, exports[-1].wall, exports[-1].cpu)
            if imports:
                line += ", importación %.3f s (CPU %.3f s)" % (
                    imports[-1].wall, imports[-1].cpu)
            line += ", lectura python3-dbf %.3f s (CPU %.3f s; %.3f s sin el arranque)" % (
                reads[-1].wall, reads[-1].cpu, read_inner[-1])
            print(line)

        me, mr = median(exports, "wall"), median(reads, "wall")
        mce, mcr = median(exports, "cpu"), median(reads, "cpu")
        mri = statistics.median(read_inner)
        print("Mediana de la exportación:       %.3f s  (CPU %.3f s)" % (me, mce))
        if imports:
            mi, mci = median(imports, "wall"), median(imports, "cpu")
            print("Mediana de la importación:       %.3f s  (CPU %.3f s)" % (mi, mci))
        print("Mediana de la lectura (proceso): %.3f s  (CPU %.3f s; sin el arranque: %.3f s)"
              % (mr, mcr, mri))
        print("Razón exportación / lectura: %.2f  (CPU %.2f)  (objetivo: <= 0.5)"
              % (me / mr, mce / mcr))
        if imports:
            print("Razón importación / lectura: %.2f  (CPU %.2f)" % (mi / mr, mci / mcr))
        print("Razón exportación / lectura sin el arranque de python: %.2f" % (me / mri))
        print("Memoria máxima residente: exportación %.1f MB, importación %s, "
              "lectura python3-dbf %.1f MB" % (
                  max(r.maxrss_kb for r in exports) / 1024.0,
                  ("%.1f MB" % (max(r.maxrss_kb for r in imports) / 1024.0))
                  if imports else "-",
                  max(r.maxrss_kb for r in reads) / 1024.0))

        if a.callgrind:
            if shutil.which("valgrind") is None:
                print("valgrind no está instalado: no se cuentan las instrucciones")
            else:
                ie = callgrind_instructions(export, tmp, "export")
                ii = callgrind_instructions(imp, tmp, "import") if imports else None
                ir = callgrind_instructions(reader, tmp, "reader")
                if ie and ir:
                    print("Instrucciones (callgrind): exportación %d, importación %s, "
                          "lectura %d" % (ie, ii if ii else "-", ir))
                    print("Razón de instrucciones exportación / lectura: %.2f" % (ie / ir))
                    if ii:
                        print("Razón de instrucciones importación / lectura: %.2f"
                              % (ii / ir))

        if not a.no_scale:
            half_rows = a.rows // 2
            half_school = os.path.join(tmp, "school-half")
            half_work = os.path.join(tmp, "QTEMP-half")
            make_school(a, half_school, half_rows)
            half_export = prepared_export(cli, half_school, half_work)
            half_read = int(run([PYTHON, "-c", READER,
                                 os.path.join(half_work, "SOLUC.DBF")]).split()[0])
            rss_half = min(measured(half_export, tmp).maxrss_kb for _ in range(3))
            rss_full = min(measured(export, tmp).maxrss_kb for _ in range(3))
            per_row = (rss_full - rss_half) * 1024.0 / max(1, n_read - half_read)
            print("Memoria máxima de la exportación: %.1f MB con %d filas, %.1f MB con %d "
                  "filas: %.0f bytes por fila" % (rss_half / 1024.0, half_read,
                                                  rss_full / 1024.0, n_read, per_row))

        if not a.no_strace:
            if shutil.which("strace") is None:
                print("strace no está instalado: no se cuentan las llamadas")
            else:
                counted = strace_counts(export, tmp)
                if counted:
                    total, calls = counted
                    print("Llamadas al sistema de la exportación: %d "
                          "(%.1f por fila de SOLUC, %d filas)" %
                          (total, total / n_read, n_read))
                    top = sorted(calls.items(), key=lambda kv: -kv[1])[:5]
                    print("  las más frecuentes: " + ", ".join(
                        "%s %d" % kv for kv in top))
        if a.keep:
            print("Carpeta: %s" % tmp)
    finally:
        if not a.keep:
            shutil.rmtree(tmp, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
