// What every step of a chain is given: the user, the process state, the
// work folder and the DAE folder.
#pragma once
#include <filesystem>
#include <string>

#include "chain/process_state.h"
#include "chain/user_interface.h"

namespace chain {

struct StepContext {
  UserInterface& ui;
  ProcessState& state;
  std::filesystem::path workFolder;  // every table lives here
  std::string daeFolder;             // ends with a path separator
};

}  // namespace chain
