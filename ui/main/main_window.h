#pragma once

#include <QMainWindow>
#include <QStringList>
#include <QUrl>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/string_list.h"
#include "index/word_filter.h"
#include "index/word_index.h"
#include "main/list_fit.h"
#include "session/session.h"
#include "storage/compound_file.h"
#include "storage/memory_stream.h"

class QAction;
class QLineEdit;
class QListView;
class QListWidget;
class QScrollBar;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QComboBox;
class QProgressBar;
class QPushButton;
class QLabel;
class QMenu;
class QSystemTrayIcon;

namespace verbalon::ui {

class GlobalHotKeys;
class FilterResultModel;
class TfAddDicts;
class TfDictInfo;
class TfDicts;
class THTMLViewer;
class TfLogo;
class TfSet;

namespace detail {
class FindAids;
class TfMainProbe;
}  // namespace detail

// The main window: the word list on the left (the full list, page by page, the filter result
// and the history on three tabs under the find box) and the article view on the right. It owns
// the resource package, the installed dictionaries and every shared list for the whole run.
//
// Life: construct (the form), FormCreate (the resource package and the templates; the program
// ends when it fails), show (the first showing loads the index; for each installed package
// that cannot be opened it asks whether to take the dictionary out, keep it for the run without
// its articles, or end the program: UnopenedPackageBox), close (hides or minimises: only acExit
// really closes, and then FormDestroy saves the history).
//
// Every handler runs its body through guarded(): an error is shown in the application's error
// box and ends that handler, never the event loop. The handlers are private: a person reaches
// them through the controls, the desktop through the notification area and the hot key.
//
// The controls carry their names as object names, for tests: me, tb, cbSet, meFind, btFind,
// pcList, tsFull, tsFiltered, tsHistory, lbWord, sbWord, lbFiltered, lbHistory, Button1,
// Button2, Splitter1, statusPanels0 to statusPanels3 (the status bar's panels, left to right),
// pbLoad (the status bar's gauge while start-up takes out a dictionary), tmShow; the actions
// acAddDicts, acAbout, acFilter, acShowMainForm, acExit, acSets; the notification area's tiTray and
// pmTray (from FormCreate on); and the secondary windows fLogo, fSet, fDicts, fAddDicts, fDictInfo
// (from createSecondaryWindows on). The installation dialog has a "Button2" of its own: look the
// history's buttons up under tsHistory.
class TfMain final : public QMainWindow {
  Q_OBJECT

 public:
  // appDir holds "vrbx.pde" and the data folder "data"; sharedDataDirs are the read-only
  // folders of the packages installed with the program; arguments are the command-line
  // arguments after the program's name (only the first is looked at).
  TfMain(std::filesystem::path appDir, QStringList arguments, QWidget* parent = nullptr,
         std::vector<std::filesystem::path> sharedDataDirs = {});
  ~TfMain() override;

  // Opens the resource package and reads the templates and the advertisement records. False,
  // after the error box, when that fails: the window cannot work then.
  bool FormCreate();

  // Creates the secondary windows, hidden, after the main window: the splash window (shown at
  // once, closed by the first showing once the word list is filled, and the about window
  // afterwards), the sets dialog, the installed-dictionaries chooser, the installation dialog
  // and the dictionary information window. Requires: FormCreate succeeded.
  void createSecondaryWindows();
  // The installation dialog's actions, which refresh the window after a change: acAddDicts
  // (modal) and acAutoAddDict (installs the package named after "/di:", given in
  // Windows-1251). createSecondaryWindows connects them to the dialog.
  std::function<void()> addDictsDialog;
  std::function<void(const std::string& autoInstallPath)> autoAddDict;
  // Opens a web address with the desktop's handler; tests replace it.
  std::function<void(const QUrl&)> openUrl;
  // Where Hunspell's dictionaries are looked for, for the filter's dictionary forms; tests point
  // it elsewhere before the find box is first used.
  void setHunspellFolder(std::filesystem::path folder);
  // Whether the desktop has a notification area now; tests replace it.
  std::function<bool()> notificationAreaAvailable;

