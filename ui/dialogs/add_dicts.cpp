#include "dialogs/add_dicts.h"

#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "common/cp1251.h"
#include "common/error.h"
#include "dialogs/detail/gauge_progress.h"
#include "dicts/dict_package.h"
#include "dirscan/directory_scanner.h"
#include "import/importer.h"
#include "import/source_title.h"
#include "index/install_progress.h"
#include "index/throttled_progress.h"
#include "index/word_index.h"
#include "qtglue/error_box.h"
#include "qtglue/error_text.h"
#include "qtglue/qt_text.h"
#include "session/session.h"

namespace verbalon::ui {
namespace {

namespace fs = std::filesystem;

// RGB(245, 250, 201), the background of the program's lists.
const QColor kListColour(245, 250, 201);
const QColor kBarColour(0, 0, 128);

const std::string& textNoDicts() {
  static const std::string text = cp1251::fromUtf8(
      "Не установлено ни одного словаря для этой словарной оболочки. \r\n"
      "Необходимо установить словари и перезапустить программу.\r\n"
      "Прервать работу программы для установки словарей?");
  return text;
}

const std::string& textAlreadyInstalled() {
  static const std::string text = cp1251::fromUtf8("Выбранный словарь уже установлен");
  return text;
}

const std::string& textNotInstalled() {
  static const std::string text = cp1251::fromUtf8("Выбранный словарь не установлен");
  return text;
}

const std::string& textUnwritableName() {
  static const std::string text = cp1251::fromUtf8(
      "Имя файла этого словаря содержит знаки, которых нет в кодировке Windows-1251, "
      "поэтому словарь нельзя установить. Переименуйте файл и откройте окно снова.");
  return text;
}

const std::string& textAutoInstallDone() {
  static const std::string text = cp1251::fromUtf8(
      "Установка словаря завершена. \r\n"
      "Прервать работу программы для установки других словарей?");
  return text;
}

// The files a source line may offer; import::guessFormat has the last word, since the scanner
// finds the mask anywhere in a name.
constexpr const char* kSourceMask = "(?i)\\.(index|ifo|dsl|dsl\\.dz|txt|tsv)$";

QString formatLabel(import::SourceFormat format) {
  switch (format) {
    case import::SourceFormat::kDictd:
      return QStringLiteral("импорт dictd");
    case import::SourceFormat::kStarDict:
      return QStringLiteral("импорт StarDict");
    case import::SourceFormat::kDsl:
      return QStringLiteral("импорт DSL");
    case import::SourceFormat::kTab:
      return QStringLiteral("импорт текста");
  }
  return {};
}

std::string formatDescription(import::SourceFormat format) {
  switch (format) {
    case import::SourceFormat::kDictd:
      return "dictd";
    case import::SourceFormat::kStarDict:
      return "StarDict";
    case import::SourceFormat::kDsl:
      return "DSL";
    case import::SourceFormat::kTab:
      return cp1251::fromUtf8("текст, разделённый табуляцией");
  }
  return {};
}

// What a double-click on a source line shows: the source is no package yet, so it has no
// "~info.dat" to show.
std::string sourceInfo(const fs::path& source, import::SourceFormat format,
                       const fs::path& package) {
  return cp1251::fromUtf8("Источник словаря для импорта\r\nФормат: ") + formatDescription(format) +
         cp1251::fromUtf8("\r\nФайл: ") + cp1251::fromUtf8(source.string()) +
         cp1251::fromUtf8("\r\n\r\n«Установить» создаст из него словарь ") +
         cp1251::fromUtf8(package.filename().string()) + cp1251::fromUtf8(" и установит его.");
}

// What a list line says instead of the title of a file that cannot be installed.
QString noteUnwritableName() {
  return QStringLiteral(
      " — имя файла не записывается в кодировке Windows-1251, словарь нельзя "
      "установить");
}

QString noteUnreadable() {
  return QStringLiteral(" — не читается: ");
}

// Installed dictionaries without their package: one whose file is gone, and one whose file
// did not open at start-up and was kept for the run.
QString noteMissingFile() {
  return QStringLiteral(" (файл не найден)");
}

QString noteUnopened() {
  return QStringLiteral(" (не открывается, статьи недоступны)");
}

// Installed packages keep their names in this form (and the command line's "/di:" path is
// compared in it); only ASCII letters change, so it works alike on UTF-8 and Windows-1251.
std::string lowerAscii(std::string_view text) {
  return cp1251::toLowerAscii(text);
}

// A file name the program could store.
bool writableInCp1251(const std::string& utf8) {
  return dicts::installedName(utf8).has_value();
}

// What a button that acts on the selected line says when no line is selected.
const char* const kChooseALine = "Выберите словарь в списке";

// Runs a function when the scope ends, however it ends.
template <typename F>
class OnExit {
 public:
  explicit OnExit(F f) : m_f(std::move(f)) {}
  ~OnExit() { m_f(); }
  OnExit(const OnExit&) = delete;
  OnExit& operator=(const OnExit&) = delete;

