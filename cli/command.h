#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/error.h"

// The frame every subcommand of vrbx-tool fits into. A command group (one file per group)
// describes its commands with Command records; the dispatcher parses the command line against
// the record, so every command gets the same "--help", option and argument checks.
namespace verbalon::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // an error, or a problem that verify found
inline constexpr int kExitUsage = 2;

// The command line does not fit the command: an unknown option, too few or too many arguments.
class EUsageError : public Error {
 public:
  using Error::Error;
};

// A failure of the tool's own, outside the core: a file that cannot be read or written, a name
// that cannot be stored, a folder that is in the way.
class EToolError : public Error {
 public:
  using Error::Error;
};

// Where a command writes. Output that scripts read goes to out, errors to err.
struct Console {
  std::ostream& out;
  std::ostream& err;
  // err is a terminal, where progress can be one line that changes in place.
  bool interactive = false;
};

// A command line checked against its command: the options given and the arguments, in order.
class Arguments {
 public:
  Arguments(std::vector<std::string> options, std::vector<std::string> positional,
            std::vector<std::pair<std::string, std::string>> values = {})
      : m_options(std::move(options)),
        m_positional(std::move(positional)),
        m_values(std::move(values)) {}
  bool has(std::string_view option) const;
  // The value given to an option that takes one ("--app" for "--app=" in Command::options);
  // the last one when it was given more than once.
  std::optional<std::string> value(std::string_view option) const;
  // Argument i (from 0), as typed (UTF-8).
  const std::string& operator[](size_t i) const { return m_positional.at(i); }
  size_t size() const { return m_positional.size(); }

 private:
  std::vector<std::string> m_options;
  std::vector<std::string> m_positional;
  std::vector<std::pair<std::string, std::string>> m_values;
};

struct Command {
  std::string_view name;
  std::string_view usage;    // what follows "vrbx-tool", e.g. "ls [--raw] PACKAGE"
  std::string_view summary;  // one line for the list of commands
  std::string_view help;     // the rest of "--help": what it does, what each argument means
  // Accepted options, e.g. "--raw". One written with a trailing "=" takes a value: "--app="
  // accepts "--app FOLDER" and "--app=FOLDER".
  std::vector<std::string_view> options;
  size_t argumentCount;
  // Returns the exit status; throws Error for a failure, which the dispatcher reports.
  int (*run)(const Arguments& arguments, Console& console);
  // Arguments that may follow the required ones.
  size_t optionalArguments = 0;
};

// Checks args (what follows the command name) against command. "--help" is handled by the
// dispatcher before this is called. "--" ends the options.
Arguments parseArguments(const Command& command, std::span<const std::string> args);

}  // namespace verbalon::cli
