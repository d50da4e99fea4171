#!/usr/bin/env bash
# The Windows installer under Wine, used as a school's technician would use
# it silently: installed into a folder standing for the timetabling
# product's, then uninstalled. The product's files (its program, its
# Dolvarin.ini, its tables) must be byte for byte as before, both after
# installing and after uninstalling, and the folder must hold exactly what
# it held. A file of the tool's name that the installer did not put there
# stops the installation, and so does a folder that does not exist.
#
#   installer_test.sh INSTALLER TRANSDAE_EXE TRANSDAE_CLI_EXE
set -uo pipefail
INSTALLER=$1
GUI=$2
CLI=$3
WINE=$(command -v wine64 || command -v wine)
failures=0
passed=0
fail() { echo "FALLO: $*"; failures=$((failures + 1)); }
ok() { passed=$((passed + 1)); }

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
win() { echo "Z:${1//\//\\}"; }  # a path of this machine as Wine names it

# What a folder holds: every file with its hash, and every folder.
listing() { (cd "$1" && find . -mindepth 1 -printf '%y %p\n' | sort && find . -type f -print0 | sort -z | xargs -0 -r sha256sum); }

make_product() {
  mkdir -p "$1/DATOS"
  printf 'MZ\x90\x00programa de horarios\r\n' >"$1/Dolvarin.exe"
  printf '; Configuraci\xc3\xb3n\r\n[General]\r\nCurso=2024-25\r\n\r\n[Transformadores]\r\nTransformado=1\r\n' >"$1/Dolvarin.ini"
  head -c 4096 /dev/urandom >"$1/DATOS/SOLUC.DBF"
  printf 'ayuda' >"$1/DAE.CHM"
}

run() { "$WINE" "$@" </dev/null >"$TMP/out.txt" 2>&1; }
# The uninstaller runs on as a copy of itself (Au_.exe or Un_A.exe); waits for it to
# end. (Not "wineserver -w": the stage keeps one server for all its tests.)
settle() {
  for _ in $(seq 300); do
    pgrep -f 'Au_\.exe|Un_[A-Z]\.exe' >/dev/null || return 0
    sleep 0.1
  done
}

# 1. Install into the product's folder, then uninstall.
# (Silent installs take /D= unquoted, as the last word: a path without
# spaces here, as Wine quotes a word with spaces.)
PRODUCT="$TMP/HorariosAño/Dolvarin"
make_product "$PRODUCT"
before=$(listing "$PRODUCT")
if run "$INSTALLER" /S "/D=$(win "$PRODUCT")"; then ok; else fail "la instalación silenciosa terminó con error: $(cat "$TMP/out.txt")"; fi
for f in transdae.exe transdae-cli.exe desinstalar-transdae.exe; do
  [ -f "$PRODUCT/$f" ] && ok || fail "no se instaló $f"
done
cmp -s "$GUI" "$PRODUCT/transdae.exe" && ok || fail "transdae.exe instalado difiere del construido"
cmp -s "$CLI" "$PRODUCT/transdae-cli.exe" && ok || fail "transdae-cli.exe instalado difiere del construido"
after_install=$(listing "$PRODUCT" | grep -v -e 'transdae\.exe' -e 'transdae-cli\.exe' -e 'desinstalar-transdae\.exe')
[ "$after_install" = "$before" ] && ok || fail "la instalación cambió archivos del programa de horarios: $(diff <(echo "$before") <(echo "$after_install"))"
# The installed batch front end runs from there.
run "$PRODUCT/transdae-cli.exe" --help && grep -q "Uso:" "$TMP/out.txt" && ok ||
  fail "transdae-cli.exe instalado no arranca: $(cat "$TMP/out.txt")"

run "$PRODUCT/desinstalar-transdae.exe" /S || fail "la desinstalación terminó con error: $(cat "$TMP/out.txt")"
# The uninstaller runs on from a copy of itself and removes the original.
for _ in $(seq 600); do
  [ -e "$PRODUCT/desinstalar-transdae.exe" ] || [ -e "$PRODUCT/transdae.exe" ] || break
  sleep 0.1
done
settle
after=$(listing "$PRODUCT")
[ "$after" = "$before" ] && ok || fail "tras desinstalar, la carpeta no es la de antes: $(diff <(echo "$before") <(echo "$after"))"

# 2. A transdae.exe that this installer did not put there is not replaced.
OTHER="$TMP/otro"
make_product "$OTHER"
printf 'ajeno' >"$OTHER/transdae.exe"
before=$(listing "$OTHER")
if run "$INSTALLER" /S "/D=$(win "$OTHER")"; then fail "instaló sobre un transdae.exe ajeno"; else ok; fi
[ "$(listing "$OTHER")" = "$before" ] && ok || fail "la instalación rechazada cambió la carpeta"

# 3. A folder that does not exist: nothing is made.
if run "$INSTALLER" /S "/D=$(win "$TMP/no-existe")"; then fail "instaló en una carpeta inexistente"; else ok; fi
[ -e "$TMP/no-existe" ] && fail "creó la carpeta inexistente" || ok

# 4. No folder named: nothing is installed, neither in the current folder.
mkdir -p "$TMP/actual"
if (cd "$TMP/actual" && run "$INSTALLER" /S); then fail "instaló sin carpeta"; else ok; fi
[ -z "$(ls -A "$TMP/actual")" ] && ok || fail "instaló en la carpeta actual: $(ls -A "$TMP/actual")"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
