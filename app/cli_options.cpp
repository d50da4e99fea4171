#include "app/cli_options.h"

#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

#include "app/program_environment.h"
#include "store/cp1252.h"
#include "store/path_text.h"

namespace app {

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string> Split(std::string_view s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t p = s.find(sep, start);
    if (p == std::string_view::npos) {
      parts.emplace_back(s.substr(start));
      return parts;
    }
    parts.emplace_back(s.substr(start, p - start));
    start = p + 1;
  }
}

const char* CommandName(CliCommand c) {
  switch (c) {
    case CliCommand::Import: return "import";
    case CliCommand::Export: return "export";
    case CliCommand::Show: return "show";
    case CliCommand::Restore: return "restore";
    case CliCommand::Help: return "--help";
  }
  return "";
}

}  // namespace

size_t Utf8Length(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string ToCp1252Strict(const std::string& utf8, const std::string& what) {
  std::string bytes = store::Utf8ToCp1252(utf8);
  if (store::Cp1252ToUtf8(bytes) != utf8)
    throw UsageError(what + " contiene caracteres que no admite la tabla "
                            "(página de códigos 1252): \"" + utf8 + "\"");
  return bytes;
}

std::string CliUsageText() {
  return
      "Uso:\n"
      "  transdae-cli import --dae CARPETA [--work CARPETA] [--lang TEXTO]\n"
      "                      [--centre CÓDIGO,AÑO,VERSIÓN] [--levels ARCHIVO]\n"
      "  transdae-cli export --dae CARPETA [--work CARPETA] [--fresh] [--codes-only]\n"
      "                      [--centre CÓDIGO,AÑO,VERSIÓN] [--documents ARCHIVO]\n"
      "  transdae-cli show TABLA [--work CARPETA] [--tag ETIQUETA]\n"
      "  transdae-cli restore [--work CARPETA] [--list] [--from COPIA]\n"
      "  transdae-cli --help\n"
      "\n"
      "import   Transforma los datos desde DAE hacia Dolvarin.\n"
      "export   Transforma los datos desde Dolvarin hacia DAE (escribe fCUADROS.txt).\n"
      "show     Escribe una tabla de la carpeta de trabajo en formato CSV.\n"
      "restore  Deshace una importación: vuelve a poner las tablas de Dolvarin\n"
      "         guardadas en una copia de COPIAS (sin --from, la más reciente).\n"
      "\n"
      "  --dae CARPETA      carpeta en la que se encuentran los ficheros TXT de DAE\n"
      "  --work CARPETA     carpeta de trabajo (por omisión, la de la variable QTEMP\n"
      "                     o " + StandardWorkFolderWording() + ")\n"
      "  --lang TEXTO       texto del cuadro de idioma (por omisión EUSKERA; cualquier\n"
      "                     otro texto elige el castellano)\n"
      "  --centre C,A,V     código del centro, año académico y versión que se\n"
      "                     escriben en el panel de datos del centro (sin ellos, se\n"
      "                     aceptan los datos tal como están)\n"
      "  --levels ARCHIVO   abreviaturas de los niveles de estudios: archivo UTF-8\n"
      "                     con la cabecera COD;ABREVCAST;ABREVEUSK y una línea por\n"
      "                     nivel (hasta 5 caracteres por abreviatura)\n"
      "  --documents ARCHIVO  documentos de los profesores que se escriben en la\n"
      "                     ventana de codificación DAE antes de salir: archivo\n"
      "                     UTF-8 con la cabecera ABREV;TIPODNI;DNI y una línea\n"
      "                     por profesor\n"
      "  --fresh            no conserva los datos de la exportación anterior\n"
      "  --codes-only       va directamente a la codificación DAE, sin volver a\n"
      "                     exportar, cuando se conservan los datos anteriores\n"
      "  --tag ETIQUETA     ordena las filas por esa etiqueta de índice\n"
      "  --list             sólo muestra las copias: número y fecha, tablas y\n"
      "                     profesores, asignaturas y grupos de cada una\n"
      "  --from COPIA       la copia que se vuelve a poner: su carpeta en COPIAS\n"
      "                     (NNNNNN-AAAAMMDD-HHMMSS) o sólo su número\n"
      "\n"
      "Mensajes y preguntas se escriben en la salida estándar (" +
      OutputEncodingWording() + "); la última\n"
      "línea es \"resultado: N\" con el código de resultado. Las preguntas se\n"
      "responden según las opciones; la de los profesores sin documento, con No.\n"
      "\n"
      "show escribe los nombres de los campos y luego las filas, sin los registros\n"
      "borrados, separados por comas; un valor con coma, punto y coma, comillas o\n"
      "saltos de línea va entre comillas dobles (las comillas, dobladas).\n"
      "\n"
      "restore guarda antes una copia nueva de las tablas que sustituye, de modo\n"
      "que también se puede deshacer; no hace nada mientras otro programa tenga\n"
      "abierta alguna de ellas.\n"
      "\n"
      "Estado de salida:\n"
      "  0  terminado: el proceso llegó a \"Proceso finalizado\" con resultado 1 y,\n"
      "     en export, se escribió fCUADROS.txt (show y restore: hecho)\n"
      "  3  terminado pero incompleto: faltaba un archivo de DAE, se acabaron los\n"
      "     códigos o no se escribió fCUADROS.txt\n"
      "  1  error: el proceso no terminó\n"
      "  2  error de uso; no se ha hecho nada\n";
}

CentreValues ParseCentreValues(const std::string& text) {
  std::vector<std::string> parts = Split(text, ',');
  if (parts.size() != 3)
    throw UsageError("--centre espera CÓDIGO,AÑO,VERSIÓN separados por comas: \"" +
                     text + "\"");
  static const struct {
    const char* name;
    size_t width;
  } kFields[3] = {{"el código del centro", 6}, {"el año académico", 4},
                  {"la versión", 5}};
  std::string values[3];
  for (int i = 0; i < 3; ++i) {
    values[i] = std::string(TrimBlanks(parts[i]));
    if (values[i].empty())
      throw UsageError(std::string("--centre: falta ") + kFields[i].name);
    ToCp1252Strict(values[i], std::string("--centre: ") + kFields[i].name);
    if (Utf8Length(values[i]) > kFields[i].width)
      throw UsageError(std::string("--centre: ") + kFields[i].name + " \"" +
                       values[i] + "\" tiene más de " +
                       std::to_string(kFields[i].width) + " caracteres");
  }
  return CentreValues{values[0], values[1], values[2]};
}

std::vector<LevelAbbreviations> ParseLevelsFile(const std::string& utf8) {
  std::string_view text = utf8;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines = Split(text, '\n');
  std::vector<LevelAbbreviations> levels;
  std::set<std::string> seen;
  bool header = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string where = "línea " + std::to_string(i + 1);
    if (TrimBlanks(line).empty()) continue;
    std::vector<std::string> cells = Split(line, ';');
    for (std::string& c : cells) c = std::string(TrimBlanks(c));
    if (!header) {
      if (cells.size() != 3 || cells[0] != "COD" || cells[1] != "ABREVCAST" ||
          cells[2] != "ABREVEUSK")
        throw UsageError("Archivo de niveles, " + where +
                         ": se esperaba la cabecera COD;ABREVCAST;ABREVEUSK");
      header = true;
      continue;
    }
    if (cells.size() != 3)
      throw UsageError("Archivo de niveles, " + where + ": se esperaban 3 valores "
                       "separados por ';' y hay " + std::to_string(cells.size()));
    if (cells[0].empty())
      throw UsageError("Archivo de niveles, " + where + ": falta el código del nivel");
    LevelAbbreviations level;
    level.code = ToCp1252Strict(cells[0], "Archivo de niveles, " + where + ": el código");
    if (!seen.insert(level.code).second)
      throw UsageError("Archivo de niveles, " + where + ": el nivel " + cells[0] +
                       " está repetido");
    for (int k = 1; k <= 2; ++k) {
      const std::string name = k == 1 ? "ABREVCAST" : "ABREVEUSK";
      if (Utf8Length(cells[k]) > 5)
        throw UsageError("Archivo de niveles, " + where + ": " + name + " \"" +
                         cells[k] + "\" tiene más de 5 caracteres");
      std::string bytes =
          ToCp1252Strict(cells[k], "Archivo de niveles, " + where + ": " + name);
      (k == 1 ? level.abrevCast : level.abrevEusk) = bytes;
    }
    levels.push_back(level);
  }
  if (!header)
    throw UsageError("Archivo de niveles vacío: falta la cabecera "
                     "COD;ABREVCAST;ABREVEUSK");
  return levels;
}

