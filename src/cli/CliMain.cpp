#include "cli/Cli.h"

#include <iostream>

int main(int argc, char** argv) {
  return quillon::cli::RunCli(argc, argv, std::cout, std::cerr);
}
