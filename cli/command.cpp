#include "cli/command.h"

#include <algorithm>

namespace verbalon::cli {

bool Arguments::has(std::string_view option) const {
  return std::find(m_options.begin(), m_options.end(), option) != m_options.end();
}

Arguments parseArguments(const Command& command, std::span<const std::string> args) {
  std::vector<std::string> options;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      if (std::find(command.options.begin(), command.options.end(), arg) == command.options.end()) {
        throw EUsageError("unknown option " + arg);
      }
      options.push_back(arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != command.argumentCount) {
    throw EUsageError(positional.size() < command.argumentCount ? "missing arguments"
                                                                : "too many arguments");
  }
  return Arguments(std::move(options), std::move(positional));
}

}  // namespace verbalon::cli