  // A second start of the program handed its command line over (the arguments after the
  // program's name): "/di:PATH" first installs that package, as at start-up, in the window
  // brought back; anything else brings the window back as "Открыть" does. While a dialog of
  // the program waits for an answer, only that dialog comes forward.
  void secondStart(const QStringList& arguments);

  // The data, for the dialogs and tests.
  // The run over the application folder; exists once FormCreate succeeded.
  session::Session& session() { return *m_session; }
  // The combined index; empty until FormCreate opened the resource package.
  index::WordIndex& wordIndex() { return m_session ? m_session->index() : m_noIndex; }
  const std::filesystem::path& AppDir() const { return m_appDir; }
  const std::filesystem::path& DataDir() const { return m_dataDir; }

  // What the word list and the article view show, as tests and benchmarks observe it.
  // The line of `slWord` at the top of the page, and the line last chosen for the article view.
  int32_t topWord() const { return m_topWord; }
  int32_t curWord() const { return m_curWord; }
  // The words of the page, as lbWord holds them.
  const StringList& slPage() const { return m_slPage; }
  // The last filter result: its words and their lines of `slWord`.
  const index::TFilteredListWord& flFiltered() const { return m_flFiltered; }
  // How many article pages have been loaded into the view this run.
  int articlesShown() const { return m_articlesShown; }
  // The rows of a page: as many as lbWord shows, and one more; at least 1.
  int pageRows() const;
  // The atoms registered for the hot key, the current one last.
  const std::vector<int32_t>& hotKeyIds() const { return m_hotKeyIds; }

  // After the installation dialog changed the index: the page, the status bar, the scroll bar
  // and the filter result follow it.
  void RefreshAfterInstall();
  // The status bar's counts.
  void RefreshStatus();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class detail::TfMainProbe;

  void buildForm();
  QWidget* buildWordPanel();
  void connectHandlers();
  void FormShow();
  void firstShow();
  void FormClose(QCloseEvent* event);
  void FormDestroy();
  void acExitExecute();
  void acShowMainFormExecute();

  // The word list (page, scroll bar, keys, resizing).
  void ShowPage(int64_t start);
  // Where the last page starts for the rows of a page now: its last word on the last whole row.
  int64_t lastStart();
  void AdjustWordScroll();
  void sbWordScroll(int action, int position);
  void lbWordKeyDown(int key);
  void lbWordClick();
  void FormResize();

  // The article view.
  void startShowTimer(int32_t word);
  void tmShowTimer();
  void ShowArticle(int32_t w);
  // Tells, once in a run for each package, which dictionaries could not give their articles;
  // the pages show a note in their place every time.
  void reportBrokenDictionaries();
  std::string_view meImageRequest(const std::string& source);
  std::string_view mehtStreamRequest(const std::string& target);
  void meHotSpotClick(const std::string& url, bool& handled);
  void meMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers keys, QPoint point);

  // The notification area and the system-wide hot key Ctrl+Alt+D.
  void createNotificationArea();
  // Where the closed window goes: hidden behind the icon, or, where the desktop has no
  // notification area, minimised, with a word to the user the first time.
  void putAway();
  void watchNotificationArea();
  void RegisterShowHotKey();
  void UnregisterShowHotKey();
  void WMHotKey(int32_t id);
  void TIoDblClick();

  // The filter and the history.
  void acFilterExecute();
  void meFindKeyDown(int key);
  // After a filter run with matches: the first match chosen, as a click on it would.
  void showFirstMatch();
  // Down in the find box: the focus goes to the result list on show (the filter result on the
  // tab "Фильтр", the full list otherwise), on its current row, or on its first.
  void enterResultList();
  void lbFilteredClick();
  void lbHistoryDblClick();
  void Button1Click();
  void Button2Click();
  // Fills the filter result for q, with suggestions when nothing matches or q is a pattern; the
  // last q is kept, so the result can be made again.
  void filterBy(const std::string& q);
  // lbFiltered's rows for the last query: its matches, then the suggestions.
  void showFilterRows();

