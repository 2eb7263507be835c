#include "cli/Cli.h"
#include "session/HostSystem.h"

#include <iostream>

int main(int argc, char** argv) {
  quillon::PrepareTerminalOutput();
  return quillon::cli::RunCli(quillon::ProgramArguments(argc, argv), std::cout, std::cerr);
}
