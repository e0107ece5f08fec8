#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/dispatcher.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  verbalon::cli::Console console{std::cout, std::cerr, isatty(STDERR_FILENO) == 1};
  const int status = verbalon::cli::runTool(args, console);
  std::cout.flush();
  return std::cout ? status : verbalon::cli::kExitFailure;
}
