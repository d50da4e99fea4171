#!/usr/bin/python3
"""Whole batch export against python3-dbf reading the same SOLUC.

  bench/export_bench.py [--build build] [--teachers 300] [--rows 20000]
                        [--rounds 7] [--seed 20251] [--no-strace]

1. writes the invented large school (bench/make_large_school.py) into a
   temporary folder and imports it with transdae-cli (levels from its
   levels.csv);
2. puts its SOLUC.DBF (written by python3-dbf) into the work folder and runs
   one untimed export, which adds the teachers missing from PROFT;
3. times, in turns, `transdae-cli export --fresh` and a python3-dbf program
   that reads every field of every record of the same SOLUC, each as a
   whole process (start-up included on both sides), for several rounds;
4. prints both medians and their ratio (target: at most 0.5);
5. counts the system calls of one more export with `strace -c -f` and
   prints them in total and per SOLUC row, with the five most frequent.

Exit status 0 when the runs worked (whatever the ratio), 1 otherwise.
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

READER = r"""
import sys, time, dbf
t0 = time.perf_counter()
table = dbf.Table(sys.argv[1], codepage="cp1252")
table.open(mode=dbf.READ_ONLY)
names = table.field_names
n = 0
for rec in table:
    for name in names:
        rec[name]
    n += 1
table.close()
sys.stdout.write("%d %.6f\n" % (n, time.perf_counter() - t0))
"""


def run(cmd, **kw):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       **kw)
    if r.returncode != 0:
        sys.stderr.write("failed (%d): %s\n%s%s" % (
            r.returncode, " ".join(cmd), r.stdout.decode("utf-8", "replace"),
            r.stderr.decode("utf-8", "replace")))
        sys.exit(1)
    return r.stdout.decode("utf-8", "replace")


def timed(cmd):
    t0 = time.perf_counter()
    out = run(cmd)
    return time.perf_counter() - t0, out


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


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--teachers", type=int, default=300)
    ap.add_argument("--rows", type=int, default=20000)
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--seed", type=int, default=20251)
    ap.add_argument("--no-strace", action="store_true")
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
        dae = os.path.join(school, "dae")
        print("Escuela: %d profesores, %d filas de SOLUC (semilla %d)" %
              (a.teachers, a.rows, a.seed))
        run([PYTHON, os.path.join(HERE, "make_large_school.py"), school,
             "--teachers", str(a.teachers), "--rows", str(a.rows),
             "--seed", str(a.seed)])
        run([cli, "import", "--dae", dae, "--work", work,
             "--levels", os.path.join(school, "levels.csv")])
        soluc = os.path.join(work, "SOLUC.DBF")
        shutil.copyfile(os.path.join(school, "SOLUC.DBF"), soluc)
        export = [cli, "export", "--dae", dae, "--work", work, "--fresh",
                  "--documents", os.path.join(school, "documents.csv")]
        run(export)  # adds the missing teachers; warms the file cache
        reader = [PYTHON, "-c", READER, soluc]
        n_read = int(run(reader).split()[0])

        t_export, t_read, t_read_inner = [], [], []
        for i in range(a.rounds):
            te, _ = timed(export)
            tr, out = timed(reader)
            t_export.append(te)
            t_read.append(tr)
            t_read_inner.append(float(out.split()[1]))
            print("  vuelta %d: exportación %.3f s, lectura python3-dbf %.3f s"
                  " (%.3f s sin el arranque)" % (i + 1, te, tr, t_read_inner[-1]))
        me, mr = statistics.median(t_export), statistics.median(t_read)
        mri = statistics.median(t_read_inner)
        print("Mediana de la exportación:     %.3f s" % me)
        print("Mediana de la lectura (proceso): %.3f s  (sin el arranque: %.3f s)"
              % (mr, mri))
        print("Razón exportación / lectura: %.2f  (objetivo: <= 0.5)" % (me / mr))
        print("Razón sin el arranque de python: %.2f" % (me / mri))

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
