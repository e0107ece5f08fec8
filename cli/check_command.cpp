#include "cli/check_command.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/app_folder.h"
#include "session/folder_check.h"

namespace verbalon::cli {
namespace {

// An argument as a shell reads it back: as it is when it holds nothing the shell treats
// specially, otherwise in single quotes.
std::string shellWord(std::string_view text) {
  constexpr std::string_view kPlain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=.,:/@%";
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
    return kPlain.find(c) != std::string_view::npos || static_cast<unsigned char>(c) >= 0x80;
  });
  if (plain) return std::string(text);
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

// The mends as command lines of this tool, for the folder the check was run on.
class MendPrinter {
 public:
  MendPrinter(const Arguments& arguments, const std::filesystem::path& appDir, std::ostream& out)
      : m_out(out), m_package(shellWord((appDir / "vrbx.pde").string())) {
    if (std::optional<std::string> app = arguments.value("--app")) {
      m_app = " --app " + shellWord(*app);
    }
  }

  void print(const session::FolderMend& mend) {
    using Kind = session::FolderMend::Kind;
    switch (mend.kind) {
      case Kind::EmptyHistory:
        m_out << "  # an empty history\n";
        emptyStream("history.dat");
        break;
      case Kind::Remove:
        m_out << "  # " << mend.dictionaries.front()
              << " taken out, since its package does not open\n"
              << "  " << dictCommand("remove", mend.dictionaries.front()) << "\n";
        break;
      case Kind::Reinstall:
        m_out << "  # the parts of " << mend.dictionaries.front() << " written anew\n"
              << "  " << dictCommand("remove", mend.dictionaries.front()) << " && "
              << dictCommand("install", mend.dictionaries.front()) << "\n";
        break;
      case Kind::RebuildIndex:
        m_out << "  # a new index, with the dictionaries that load installed again\n";
        for (const char* stream : {"items.dat", "index.dat", "addeddicts.dat"}) {
          emptyStream(stream);
        }
        for (const std::string& name : mend.dictionaries) {
          m_out << "  " << dictCommand("install", name) << "\n";
        }
        if (!mend.dictionariesKnown) {
          m_out << "  # then install your dictionaries again: " << dictCommand("install", "NAME")
                << "\n";
        }
        break;
    }
  }

 private:
  void emptyStream(const char* stream) {
    m_out << "  vrbx-tool put " << m_package << " " << stream << " /dev/null\n";
  }
  std::string dictCommand(const char* command, const std::string& name) const {
    return std::string("vrbx-tool ") + command + m_app + " " + shellWord(name);
  }

  std::ostream& m_out;
  std::string m_package;
  std::string m_app;
};

int runCheck(const Arguments& arguments, Console& console) {
  const session::AppLocation location = appLocation(arguments);
  const session::FolderCheck check = session::checkAppFolder(location);
  if (check.ok()) {
    console.out << "OK: " << check.words << " words, " << check.dictionaries << " dictionaries\n";
    return kExitOk;
  }
  size_t total = 0;
  for (size_t k = 0; k < session::kProblemKinds; ++k) {
    const auto kind = static_cast<session::ProblemKind>(k);
    size_t shown = 0;
    for (const session::FolderProblem& problem : check.problems) {
      if (problem.kind != kind) continue;
      console.out << problem.stream;
      if (problem.line) console.out << ":" << *problem.line;
      console.out << ": " << problem.text << "\n";
      ++shown;
    }
    if (check.count(kind) > shown) {
      console.out << "  ... and " << check.count(kind) - shown << " more like this\n";
    }
    total += check.count(kind);
  }
  if (!check.mends.empty()) {
    console.out << "To mend (with the program closed):\n";
    MendPrinter printer(arguments, location.appDir, console.out);
    for (const session::FolderMend& mend : check.mends) {
      printer.print(mend);
    }
  }
  console.out << total << (total == 1 ? " problem" : " problems") << " found\n";
  return kExitFailure;
}

}  // namespace

std::vector<Command> checkCommands() {
  static const std::string help =
      "Reads \"vrbx.pde\" and every installed package read-only, sharing them with other\n"
      "readers, and changes nothing. Checks that \"items.dat\", \"index.dat\", \"addeddicts.dat\"\n"
      "and \"history.dat\" exist and decompress; that \"items.dat\" and \"index.dat\" have as "
      "many\n"
      "lines as each other; that the words ascend by key with no two keys equal; that every\n"
      "listed package exists and opens; and that every part of every index entry names a\n"
      "dictionary that loads and a line that its item stream has.\n"
      "Prints \"OK: N words, M dictionaries\" when all is well. Otherwise prints each problem as\n"
      "STREAM:LINE: TEXT (lines counted from 0, as index entries and dictionary numbers count\n"
      "them; at most 20 of each kind, with the count of the rest), then the commands that mend\n"
      "them, and exits with status 1.\n" +
      std::string(kAppFolderHelp);
  return {
      {"check",
       "check [--app FOLDER]",
       "Check an application folder's index, dictionary list and history",
       help,
       {"--app="},
       0,
       runCheck},
  };
}

}  // namespace verbalon::cli
