// The way out when the production index of one of the tool's own tables
// (PLANTILLA, CUADROH2, CUADROH3) is missing or damaged: the records are
// sound, so the index can be made anew from them. The user is asked first
// (question "Confirmación"); the tables of the timetabling product and the
// DAE code tables are never rebuilt here.
#pragma once
#include <string>

#include "chain/main_tables.h"
#include "chain/user_interface.h"
#include "store/store_error.h"

namespace app {

// The question put to the user for the table `label` ("CUADROH2.DBF").
std::string RebuildIndexQuestion(const std::string& error, const std::string& label);

// True when the failing table is one whose index this tool may rebuild.
bool IsOwnIndexedTable(const store::IndexError& e);

// Asks whether to rebuild the index of the table that failed and, when the
// answer is "&Si", closes the window's tables and rebuilds it. True when the
// index was rebuilt; false when the table is not one of the tool's own or
// the user said no. Errors of the rebuild itself are thrown.
bool OfferIndexRebuild(chain::UserInterface& ui, const store::IndexError& e, chain::MainTables& tables);

}  // namespace app
