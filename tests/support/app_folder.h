#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "index/install_progress.h"
#include "session/session.h"
#include "support/temp_folder.h"

// A temporary application folder, as the program and the tool find one: a fresh copy of the
// resource package the build packed (the package beside the program may hold a developer's own
// index) and an empty data folder. The user links session.
namespace verbalon::testing {

class AppFolder {
 public:
  AppFolder() : m_path(m_temp.path() / "App") {
    std::filesystem::create_directories(dataDir());
    std::filesystem::copy_file(VERBALON_PACKED_RESOURCES, m_path / "vrbx.pde");
  }
  AppFolder(const AppFolder&) = delete;
  AppFolder& operator=(const AppFolder&) = delete;

  // The folder's name has a capital letter, so lower-cased paths of it name no folder.
  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path dataDir() const { return m_path / "data"; }

  // A copy of a sample package of the build ("tolk", "sinonim", "sokr") under name, which may
  // name a subfolder of the data folder.
  void addPackage(const std::string& sample, const std::filesystem::path& name) const {
    std::filesystem::create_directories((dataDir() / name).parent_path());
    std::filesystem::copy_file(samples() / (sample + ".brd"), dataDir() / name);
  }
  // Every sample package of the build, each under its own name.
  void addSamples() const {
    for (const auto& entry : std::filesystem::directory_iterator(samples())) {
      if (entry.path().extension() == ".brd") {
        std::filesystem::copy_file(entry.path(), dataDir() / entry.path().filename());
      }
    }
  }
  // A dictionary source of another format, its bytes as given.
  void addSource(const std::filesystem::path& name, const std::string& bytes) const {
    std::filesystem::create_directories((dataDir() / name).parent_path());
    std::ofstream(dataDir() / name, std::ios::binary) << bytes;
  }

  // Installs the named packages of the data folder, in this order, as one run of the program
  // would, and saves the index. Requires: nothing holds the resource package open.
  void install(std::initializer_list<const char*> names) const {
    session::Session run(m_path);
    run.LoadIndex();
    index::NoProgress progress;
    for (const char* name : names) {
      run.install(dataDir() / name, progress);
    }
  }

 private:
  static std::filesystem::path samples() {
    return std::filesystem::path(VERBALON_APP_DIR) / "data";
  }

  TempFolder m_temp;
  std::filesystem::path m_path;
};

// An application folder with every sample package of the build in its data folder and the named
// ones installed: where the window tests start.
class SampleAppFolder : public AppFolder {
 public:
  explicit SampleAppFolder(std::initializer_list<const char*> installed = {}) {
    addSamples();
    if (installed.size() > 0) install(installed);
  }
};

}  // namespace verbalon::testing