std::vector<LevelAbbreviations> ReadLevelsFile(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec))
    throw UsageError("El archivo de niveles " + store::PathText(file) + " es una carpeta");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw UsageError("No se puede leer el archivo de niveles " + store::PathText(file));
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad())
    throw UsageError("No se puede leer el archivo de niveles " + store::PathText(file));
  return ParseLevelsFile(s.str());
}

std::vector<TeacherDocument> ParseDocumentsFile(const std::string& utf8) {
  std::string_view text = utf8;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines = Split(text, '\n');
  std::vector<TeacherDocument> docs;
  std::set<std::string> seen;
  bool header = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string where = "Archivo de documentos, línea " + std::to_string(i + 1);
    if (TrimBlanks(line).empty()) continue;
    std::vector<std::string> cells = Split(line, ';');
    for (std::string& c : cells) c = std::string(TrimBlanks(c));
    if (!header) {
      if (cells.size() != 3 || cells[0] != "ABREV" || cells[1] != "TIPODNI" ||
          cells[2] != "DNI")
        throw UsageError(where + ": se esperaba la cabecera ABREV;TIPODNI;DNI");
      header = true;
      continue;
    }
    if (cells.size() != 3)
      throw UsageError(where + ": se esperaban 3 valores separados por ';' y hay " +
                       std::to_string(cells.size()));
    static const struct {
      const char* name;
      size_t min, max;
    } kCells[3] = {{"ABREV", 1, 4}, {"TIPODNI", 0, 1}, {"DNI", 1, 15}};
    TeacherDocument d;
    std::string* out[3] = {&d.abrev, &d.tipoDni, &d.dni};
    for (int k = 0; k < 3; ++k) {
      size_t n = Utf8Length(cells[k]);
      if (n < kCells[k].min || n > kCells[k].max)
        throw UsageError(where + ": " + kCells[k].name + " \"" + cells[k] +
                         "\" debe tener de " + std::to_string(kCells[k].min) +
                         " a " + std::to_string(kCells[k].max) + " caracteres");
      *out[k] = ToCp1252Strict(cells[k], where + ": " + kCells[k].name);
    }
    if (!seen.insert(store::Cp1252Upper(d.abrev)).second)
      throw UsageError(where + ": el profesor " + cells[0] + " está repetido");
    docs.push_back(d);
  }
  if (!header)
    throw UsageError("Archivo de documentos vacío: falta la cabecera ABREV;TIPODNI;DNI");
  return docs;
}

