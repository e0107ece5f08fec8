#include "cli/dispatcher.h"

#include <algorithm>
#include <vector>

#include "cli/check_command.h"
#include "cli/dict_commands.h"
#include "cli/dict_source_commands.h"
#include "cli/read_commands.h"
#include "cli/suggest_commands.h"
#include "cli/transfer_commands.h"

namespace verbalon::cli {
namespace {

const std::vector<Command>& allCommands() {
  static const std::vector<Command> commands = [] {
    std::vector<Command> all;
    for (std::vector<Command> group : {readCommands(), transferCommands(), dictCommands(),
                                       checkCommands(), dictSourceCommands(), suggestCommands()}) {
      all.insert(all.end(), group.begin(), group.end());
    }
    return all;
  }();
  return commands;
}

void printOverview(std::ostream& out) {
  out << "Usage: vrbx-tool COMMAND [ARGUMENTS]\n"
         "Reads and writes packages, the compound files that hold dictionaries and the\n"
         "program's resources. Names and paths are given and shown in UTF-8; a storage path\n"
         "separates names with \"\\\".\n\nCommands:\n";
  for (const Command& command : allCommands()) {
    out << "  " << command.usage << "\n      " << command.summary << "\n";
  }
  out << "\n\"vrbx-tool COMMAND --help\" describes one command.\n";
}

void printHelp(const Command& command, std::ostream& out) {
  out << "Usage: vrbx-tool " << command.usage << "\n"
      << command.summary << ".\n\n"
      << command.help << "\n";
}

bool asksForHelp(std::span<const std::string> args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

// "vrbx-tool --app FOLDER COMMAND ..." as "vrbx-tool COMMAND --app FOLDER ...": the application
// folder may also come before the command, as the program's folder option reads.
std::vector<std::string> commandFirst(std::span<const std::string> args) {
  std::vector<std::string> moved(args.begin(), args.end());
  size_t optionLength = 0;
  if (!moved.empty() && moved[0].starts_with("--app=")) optionLength = 1;
  if (moved.size() >= 2 && moved[0] == "--app") optionLength = 2;
  if (optionLength > 0 && moved.size() > optionLength) {
    std::rotate(moved.begin(), moved.begin() + static_cast<std::ptrdiff_t>(optionLength),
                moved.begin() + static_cast<std::ptrdiff_t>(optionLength) + 1);
  }
  return moved;
}

}  // namespace

int runTool(std::span<const std::string> given, Console& console) {
  const std::vector<std::string> reordered = commandFirst(given);
  const std::span<const std::string> args(reordered);
  if (args.empty()) {
    printOverview(console.err);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    printOverview(console.out);
    return kExitOk;
  }
  const auto& commands = allCommands();
  const auto command = std::find_if(commands.begin(), commands.end(),
                                    [&](const Command& c) { return c.name == args[0]; });
  if (command == commands.end()) {
    console.err << "vrbx-tool: unknown command \"" << args[0] << "\"\n";
    printOverview(console.err);
    return kExitUsage;
  }
  const std::span<const std::string> rest = args.subspan(1);
  if (asksForHelp(rest)) {
    printHelp(*command, console.out);
    return kExitOk;
  }
  try {
    return command->run(parseArguments(*command, rest), console);
  } catch (const EUsageError& e) {
    console.err << "vrbx-tool " << command->name << ": " << e.what() << "\n"
                << "Usage: vrbx-tool " << command->usage << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    // Error messages, the core's included, are UTF-8.
    console.err << "vrbx-tool " << command->name << ": " << e.what() << "\n";
  }
  return kExitFailure;
}

}  // namespace verbalon::cli
