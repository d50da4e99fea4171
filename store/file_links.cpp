#include "store/file_links.h"

#include "store/cp1252.h"
#include "store/os_file.h"
#include "store/path_text.h"
#include "store/store_error.h"
#include "store/work_folder.h"

namespace store {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::string Tail() {
  return "; la herramienta no escribe a través de enlaces y la deja como está. "
         "Ponga en su lugar una copia del archivo si quiere que se modifique";
}

// "La tabla 'PROFT.DBF'" or "El índice 'PROFT.MDX' de la tabla 'PROFT.DBF'".
std::string Subject(const fs::path& file, const std::string& label) {
  const std::string name = FileNameText(file);
  if (Cp1252EqualsIgnoreCase(name, label)) return "La tabla " + Quoted(label);
  const std::string ext = PathText(file.extension());
  if (Cp1252EqualsIgnoreCase(ext, ".MDX")) {
    return "El índice " + Quoted(name) + " de la tabla " + Quoted(label);
  }
  return "El archivo " + Quoted(name) + " de la tabla " + Quoted(label);
}

}  // namespace

std::string LinkedFileProblem(const fs::path& file, const std::string& label) {
  const os::PathStatus st = os::Status(file);
  if (!st.exists) return "";
  if (st.isLink) {
    const std::string target = os::LinkTarget(file);
    return Subject(file, label) + " es un enlace simbólico" +
           (target.empty() ? std::string() : " a " + target) + Tail();
  }
  if (st.isRegular && st.linkCount > 1) {
    return Subject(file, label) + " tiene otros nombres en el disco (enlace duro, " +
           std::to_string(st.linkCount) + " nombres)" + Tail();
  }
  return "";
}

std::string LinkedTableProblem(const fs::path& dbfPath, const std::string& label) {
  std::string problem = LinkedFileProblem(dbfPath, label);
  if (!problem.empty()) return problem;
  const fs::path mdx =
      ResolveFileNoCase(dbfPath.parent_path(), PathText(dbfPath.stem()) + ".MDX");
  return LinkedFileProblem(mdx, label);
}

void RefuseLinkedTableFile(const fs::path& file, const std::string& label) {
  std::string problem = LinkedFileProblem(file, label);
  if (!problem.empty()) throw StoreError(problem);
}

void RefuseLinkedTable(const fs::path& dbfPath, const std::string& label) {
  std::string problem = LinkedTableProblem(dbfPath, label);
  if (!problem.empty()) throw StoreError(problem);
}

}  // namespace store