std::vector<TeacherDocument> ReadDocumentsFile(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec))
    throw UsageError("El archivo de documentos " + store::PathText(file) + " es una carpeta");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw UsageError("No se puede leer el archivo de documentos " + store::PathText(file));
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad())
    throw UsageError("No se puede leer el archivo de documentos " + store::PathText(file));
  return ParseDocumentsFile(s.str());
}

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
  CliOptions o;
  if (args.empty()) throw UsageError("Falta la orden (import, export, show o restore)");
  const std::string& cmd = args[0];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    if (args.size() > 1) throw UsageError("--help no admite más argumentos");
    o.command = CliCommand::Help;
    return o;
  }
  if (cmd == "import") o.command = CliCommand::Import;
  else if (cmd == "export") o.command = CliCommand::Export;
  else if (cmd == "show") o.command = CliCommand::Show;
  else if (cmd == "restore") o.command = CliCommand::Restore;
  else throw UsageError("Orden desconocida: \"" + cmd + "\"");

  std::set<std::string> given;
  bool tableGiven = false;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      if (o.command == CliCommand::Show && !tableGiven) {
        if (arg.empty()) throw UsageError("show: el nombre de la tabla está vacío");
        o.table = arg;
        tableGiven = true;
        continue;
      }
      throw UsageError("Argumento de más: \"" + arg + "\"");
    }
    std::string name = arg, value;
    bool inlineValue = false;
    if (size_t eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    const bool isImport = o.command == CliCommand::Import;
    const bool isExport = o.command == CliCommand::Export;
    const bool isShow = o.command == CliCommand::Show;
    const bool isRestore = o.command == CliCommand::Restore;
    bool takesValue;
    bool allowed;
    if (name == "--dae") takesValue = true, allowed = isImport || isExport;
    else if (name == "--work") takesValue = true, allowed = true;
    else if (name == "--lang") takesValue = true, allowed = isImport;
    else if (name == "--centre") takesValue = true, allowed = isImport || isExport;
    else if (name == "--levels") takesValue = true, allowed = isImport;
    else if (name == "--documents") takesValue = true, allowed = isExport;
    else if (name == "--tag") takesValue = true, allowed = isShow;
    else if (name == "--fresh") takesValue = false, allowed = isExport;
    else if (name == "--codes-only") takesValue = false, allowed = isExport;
    else if (name == "--list") takesValue = false, allowed = isRestore;
    else if (name == "--from") takesValue = true, allowed = isRestore;
    else if (name == "--help") throw UsageError("--help va sin orden: transdae-cli --help");
    else throw UsageError("Opción desconocida: " + name);
    if (!allowed)
      throw UsageError(std::string("La opción ") + name + " no vale para " +
                       CommandName(o.command));
    if (!given.insert(name).second)
      throw UsageError("La opción " + name + " está repetida");
    if (takesValue && !inlineValue) {
      if (i + 1 >= args.size()) throw UsageError("Falta el valor de " + name);
      value = args[++i];
    }
    if (!takesValue && inlineValue)
      throw UsageError("La opción " + name + " no lleva valor");
    if (takesValue && value.empty())
      throw UsageError("El valor de " + name + " está vacío");

    if (name == "--dae") o.daeFolder = value;
    else if (name == "--work") o.workFolder = store::PathFromText(value);
    else if (name == "--lang") o.language = value;
    else if (name == "--centre") o.centre = ParseCentreValues(value);
    else if (name == "--levels") o.levelsFile = store::PathFromText(value);
    else if (name == "--documents") o.documentsFile = store::PathFromText(value);
    else if (name == "--tag") o.tag = value;
    else if (name == "--fresh") o.fresh = true;
    else if (name == "--codes-only") o.codesOnly = true;
    else if (name == "--list") o.listOnly = true;
    else if (name == "--from") o.restoreFrom = value;
  }
  if (o.listOnly && o.restoreFrom)
    throw UsageError("restore: --list y --from no van juntas");
  if ((o.command == CliCommand::Import || o.command == CliCommand::Export) &&
      o.daeFolder.empty())
    throw UsageError(std::string(CommandName(o.command)) + ": falta --dae CARPETA");
  if (o.command == CliCommand::Show && !tableGiven)
    throw UsageError("show: falta el nombre de la tabla");
  return o;
}

}  // namespace app
