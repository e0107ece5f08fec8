#include "cli/command.h"

#include <algorithm>

namespace verbalon::cli {

bool Arguments::has(std::string_view option) const {
  return std::find(m_options.begin(), m_options.end(), option) != m_options.end();
}

std::optional<std::string> Arguments::value(std::string_view option) const {
  std::optional<std::string> found;
  for (const auto& [name, value] : m_values) {
    if (name == option) found = value;
  }
  return found;
}

Arguments parseArguments(const Command& command, std::span<const std::string> args) {
  std::vector<std::string> options;
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> values;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const bool takesValue = std::find(command.options.begin(), command.options.end(), name + "=") !=
                            command.options.end();
    if (!optionsEnded && arg.size() > 1 && arg[0] == '-' && takesValue) {
      if (equals != std::string::npos) {
        values.emplace_back(name, arg.substr(equals + 1));
      } else if (i + 1 < args.size()) {
        values.emplace_back(name, args[++i]);
      } else {
        throw EUsageError("option " + name + " needs a value");
      }
    } else if (!optionsEnded && arg == "--") {
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
  if (positional.size() < command.argumentCount) throw EUsageError("missing arguments");
  if (positional.size() > command.argumentCount + command.optionalArguments) {
    throw EUsageError("too many arguments");
  }
  return Arguments(std::move(options), std::move(positional), std::move(values));
}

}  // namespace verbalon::cli
