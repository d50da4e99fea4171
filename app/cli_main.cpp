// transdae-cli: the batch front end. See app/cli_options.h for its options.
#include <iostream>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "app/program_environment.h"

int main(int argc, char** argv) {
  // Arguments and output are UTF-8 text on every system.
  const std::vector<std::string> args = app::CommandLineArguments(argc, argv);
  app::ConsoleStreams console;
  return app::RunBatch(args, std::cout, std::cerr);
}
