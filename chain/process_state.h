// Process-wide values shared by the windows and the steps of both chains.
#pragma once
#include <string>

namespace chain {

struct ProcessState {
  int resultCode = 0;     // written to Dolvarin.ini on close (embedded only)
  int workflowFlag = 0;   // 0 none pending; 1 waiting/fresh/repeat; 4 no file
  bool embedded = false;  // started with two arguments, parent applied
  std::string rutaDAE;    // DAE folder handed to the timetable file writer
  int incidencia = 0;     // coding window status: 0 or 4
  // This import run's folder of copies of the timetabling product's tables;
  // "" until the run has copied one. Cleared when an import chain starts.
  std::string backupFolder;
};

// The one instance of the running process.
ProcessState& Process();

}  // namespace chain