  // The full list follows the typing: the page from the first word whose key is not less than
  // the find box's text, that word chosen. Waits for the keys when they are not built yet.
  void meFindChange();
  void followFindBox();
  // The worker of the find box built something: what waited for it runs now.
  void findAidsLanded();
  // Runs change, which may install or remove dictionaries, while nothing reads the word list
  // on another thread.
  void changeIndex(const std::function<void()>& change);
  // lbHistory := a copy of `slHistory`.
  void showHistory();
  void saveHistory();

  // The form's controls, named as the handlers know them; the window owns them all.
  THTMLViewer* me = nullptr;
  QToolBar* tb = nullptr;
  QComboBox* cbSet = nullptr;
  QLineEdit* meFind = nullptr;
  QToolButton* btFind = nullptr;
  QTabWidget* pcList = nullptr;
  QWidget* tsFull = nullptr;
  QWidget* tsFiltered = nullptr;
  QWidget* tsHistory = nullptr;
  QListWidget* lbWord = nullptr;
  QScrollBar* sbWord = nullptr;
  QListView* lbFiltered = nullptr;
  QListWidget* lbHistory = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QSplitter* Splitter1 = nullptr;
  QLabel* statusPanels[4] = {};
  QProgressBar* pbLoad = nullptr;
  QTimer* tmShow = nullptr;
  QAction* acAddDicts = nullptr;
  QAction* acAbout = nullptr;
  QAction* acFilter = nullptr;
  QAction* acShowMainForm = nullptr;
  QAction* acExit = nullptr;
  QAction* acSets = nullptr;
  QSystemTrayIcon* tiTray = nullptr;
  QMenu* pmTray = nullptr;
  QTimer* m_trayWatch = nullptr;  // looks for a notification area while there is none
  TfLogo* fLogo = nullptr;
  TfSet* fSet = nullptr;
  TfDicts* fDicts = nullptr;
  TfDictInfo* fDictInfo = nullptr;
  TfAddDicts* fAddDicts = nullptr;

  std::filesystem::path m_appDir;
  std::filesystem::path m_dataDir;
  std::vector<std::filesystem::path> m_sharedDataDirs;
  QStringList m_arguments;
  int m_panelWidth = 0;
  GlobalHotKeys* m_hotKeys = nullptr;
  std::vector<int32_t> m_hotKeyIds;

  bool m_firstShow = false;
  bool m_closeHandlerAttached = true;
  bool m_toldMinimised = false;
  bool m_destroyed = false;
  int32_t m_curWord = 0;
  int32_t m_topWord = 0;
  int32_t m_cntWords = 0;
  int32_t m_cntArticles = 0;
  int32_t m_cntAvailable = 0;
  int32_t m_cntFilter = 0;
  int m_articlesShown = 0;

  std::unique_ptr<session::Session> m_session;
  index::WordIndex m_noIndex;  // what wordIndex() gives before the session opens
  index::TFilteredListWord m_flFiltered;
  std::optional<std::string> m_lastQuery;  // none before the first filter run
  StringList m_slPage;
  FilterResultModel* m_filteredModel = nullptr;
  ListColumnFit m_listFit;
  // The typed text waits for the keys to be followed; m_choices counts the words chosen for the
  // article view, so a late follow does not override a choice made meanwhile.
  bool m_followPending = false;
  int m_choices = 0;
  int m_choicesAtEdit = 0;
  // The suggestions shown lack sources still being built.
  bool m_suggestionsPending = false;
  // Declared last: its worker reads the word list of m_session, so it stops first.
  std::unique_ptr<detail::FindAids> m_findAids;
};

}  // namespace verbalon::ui