 private:
  F m_f;
};

}  // namespace

TfAddDicts::TfAddDicts(AddDictsContext context, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)) {
  buildForm();
  m_progress = std::make_unique<detail::GaugeProgress>(m_lb, m_lbCount, m_pb);
}

TfAddDicts::~TfAddDicts() = default;

void TfAddDicts::buildForm() {
  setWindowTitle(QStringLiteral("Установка словарей"));
  QFont formFont(QStringLiteral("MS Sans Serif"));
  formFont.setPixelSize(11);
  setFont(formFont);

  m_panel1 = new QWidget(this);
  m_panel1->setObjectName(QStringLiteral("Panel1"));
  m_panel1->setFixedWidth(105);
  m_btSetupOneDict = new QPushButton(QStringLiteral("Установить"), m_panel1);
  m_btSetupOneDict->setObjectName(QStringLiteral("btSetupOneDict"));
  m_btSetupOneDict->setGeometry(6, 8, 92, 25);
  m_button2 = new QPushButton(QStringLiteral("Удалить"), m_panel1);
  m_button2->setObjectName(QStringLiteral("Button2"));
  m_button2->setGeometry(6, 61, 92, 25);
  m_button4 = new QPushButton(QStringLiteral("Закрыть"), m_panel1);
  m_button4->setObjectName(QStringLiteral("Button4"));
  m_button4->setGeometry(6, 272, 92, 25);
  // Enter must not install whatever line is selected.
  for (QPushButton* button : {m_btSetupOneDict, m_button2, m_button4}) {
    button->setAutoDefault(false);
  }

  m_lbDicts = new QListWidget(this);
  m_lbDicts->setObjectName(QStringLiteral("lbDicts"));
  QPalette listPalette = m_lbDicts->palette();
  listPalette.setColor(QPalette::Base, kListColour);
  m_lbDicts->setPalette(listPalette);

  m_panel3 = new QFrame(this);
  m_panel3->setObjectName(QStringLiteral("Panel3"));
  m_panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_panel3->setFixedHeight(34);
  m_lbCount = new QLabel(m_panel3);
  m_lbCount->setObjectName(QStringLiteral("lbCount"));
  m_lbCount->setFixedHeight(13);
  m_lb = new QLabel(m_panel3);
  m_lb->setObjectName(QStringLiteral("lb"));
  m_lb->setFixedHeight(13);
  auto* labels = new QVBoxLayout(m_panel3);
  labels->setContentsMargins(4, 2, 4, 2);
  labels->setSpacing(2);
  labels->addWidget(m_lbCount);
  labels->addWidget(m_lb);

  m_pb = new QProgressBar(this);
  m_pb->setObjectName(QStringLiteral("pb"));
  m_pb->setFixedHeight(13);
  m_pb->setOrientation(Qt::Horizontal);
  m_pb->setTextVisible(true);
  m_pb->setAlignment(Qt::AlignCenter);
  QFont gaugeFont(QStringLiteral("Times New Roman"));
  gaugeFont.setPixelSize(11);
  m_pb->setFont(gaugeFont);
  QPalette gaugePalette = m_pb->palette();
  gaugePalette.setColor(QPalette::Base, kListColour);
  gaugePalette.setColor(QPalette::Window, kListColour);
  gaugePalette.setColor(QPalette::Highlight, kBarColour);
  m_pb->setPalette(gaugePalette);
  m_pb->hide();

  // The labels sit right above the gauge while it shows and at the bottom edge otherwise,
  // which a box layout does by itself when the gauge hides.
  auto* left = new QVBoxLayout;
  left->setContentsMargins(0, 0, 0, 0);
  left->setSpacing(0);
  left->addWidget(m_lbDicts, 1);
  left->addWidget(m_panel3);
  left->addWidget(m_pb);
  auto* form = new QHBoxLayout(this);
  form->setContentsMargins(0, 0, 0, 0);
  form->setSpacing(0);
  form->addLayout(left, 1);
  form->addWidget(m_panel1);

  resize(522, 331);
  const QScreen* screen =
      parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    move(screen->availableGeometry().center() - rect().center());
  }

  connect(m_btSetupOneDict, &QPushButton::clicked, this, &TfAddDicts::btSetupOneDictClick);
  connect(m_button2, &QPushButton::clicked, this, &TfAddDicts::Button2Click);
  connect(m_button4, &QPushButton::clicked, this, &TfAddDicts::Button4Click);
  connect(m_lbDicts, &QListWidget::itemChanged, this, &TfAddDicts::lbDictsClickCheck);
  connect(m_lbDicts, &QListWidget::itemDoubleClicked, this, &TfAddDicts::lbDictsDblClick);
}

