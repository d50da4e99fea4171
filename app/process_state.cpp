#include "app/process_state.h"

namespace app {

ProcessState& Process() {
  static ProcessState state;
  return state;
}

}  // namespace app
