#pragma once

#include <QDialog>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/string_list.h"
#include "import/dictionary_source.h"

class QFrame;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
class QShowEvent;
class QCloseEvent;

namespace verbalon::session {
class Session;
}

namespace verbalon::ui {

namespace detail {
class GaugeProgress;
}

// What the installation dialog works on. The main window owns all of it for the whole run and
// outlives the dialog.
struct AddDictsContext {
  session::Session& session;     // `Dicts`, the combined index, the data folder
  std::function<void()> acExit;  // ends the program (the "&Yes" answers of the warnings)
  // Shows a dictionary's "~info.dat" text (Windows-1251): a double-click on its line.
  std::function<void(const std::string& info)> showDictInfo;
};

// TfAddDicts, the dictionary installation dialog "Установка словарей": lists the packages
// ("*.brd") of the data folder with their titles, checks the installed ones, and installs or
// removes one package at a time, showing the progress in its labels and gauge. Created once and
// reused: every showing rescans the folder.
//
// After the packages it lists the dictionary sources of other formats that the folder holds
// (see import::guessFormat), each as its title and "(импорт ФОРМАТ)", unless the package its
// import would write (import::defaultPackageName, beside it) is there already: then only that
// package is listed. Installing a source line imports the source into that package first, with
// the progress in the same labels and gauge, then installs the package; the list is rescanned
// afterwards, so the package line takes the source line's place.
//
// Installed dictionaries without their package follow the packages: one whose file is gone as
// its file name and «(файл не найден)», one whose file did not open at start-up (kept for the
// run) as its file name and «(не открывается, статьи недоступны)»; both are checked, and
// «Удалить» takes them out, which needs no file.
//
// Every installation or removal is saved at once. While one runs, window messages are let
// through now and then; the dialog's buttons are disabled and it cannot be closed meanwhile, so
// a second one cannot start.
//
// The controls carry their names as object names, for tests: lbDicts, btSetupOneDict, Button2,
// Button4, lb, lbCount, pb.
class TfAddDicts : public QDialog {
  Q_OBJECT

 public:
  TfAddDicts(AddDictsContext context, QWidget* parent = nullptr);
  ~TfAddDicts() override;

  // Set when an installation or removal has started; the main window refreshes its word list
  // and clears it.
  bool Modified = false;
  // The package named on the command line after "/di:", Windows-1251, ASCII letters in lower
  // case (see AutoInstallArgument). Compared with the lines of PackagePaths.
  std::string AutoInstallPath;

  // One line per listed package, in list order: DataDir + file name as Windows-1251, ASCII
  // letters in lower case. For comparison only: on Linux the lower-cased path may name no file.
  // A source line has the package its import would write, so "/di:" may name that.
  const StringList& PackagePaths() const { return m_packagePaths; }
  // The same packages as the scan found them; these are the paths that are opened. For a source
  // line, the package its import writes, which does not exist yet.
  const std::vector<std::filesystem::path>& PackageFiles() const { return m_packageFiles; }
  // Per line: the dictionary source it offers to import, as the scan found it; empty for a line
  // of a package.
  const std::vector<std::filesystem::path>& SourceFiles() const { return m_sourceFiles; }

  // The handlers. Each shows its errors in the application's error box and throws nothing.
  // Rescans the data folder and rebuilds the list; runs at every showing of the dialog.
  void FormShow();
  // "Установить": installs the selected package and saves the index.
  void btSetupOneDictClick();
  // "Удалить": removes the selected package and saves the index.
  void Button2Click();
  // "Закрыть".
  void Button4Click();
  // Puts back a check mark the user toggled: the marks show only what is installed.
  void lbDictsClickCheck(QListWidgetItem* item);
  // A double-click on a line: the package's "~info.dat" through showDictInfo, from its slot when
  // installed, otherwise read from the package for the moment; for a source line, a few lines
  // naming its format and file.
  void lbDictsDblClick();

  // The main window's actions. refresh redraws the main window's word list, scroll bar and
  // status bar; it is called, and Modified cleared, when something was installed or removed.
  //
  // acAddDicts: shows the dialog modally. Does nothing while an installation or removal runs.
  void acAddDictsExecute(const std::function<void()>& refresh);
  // acAutoAddDict: AutoInstall, then, when it completed, refresh and the question whether to
  // end the program (AskExitAfterAutoInstall).
  void acAutoAddDictExecute(const std::function<void()>& refresh);
  // acAutoAddDict's first steps: shows the dialog without making it modal, selects the line
  // whose PackagePaths entry equals AutoInstallPath, and presses "Установить". Returns false
  // when the press ended by an error (already shown), for instance because no line matched;
  // true when it ran to its end, also when it only said the package is installed already.
  // False at once while another installation or removal runs.
  bool AutoInstall();
  // "Установка словаря завершена..." with "&Yes" and "&No"; "&Yes" runs acExit.
  void AskExitAfterAutoInstall();

  // The package path of a first command-line argument that contains "/di:" (in any ASCII case):
  // the argument trimmed of blanks and control characters, from its fifth character on, in
  // Windows-1251 with its ASCII letters in lower case. No value when there is no "/di:".
  static std::optional<std::string> AutoInstallArgument(const QString& firstArgument);

  // Escape and the window's close button do nothing while an installation or removal runs.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildForm();
  void addLine(const std::filesystem::path& file);
  // An installed dictionary whose package the data folder no longer holds: its file name,
  // marked «(файл не найден)», checked, so that «Удалить» takes it out.
  void addMissingLine(const std::string& name);
  void appendPackageLine(const std::filesystem::path& file, bool installable, const QString& text);
  void addSourceLine(const std::filesystem::path& source, import::SourceFormat format);
  // Writes the package of a source line; the error names the source, in Russian.
  void importSource(size_t line);
  // After an import: rescans, when the package was written, and selects its line.
  void relistImported(const std::filesystem::path& package);
  // The selected line; throws the list's index error when there is none.
  int selectedLine() const;
  // The slot of `Dicts` that holds the package of line, or -1.
  int slotOf(int line) const;
  void showInstalled(int line);
  void setButtonsEnabled(bool enabled);
  bool setupOneDict();
  // Runs body as one installation or removal of the package of line: refused when the index
  // refuses changes, else Modified set, busy, buttons disabled, and afterwards the gauge hidden
  // and the line's check mark brought up to date.
  void runOperation(int line, const std::function<void()>& body);

  AddDictsContext m_context;
  StringList m_packagePaths;
  std::vector<std::filesystem::path> m_packageFiles;
  std::vector<std::filesystem::path> m_sourceFiles;
  std::vector<std::optional<import::SourceFormat>> m_sourceFormats;
  // Per line: false when the file name cannot be written in Windows-1251.
  std::vector<bool> m_installable;
  bool m_busy = false;
  bool m_settingCheck = false;

  QWidget* m_panel1 = nullptr;
  QPushButton* m_btSetupOneDict = nullptr;
  QPushButton* m_button2 = nullptr;
  QPushButton* m_button4 = nullptr;
  QListWidget* m_lbDicts = nullptr;
  QFrame* m_panel3 = nullptr;
  QLabel* m_lbCount = nullptr;
  QLabel* m_lb = nullptr;
  QProgressBar* m_pb = nullptr;
  std::unique_ptr<detail::GaugeProgress> m_progress;
};

}  // namespace verbalon::ui
