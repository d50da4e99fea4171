// The DAE coding window's logic (TAjustaDAE), apart from how it is drawn.
#pragma once
#include <filesystem>
#include <string>

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
  // CUADROH3 still blank, and teachers still without a document.
  struct Pending {
    int blankCodableCells = 0;
    int teachersWithoutDocument = 0;
  };
  Pending PendingSummary();

  // The cells that take a DAE code (counted by PendingSummary): of the type
  // 2 records TIPTAR, GRUPNIV, CODASIG, IDIOMA and TIP_ACTIV, of the type 3
  // records CODGRUPO.
  static bool IsCodableField(const std::string& tableName,
                             const std::string& fieldName);

 private:
  chain::UserInterface& ui_;
  chain::ProcessState& state_;
  std::filesystem::path workFolder_;
};

}  // namespace dae_export
