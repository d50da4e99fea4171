// transdae-cli: the batch front end. See app/cli_options.h for its options.
#include <iostream>
#include <string>
#include <vector>

#include "app/batch_run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return app::RunBatch(args, std::cout, std::cerr);
}
