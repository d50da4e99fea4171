// The DAE coding window's logic (TAjustaDAE), apart from how it is drawn.
#pragma once
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "chain/process_state.h"
#include "chain/user_interface.h"
#include "store/table.h"

namespace dae_export {

class AjustaDAE {
 public:
  AjustaDAE(chain::UserInterface& ui, chain::ProcessState& state,
            const std::filesystem::path& workFolder);
  ~AjustaDAE();

  store::Table wwTabledaeCENTRO;
  store::Table wwTableProfesor;      // PROFT, order ABREV, exclusive
  store::Table wwTableCUADROH2;      // detail of PROFT by ABREVPROF
  store::Table wwTableCUADROH3;      // detail of CUADROH2 by PROF_DIA_SES
  store::Table wwTableCUADROH3AUX;   // detail of PROFT by ABREVPROF
  store::Table wwTabledaeTIPDOC, wwTabledaeTIPTAR, wwTabledaeGRUPNIV,
      wwTabledaeASIGNAT, wwTabledaeIDIOMA, wwTabledaeOTRACT;  // read-only

  // Opens the tables in the window's order.
  void FormCreate();
  // A centre edit's text changed / a centre edit lost the focus.
  void DBEditCODECENTROChange();
  void DBEditCODECENTROExit();
  // The teacher grid: a column left (its field name) / a field changed
  // while the grid stood on column currentColumn.
  void wwDBGridPROFTColExit(const std::string& columnLeft);
  void wwDBGridPROFTFieldChanged(const std::string& currentColumn);
  // "&Salir": the exit check. True when the window must close.
  bool BitBtn1Click();
  // Writes fCUADROS.txt into RutaDAE.
  void CreaTXTCuadroHorario();

  // At a glance, without enforcing anything: codable cells of CUADROH2 and
  // CUADROH3 still blank where a code is needed (CodeNeeded), and teachers
  // still without a document. Values not yet posted count as they stand in
  // the window's tables; typed, when given, is a text still being typed
  // into a cell of the current record of one of the window's tables.
  struct Pending {
    int blankCodableCells = 0;
    int teachersWithoutDocument = 0;
  };
  struct Typed {
    const store::Table* table = nullptr;  // nullptr: nothing being typed
    std::string field;
    std::string text;  // code page 1252
  };
  Pending PendingSummary(const Typed& typed);
  Pending PendingSummary();

  // The cells that take a DAE code: of the type 2 records TIPTAR, GRUPNIV,
  // CODASIG, IDIOMA and TIP_ACTIV, of the type 3 records CODGRUPO.
  static bool IsCodableField(const std::string& tableName,
                             const std::string& fieldName);
  // Whether a codable field of a type 2 record with the given task needs a
  // code, by the window's note: CODASIG and IDIOMA when the task is
  // lective, TIP_ACTIV when it is not; TIPTAR and GRUPNIV always. A task is
  // not lective when its row of daeTIPTAR marks it as another activity
  // (OTRACTIV "S"); a task that daeTIPTAR does not list counts as lective.
  bool CodeNeeded(const std::string& field, const std::string& task) const;
  bool IsLectiveTask(const std::string& task) const;

  // A value typed into a cell, checked before it is stored: "" when it may
  // be stored, else the message that refuses it. The codes of the cells
  // with a drop-down list must be one of the list (or blank); unchanged
  // values are never refused.
  std::string TypedValueProblem(const store::Table& table,
                                const std::string& field,
                                const std::string& value) const;
  // The same for a centre edit (CODCENTRO, ANOACAD, VERSION).
  static std::string CentreValueProblem(const std::string& field,
                                        const std::string& value);

 private:
  // A document copied into a record while the teacher's row was still
  // being edited: what the record held before and what the copy wrote.
  struct Copied {
    uint32_t recno = 0;
    std::string tipdoc, doc;            // before the copy
    std::string copiedTipdoc, copiedDoc;  // what it wrote
  };
  // The teacher's row being edited, its document when the edit began, and
  // the records the copy changed since: when the edit ends with the
  // teacher's document as it was (Escape, or nothing stored), the records
  // go back too.
  struct TeacherEdit {
    uint32_t recno = 0;
    std::string tipoDni, dni;
    std::vector<Copied> type2, type3;
  };
  void TeacherStateChanged();
  void CopyDocument(store::Table& records, std::vector<Copied>* undo,
                    const std::string& abrev, const std::string& tipoDni,
                    const std::string& dni);
  void UndoCopies(store::Table& records, const std::vector<Copied>& copies);
  const store::Table* CodeTableOf(const store::Table& table,
                                  const std::string& field,
                                  std::string* codeField) const;

  chain::UserInterface& ui_;
  chain::ProcessState& state_;
  std::filesystem::path workFolder_;
  std::set<std::string> otherActivities_;  // daeTIPTAR codes, not lective
  TeacherEdit teacherEdit_;
  int teacherListener_ = -1;
};

}  // namespace dae_export
