#include "chain/process_state.h"

namespace chain {

ProcessState& Process() {
  static ProcessState state;
  return state;
}

}  // namespace chain