void TfAddDicts::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window restored by the window system is not a new showing.
  if (!event->spontaneous()) {
    FormShow();
  }
}

// While an installation or removal lets window messages run, closing would let the main window
// refresh from lists that are still changing.
void TfAddDicts::closeEvent(QCloseEvent* event) {
  if (m_busy) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TfAddDicts::reject() {
  if (!m_busy) {
    QDialog::reject();
  }
}

void TfAddDicts::FormShow() {
  if (m_busy) {
    return;
  }
  m_lbDicts->clear();
  m_packagePaths.clear();
  m_packageFiles.clear();
  m_installable.clear();
  m_sourceFiles.clear();
  m_sourceFormats.clear();
  guarded(this, [this] {
    dirscan::TDirectoryScanner scanner;
    scanner.Recursive = false;
    scanner.Mask = "\\.brd";
    scanner.OnQuestion = [this](const std::string&, const std::string& text) {
      return askWarning(this, text);
    };
    scanner.Scan(m_context.session.DataDir());
    // The packages installed with the program, which the user's own of the same name hide.
    std::vector<fs::path> shared;
    for (const fs::path& folder : m_context.session.sharedDataDirs()) {
      dirscan::TDirectoryScanner sharedScanner;
      sharedScanner.Recursive = false;
      sharedScanner.Mask = scanner.Mask;
      sharedScanner.Scan(folder);
      for (const dirscan::TDirectoryScannerItem& item : sharedScanner.Items()) {
        shared.push_back(item.FileName);
      }
    }
    dirscan::TDirectoryScanner sources;
    sources.Recursive = false;
    sources.Mask = kSourceMask;
    sources.OnQuestion = scanner.OnQuestion;
    sources.Scan(m_context.session.DataDir());
    // A source found beside no package can be installed from this list, so the question
    // whether to end the program comes only when there is nothing at all to install.
    // Installed dictionaries whose files are all gone are still listed after a "No", so that
    // they can be removed.
    if (scanner.Items().empty() && shared.empty() && sources.Items().empty() &&
        askWarning(this, textNoDicts())) {
      if (m_context.acExit) {
        m_context.acExit();
      }
      return;
    }
    // Package names as the index compares them, so that "Mueller.brd" hides "mueller.dsl".
    std::unordered_set<std::string> packages;
    for (const dirscan::TDirectoryScannerItem& item : scanner.Items()) {
      addLine(item.FileName);
      packages.insert(lowerAscii(item.FileName.filename().string()));
    }
    for (const fs::path& file : shared) {
      if (packages.insert(lowerAscii(file.filename().string())).second) addLine(file);
    }
    // An installed dictionary whose file is gone can still be removed from here.
    for (const dicts::TDict& slot : m_context.session.index().Dicts()) {
      const std::string name = cp1251::toUtf8(slot.FileName);
      if (!slot.isEmptySlot() && packages.insert(lowerAscii(name)).second) {
        addMissingLine(name);
      }
    }
    for (const dirscan::TDirectoryScannerItem& item : sources.Items()) {
      const std::optional<import::SourceFormat> format = import::guessFormat(item.FileName);
      // "a.dsl" and "a.dsl.dz" would write the same package: the first found is offered.
      if (format &&
          packages.insert(lowerAscii(import::defaultPackageName(item.FileName).string())).second) {
        addSourceLine(item.FileName, *format);
      }
    }
  });
}

void TfAddDicts::addLine(const fs::path& file) {
  const std::string name = file.filename().string();
  const fs::path lowered = m_context.session.DataDir() / lowerAscii(name);
  const bool installable = writableInCp1251(name);
  QString text;
  if (!installable) {
    // Windows-1251 would turn the name into another one, which the index would then keep.
    text = QString::fromStdString(name) + noteUnwritableName();
  } else {
    try {
      // An installed package is open already, exclusively: its title comes from its slot,
      // found by the lower-cased name. Any other is opened by the name the scan found.
      const dicts::TDicts& installed = m_context.session.index().Dicts();
      const int slot = dicts::FindDict(installed, lowered);
      if (slot >= 0 && installed[static_cast<size_t>(slot)].isUnopened()) {
        // Kept for this run without its package: it has no title to show.
        text = QString::fromStdString(name) + noteUnopened();
      } else {
        text = toQString(dicts::GetDictValue(
            installed, slot >= 0 ? lowered : file, "title", m_context.session.ReadBuf(),
            dicts::accessFor(file, m_context.session.sharedDataDirs())));
      }
    } catch (const Error& e) {
      // One unreadable package must not hide the ones listed after it.
      text = QString::fromStdString(name) + noteUnreadable() + errorText(e);
    }
  }
  appendPackageLine(file, installable, text);
}

void TfAddDicts::addMissingLine(const std::string& name) {
  appendPackageLine(m_context.session.DataDir() / name, true,
                    QString::fromStdString(name) + noteMissingFile());
}

void TfAddDicts::appendPackageLine(const fs::path& file, bool installable, const QString& text) {
  const fs::path lowered = m_context.session.DataDir() / lowerAscii(file.filename().string());
  m_packagePaths.push_back(lowerAscii(cp1251::fromUtf8(lowered.string())));
  m_packageFiles.push_back(file);
  m_installable.push_back(installable);
  m_sourceFiles.emplace_back();
  m_sourceFormats.emplace_back();

  auto* item = new QListWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  m_lbDicts->addItem(item);
  showInstalled(static_cast<int>(m_installable.size()) - 1);
}

void TfAddDicts::addSourceLine(const fs::path& source, import::SourceFormat format) {
  const fs::path package = m_context.session.DataDir() / import::defaultPackageName(source);
  const std::string name = package.filename().string();
  const bool installable = writableInCp1251(name);
  // Only the head of the file is read: a listing must stay quick with large sources.
  QString title = QString::fromStdString(import::peekTitle(source));
  if (title.isEmpty()) {
    title = QString::fromStdString(package.stem().string());
  }
  QString text = title + QStringLiteral(" (") + formatLabel(format) + QLatin1Char(')');
  if (!installable) {
    text += noteUnwritableName();
  }
  m_packagePaths.push_back(
      lowerAscii(cp1251::fromUtf8((m_context.session.DataDir() / name).string())));
  m_packageFiles.push_back(package);
  m_installable.push_back(installable);
  m_sourceFiles.push_back(source);
  m_sourceFormats.push_back(format);

  auto* item = new QListWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  m_lbDicts->addItem(item);
  showInstalled(static_cast<int>(m_installable.size()) - 1);
}

int TfAddDicts::selectedLine() const {
  const int line = m_lbDicts->currentRow();
  if (line < 0 || static_cast<size_t>(line) >= m_installable.size()) {
    throw Error(kChooseALine);
  }
  return line;
}

int TfAddDicts::slotOf(int line) const {
  const size_t i = static_cast<size_t>(line);
  if (!m_installable[i]) {
    return -1;
  }
  const std::string name = m_packageFiles[i].filename().string();
  return dicts::FindDict(m_context.session.index().Dicts(),
                         m_context.session.DataDir() / lowerAscii(name));
}

// The check mark follows the slots, whatever an operation's outcome: a mark that claimed less
// than is installed would offer to install the same package a second time.
void TfAddDicts::showInstalled(int line) {
  QListWidgetItem* item = m_lbDicts->item(line);
  if (item == nullptr) {
    return;
  }
  const Qt::CheckState state = slotOf(line) >= 0 ? Qt::Checked : Qt::Unchecked;
  if (item->checkState() == state && item->data(Qt::CheckStateRole).isValid()) {
    return;
  }
  m_settingCheck = true;
  item->setCheckState(state);
  m_settingCheck = false;
}

void TfAddDicts::setButtonsEnabled(bool enabled) {
  m_btSetupOneDict->setEnabled(enabled);
  m_button2->setEnabled(enabled);
  m_button4->setEnabled(enabled);
}

void TfAddDicts::btSetupOneDictClick() {
  setupOneDict();
}

bool TfAddDicts::setupOneDict() {
  if (m_busy) {
    return false;
  }
  return guarded(this, [this] {
    const int line = selectedLine();
    if (!m_installable[static_cast<size_t>(line)]) {
      showMessage(this, textUnwritableName());
      return;
    }
    if (slotOf(line) >= 0) {
      showMessage(this, textAlreadyInstalled());
      return;
    }
    const size_t i = static_cast<size_t>(line);
    const bool fromSource = m_sourceFormats[i].has_value();
    // However the import or the installation ends, a package that was written is listed as one.
    const OnExit relist([this, fromSource, package = m_packageFiles[i]] {
      if (fromSource) {
        relistImported(package);
      }
    });
    runOperation(line, [this, line, fromSource] {
      if (fromSource) {
        importSource(static_cast<size_t>(line));
      }
      // Opened by the name the scan found; the slot keeps the lower-cased name, the form that
      // the dictionary list stores and that the lines are matched by.
      m_context.session.install(m_packageFiles[static_cast<size_t>(line)], *m_progress);
    });
  });
}

void TfAddDicts::importSource(size_t line) {
  const fs::path& source = m_sourceFiles[line];
  try {
    import::importDictionary(source, m_sourceFormats[line], m_packageFiles[line], {}, *m_progress);
  } catch (const std::exception& e) {
    // The writer has removed what it began; the message says which file of the list failed,
    // and the labels no longer claim the import is going on.
    m_progress->setStatus({});
    m_progress->setCounter({});
    throw Error("Не удалось импортировать словарь из файла «" + source.filename().string() +
                "»:\n" + errorText(e).toStdString());
  }
}

void TfAddDicts::relistImported(const fs::path& package) {
  std::error_code ec;
  if (!fs::exists(package, ec)) {
    return;
  }
  FormShow();
  for (size_t i = 0; i < m_packageFiles.size(); ++i) {
    if (m_packageFiles[i] == package && !m_sourceFormats[i]) {
      m_lbDicts->setCurrentRow(static_cast<int>(i));
    }
  }
}

void TfAddDicts::Button2Click() {
  if (m_busy) {
    return;
  }
  guarded(this, [this] {
    const int line = selectedLine();
    const int slot = slotOf(line);
    if (slot < 0) {
      // Nothing to take out; RemoveDict must not be given a slot of another package.
      showMessage(this, textNotInstalled());
      return;
    }
    runOperation(line, [this, slot] {
      // The removal asks for an event-loop pass after every word of the index; run and repainted
      // each time they took four times as long as the removal itself.
      index::ThrottledProgress throttled(*m_progress);
      m_context.session.remove(static_cast<size_t>(slot), throttled);
    });
  });
}

void TfAddDicts::runOperation(int line, const std::function<void()>& body) {
  m_context.session.index().checkChangesAllowed();
  Modified = true;
  m_busy = true;
  setButtonsEnabled(false);
  const OnExit restore([this, line] {
    m_progress->hideGauge();
    m_busy = false;
    setButtonsEnabled(true);
    showInstalled(line);
  });
  body();
}

void TfAddDicts::Button4Click() {
  close();
}

void TfAddDicts::lbDictsClickCheck(QListWidgetItem* item) {
  if (m_settingCheck || item == nullptr) {
    return;
  }
  showInstalled(m_lbDicts->row(item));
}

void TfAddDicts::lbDictsDblClick() {
  if (m_busy || !m_context.showDictInfo) {
    return;
  }
  guarded(this, [this] {
    const int line = selectedLine();
    const size_t i = static_cast<size_t>(line);
    if (m_sourceFormats[i]) {
      m_context.showDictInfo(sourceInfo(m_sourceFiles[i], *m_sourceFormats[i], m_packageFiles[i]));
      return;
    }
    if (!m_installable[static_cast<size_t>(line)]) {
      showMessage(this, textUnwritableName());
      return;
    }
    if (const int slot = slotOf(line); slot >= 0) {
      m_context.showDictInfo(m_context.session.index().Dicts()[static_cast<size_t>(slot)].Info);
      return;
    }
    dicts::TDicts opened;
    const fs::path& package = m_packageFiles[static_cast<size_t>(line)];
    dicts::AddDict(opened, package, m_context.session.ReadBuf(), dicts::ItemLists::kSkip,
                   dicts::accessFor(package, m_context.session.sharedDataDirs()));
    m_context.showDictInfo(opened.front().Info);
  });
}

void TfAddDicts::acAddDictsExecute(const std::function<void()>& refresh) {
  // Reached from the main window while an operation lets events run, a modal loop would hold
  // that operation up, and the dialog refuses to close until it ends.
  if (m_busy) {
    return;
  }
  // A dialog left open by the automatic installation is shown again, modally and rescanned.
  if (isVisible()) {
    hide();
  }
  exec();
  if (Modified) {
    guarded(parentWidget(), refresh);
    Modified = false;
  }
}

bool TfAddDicts::AutoInstall() {
  if (m_busy) {
    return false;
  }
  show();
  // A selection left from before would install another package than the one named.
  m_lbDicts->setCurrentRow(-1);
  for (size_t i = 0; i < m_packagePaths.size(); ++i) {
    if (m_packagePaths[i] == AutoInstallPath) {
      m_lbDicts->setCurrentRow(static_cast<int>(i));
    }
  }
  return setupOneDict();
}

void TfAddDicts::AskExitAfterAutoInstall() {
  if (askWarning(this, textAutoInstallDone()) && m_context.acExit) {
    m_context.acExit();
  }
}

void TfAddDicts::acAutoAddDictExecute(const std::function<void()>& refresh) {
  if (!AutoInstall()) {
    return;
  }
  if (Modified) {
    guarded(parentWidget(), refresh);
    Modified = false;
  }
  AskExitAfterAutoInstall();
}

std::optional<std::string> TfAddDicts::AutoInstallArgument(const QString& firstArgument) {
  const std::string argument = fromQString(firstArgument);
  if (lowerAscii(argument).find("/di:") == std::string::npos) {
    return std::nullopt;
  }
  const std::string_view trimmed = cp1251::trimBlanks(argument);
  return lowerAscii(trimmed.size() > 4 ? trimmed.substr(4) : std::string_view());
}

}  // namespace verbalon::ui
