#include "main/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <initializer_list>
#include <utility>

#include "article/page_resources.h"
#include "dialogs/add_dicts.h"
#include "dialogs/detail/gauge_progress.h"
#include "dialogs/dict_info.h"
#include "dialogs/dict_sets.h"
#include "dialogs/installed_dicts.h"
#include "dialogs/logo.h"
#include "htmlview/html_viewer.h"
#include "main/detail/find_aids.h"
#include "main/filter_result_model.h"
#include "main/unopened_package_box.h"
#include "qtglue/app_icon.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "storage/storage.h"

namespace verbalon::ui {

namespace {

// The pale yellow of the word lists, the find box and the set chooser: RGB(245, 250, 201).
const QColor kListColour(245, 250, 201);
constexpr int kListFontPixels = 13;
constexpr int kPanelWidth = 200;

void paintListColours(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, kListColour);
  widget->setPalette(palette);
}

// The lists use the desktop's sans-serif face at the pixel size their rows were drawn for.
void useListFont(QWidget* widget) {
  QFont font = widget->font();
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kListFontPixels);
  widget->setFont(font);
}

// Tests find the controls by these names, which are the names the handlers know them by.
void nameObjects(std::initializer_list<std::pair<QObject*, QString>> objects) {
  for (const auto& [object, name] : objects) {
    object->setObjectName(name);
  }
}

QListWidget* makeListBox(QWidget* parent) {
  auto* list = new QListWidget(parent);
  paintListColours(list);
  useListFont(list);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setUniformItemSizes(true);
  return list;
}

}  // namespace

TfMain::TfMain(std::filesystem::path appDir, QStringList arguments, QWidget* parent,
               std::vector<std::filesystem::path> sharedDataDirs)
    : QMainWindow(parent),
      m_appDir(std::move(appDir)),
      m_dataDir(m_appDir / "data"),
      m_sharedDataDirs(std::move(sharedDataDirs)),
      m_arguments(std::move(arguments)),
      m_findAids(std::make_unique<detail::FindAids>(this, [this] { findAidsLanded(); })) {
  openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  // Until the index is loaded the word list is no list to build from.
  m_findAids->suspend();
  notificationAreaAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  buildForm();
  nameObjects({{me, QStringLiteral("me")},
               {tb, QStringLiteral("tb")},
               {cbSet, QStringLiteral("cbSet")},
               {meFind, QStringLiteral("meFind")},
               {btFind, QStringLiteral("btFind")},
               {pcList, QStringLiteral("pcList")},
               {tsFull, QStringLiteral("tsFull")},
               {tsFiltered, QStringLiteral("tsFiltered")},
               {tsHistory, QStringLiteral("tsHistory")},
               {lbWord, QStringLiteral("lbWord")},
               {sbWord, QStringLiteral("sbWord")},
               {lbFiltered, QStringLiteral("lbFiltered")},
               {lbHistory, QStringLiteral("lbHistory")},
               {Button1, QStringLiteral("Button1")},
               {Button2, QStringLiteral("Button2")},
               {Splitter1, QStringLiteral("Splitter1")},
               {statusPanels[0], QStringLiteral("statusPanels0")},
               {statusPanels[1], QStringLiteral("statusPanels1")},
               {statusPanels[2], QStringLiteral("statusPanels2")},
               {statusPanels[3], QStringLiteral("statusPanels3")},
               {pbLoad, QStringLiteral("pbLoad")},
               {tmShow, QStringLiteral("tmShow")},
               {acAddDicts, QStringLiteral("acAddDicts")},
               {acAbout, QStringLiteral("acAbout")},
               {acFilter, QStringLiteral("acFilter")},
               {acShowMainForm, QStringLiteral("acShowMainForm")},
               {acExit, QStringLiteral("acExit")},
               {acSets, QStringLiteral("acSets")}});
  connectHandlers();
}

TfMain::~TfMain() {
  FormDestroy();
}

void TfMain::buildForm() {
  setWindowTitle(applicationTitle());
  setWindowIcon(appIcon());

  acAddDicts = new QAction(style()->standardIcon(QStyle::SP_FileDialogNewFolder),
                           QStringLiteral("Установка словарей"), this);
  acAbout = new QAction(style()->standardIcon(QStyle::SP_MessageBoxInformation),
                        QStringLiteral("О программе..."), this);
  // A tool button shows the icon text, which Qt makes from the text without its "...".
  acAbout->setIconText(acAbout->text());
  acFilter = new QAction(style()->standardIcon(QStyle::SP_FileDialogContentsView), QString(), this);
  acSets = new QAction(QStringLiteral("acSets"), this);
  acShowMainForm = new QAction(QStringLiteral("Открыть"), this);
  acShowMainForm->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));
  acShowMainForm->setShortcutContext(Qt::ApplicationShortcut);
  acExit = new QAction(QStringLiteral("Выход"), this);
  // Where no notification area offers "Выход", the desktop's usual quit key ends the program.
  acExit->setShortcut(QKeySequence::Quit);
  addAction(acShowMainForm);
  addAction(acExit);

  tb = addToolBar(QStringLiteral("tb"));
  tb->setMovable(false);
  tb->setFixedHeight(29);
  tb->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  tb->addAction(acAddDicts);
  tb->addSeparator();
  tb->addAction(acAbout);
  // The set chooser stays out of sight: sets can be listed but not yet applied.
  QAction* setsSeparator = tb->addSeparator();
  cbSet = new QComboBox(tb);
  cbSet->setFixedWidth(186);
  paintListColours(cbSet);
  QAction* setsChooser = tb->addWidget(cbSet);
  tb->addAction(acSets);
  setsSeparator->setVisible(false);
  setsChooser->setVisible(false);
  acSets->setVisible(false);

  me = new THTMLViewer(this);
  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setHandleWidth(6);
  Splitter1->setChildrenCollapsible(false);
  Splitter1->addWidget(buildWordPanel());
  Splitter1->addWidget(me);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({m_panelWidth, 659 - m_panelWidth});
  setCentralWidget(Splitter1);

  static constexpr int kPanelWidths[4] = {100, 100, 100, 50};
  for (int i = 0; i < 4; ++i) {
    statusPanels[i] = new QLabel(this);
    statusPanels[i]->setMinimumWidth(kPanelWidths[i]);
    statusBar()->addWidget(statusPanels[i]);
  }
  // Shows only while start-up takes out a dictionary whose package could not be opened.
  pbLoad = new QProgressBar(this);
  pbLoad->setMaximumHeight(13);
  pbLoad->hide();
  statusBar()->addPermanentWidget(pbLoad);

  tmShow = new QTimer(this);
  tmShow->setInterval(300);

  resize(659, 440 + tb->height() + statusBar()->sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

QWidget* TfMain::buildWordPanel() {
  auto* Panel1 = new QWidget(this);
  Panel1->setMinimumWidth(kPanelWidth);
  Panel1->resize(kPanelWidth, Panel1->height());
  auto* column = new QVBoxLayout(Panel1);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);

  auto* findRow = new QHBoxLayout;
  meFind = new QLineEdit(Panel1);
  paintListColours(meFind);
  btFind = new QToolButton(Panel1);
  btFind->setDefaultAction(acFilter);
  btFind->setFocusPolicy(Qt::NoFocus);
  btFind->setToolTip(QStringLiteral("Найти слова, начинающиеся с набранного текста"));
  findRow->addWidget(meFind);
  findRow->addWidget(btFind);
  column->addLayout(findRow);

  pcList = new QTabWidget(Panel1);
  pcList->setUsesScrollButtons(false);
  column->addWidget(pcList);

  tsFull = new QWidget(pcList);
  auto* fullRow = new QHBoxLayout(tsFull);
  fullRow->setContentsMargins(0, 0, 0, 0);
  fullRow->setSpacing(0);
  lbWord = makeListBox(tsFull);
  // The list box holds one page; the scroll bar beside it spans the whole list.
  lbWord->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lbWord->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sbWord = new QScrollBar(Qt::Vertical, tsFull);
  sbWord->setFixedWidth(16);
  sbWord->setFocusPolicy(Qt::NoFocus);
  sbWord->setRange(0, 1);
  sbWord->setPageStep(1);  // rows are known once the list box has its height
  fullRow->addWidget(lbWord);
  fullRow->addWidget(sbWord);
  pcList->addTab(tsFull, QStringLiteral("Полный список слов"));

  tsFiltered = new QWidget(pcList);
  auto* filteredColumn = new QVBoxLayout(tsFiltered);
  filteredColumn->setContentsMargins(0, 0, 0, 0);
  lbFiltered = new QListView(tsFiltered);
  paintListColours(lbFiltered);
  useListFont(lbFiltered);
  lbFiltered->setUniformItemSizes(true);
  lbFiltered->setSelectionMode(QAbstractItemView::SingleSelection);
  lbFiltered->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_filteredModel = new FilterResultModel(lbFiltered);
  lbFiltered->setModel(m_filteredModel);
  filteredColumn->addWidget(lbFiltered);
  pcList->addTab(tsFiltered, QStringLiteral("Фильтр"));

  tsHistory = new QWidget(pcList);
  auto* historyColumn = new QVBoxLayout(tsHistory);
  historyColumn->setContentsMargins(0, 0, 0, 0);
  lbHistory = makeListBox(tsHistory);
  historyColumn->addWidget(lbHistory);
  auto* buttons = new QHBoxLayout;
  Button1 = new QPushButton(QStringLiteral("Удалить"), tsHistory);
  Button2 = new QPushButton(QStringLiteral("Очистить"), tsHistory);
  for (QPushButton* button : {Button1, Button2}) {
    button->setFixedSize(75, 25);
    buttons->addWidget(button);
  }
  buttons->addStretch();
  historyColumn->addLayout(buttons);
  pcList->addTab(tsHistory, QStringLiteral("История"));
  // The panel starts wide enough for the three captions in one row; narrowed by the user, the
  // captions shorten rather than hide a tab.
  m_panelWidth = std::max(kPanelWidth, pcList->tabBar()->sizeHint().width() + 4);
  pcList->setElideMode(Qt::ElideRight);
  return Panel1;
}

void TfMain::connectHandlers() {
  me->OnImageRequest = [this](const std::string& source) { return meImageRequest(source); };
  me->OnhtStreamRequest = [this](const std::string& target) { return mehtStreamRequest(target); };
  // The view runs its events through the error box itself.
  me->OnHotSpotClick = [this](const std::string& url, bool& handled) {
    meHotSpotClick(url, handled);
  };
  me->OnMouseUp = [this](Qt::MouseButton button, Qt::KeyboardModifiers keys, QPoint point) {
    meMouseUp(button, keys, point);
  };

  connect(tmShow, &QTimer::timeout, this, [this] { tmShowTimer(); });
  connect(sbWord, &QAbstractSlider::actionTriggered, this,
          [this](int action) { sbWordScroll(action, sbWord->sliderPosition()); });
  connect(lbWord, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) {
      lbWordClick();
    }
  });
  connect(lbWord, &QListWidget::itemClicked, this, [this] { lbWordClick(); });
  lbWord->installEventFilter(this);
  lbWord->viewport()->installEventFilter(this);
  meFind->installEventFilter(this);
  lbHistory->installEventFilter(this);

  connect(lbFiltered->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { lbFilteredClick(); });
  connect(lbFiltered, &QListView::clicked, this, [this] { lbFilteredClick(); });
  connect(lbHistory, &QListWidget::itemDoubleClicked, this, [this] { lbHistoryDblClick(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

  connect(acFilter, &QAction::triggered, this, [this] { acFilterExecute(); });
  connect(acShowMainForm, &QAction::triggered, this, [this] { acShowMainFormExecute(); });
  connect(acExit, &QAction::triggered, this, [this] { acExitExecute(); });
  connect(meFind, &QLineEdit::textEdited, this, [this] { meFindChange(); });
  connect(acAbout, &QAction::triggered, this, [this] {
    if (fLogo) {
      fLogo->setNote(m_findAids->dictionaryFormsOn()
                         ? QString()
                         : QStringLiteral("Словари Hunspell не найдены: словарные формы слов не "
                                          "предлагаются."));
      fLogo->showAbout();
    }
  });
  connect(acSets, &QAction::triggered, this, [this] {
    if (fSet) {
      fSet->exec();
    }
  });
  connect(acAddDicts, &QAction::triggered, this, [this] {
    if (addDictsDialog) {
      addDictsDialog();
    }
  });
}

bool TfMain::FormCreate() {
  createNotificationArea();

  return guarded(this, [&] {
    auto opened = std::make_unique<session::Session>(m_appDir);
    opened->setSharedDataDirs(m_sharedDataDirs);
    opened->loadPageResources();
    m_session = std::move(opened);
    RegisterShowHotKey();
    m_firstShow = true;
  });
}

void TfMain::createSecondaryWindows() {
  fLogo = new TfLogo(this);
  fLogo->showSplash();
  fSet = new TfSet([this] { return listSetNames(m_session->stgRes()); },
                   [this] { return cbSet->currentIndex(); }, this);
  fDicts = new TfDicts(wordIndex().Dicts(), this);
  fAddDicts = new TfAddDicts({*m_session, [this] { acExit->trigger(); },
                              [this](const std::string& info) {
                                fDictInfo->setInfo(info);
                                fDictInfo->exec();
                              }},
                             this);
  fDictInfo = new TfDictInfo(this);
  nameObjects({{fLogo, QStringLiteral("fLogo")},
               {fSet, QStringLiteral("fSet")},
               {fDicts, QStringLiteral("fDicts")},
               {fAddDicts, QStringLiteral("fAddDicts")},
               {fDictInfo, QStringLiteral("fDictInfo")}});

  const auto refresh = [this] { RefreshAfterInstall(); };
  addDictsDialog = [this, refresh] { changeIndex([&] { fAddDicts->acAddDictsExecute(refresh); }); };
  autoAddDict = [this, refresh](const std::string& path) {
    changeIndex([&] {
      fAddDicts->AutoInstallPath = path;
      fAddDicts->acAutoAddDictExecute(refresh);
    });
  };
}

void TfMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormShow();
}

void TfMain::FormShow() {
  if (m_firstShow) {
    m_firstShow = false;
    // The window appears first; the index loads from the event loop, behind the splash window.
    QMetaObject::invokeMethod(
        this, [this] { firstShow(); }, Qt::QueuedConnection);
  }
  pcList->setCurrentWidget(tsFull);
}

void TfMain::firstShow() {
  // The splash window stays on top: it closes before any error box or question, which it
  // would hide.
  const auto closeSplash = [this] {
    if (fLogo) {
      fLogo->close();
    }
  };
  UnopenedPackageBox question(this, closeSplash);
  detail::GaugeProgress progress(statusPanels[0], statusPanels[1], pbLoad);
  QString failure;
  const bool loaded = caught(failure, [&] {
    m_session->LoadIndex({&question, &progress});
    RefreshStatus();
    showHistory();
    m_topWord = 0;
    ShowPage(0);
    AdjustWordScroll();
    // The list box has its height by now: fill the page to it.
    FormResize();
    cbSet->clear();
    cbSet->addItems(listSetNames(m_session->stgRes()));
    if (cbSet->count() > 0) {
      cbSet->setCurrentIndex(0);
    }
  });
  m_findAids->resume();
  followFindBox();  // text typed while the index loaded
  closeSplash();
  if (!loaded) {
    if (question.exitChosen()) {
      acExit->trigger();
    } else {
      showErrorBox(this, failure);
    }
    return;
  }

  guarded(this, [&] {
    if (!m_arguments.isEmpty() && autoAddDict) {
      if (const auto path = TfAddDicts::AutoInstallArgument(m_arguments.front())) {
        autoAddDict(*path);
      }
    }
    if (wordIndex().Dicts().empty()) {
      acAddDicts->trigger();
    }
  });
}

void TfMain::closeEvent(QCloseEvent* event) {
  if (m_closeHandlerAttached) {
    FormClose(event);
    return;
  }
  FormDestroy();
  QMainWindow::closeEvent(event);
}

void TfMain::FormClose(QCloseEvent* event) {
  event->ignore();
  putAway();
}

void TfMain::acExitExecute() {
  m_closeHandlerAttached = false;
  close();
  // The program ends also when a dialog of its own is up (the installation dialog asks whether
  // to end it), so every event loop is left, not only the last window.
  QCoreApplication::exit(0);
}

void TfMain::acShowMainFormExecute() {
  TIoDblClick();
  meFind->clear();
  meFind->setFocus();
}

void TfMain::FormDestroy() {
  if (m_destroyed || !m_session) {
    return;
  }
  m_destroyed = true;
  // A history that cannot be saved is reported; the hot key is then left to the system, which
  // frees it when the process ends.
  if (guarded(this, [&] { m_session->saveHistory(); })) {
    UnregisterShowHotKey();
  }
  if (tiTray) {
    tiTray->hide();
  }
}

void TfMain::saveHistory() {
  if (m_session) {
    m_session->saveHistory();
  }
}

void TfMain::RefreshStatus() {
  m_cntWords = static_cast<int32_t>(wordIndex().slWord().size());
  m_cntAvailable = 0;
  for (const dicts::TDict& slot : wordIndex().Dicts()) {
    // A dictionary kept for the run without its package has no articles to offer.
    m_cntAvailable += slot.isEmptySlot() || slot.isUnopened() ? 0 : 1;
  }
  statusPanels[0]->setText(QStringLiteral("Слов: %1").arg(m_cntWords));
  statusPanels[1]->setText(QStringLiteral("Статей: %1").arg(m_cntArticles));
  statusPanels[2]->setText(QStringLiteral("Доступно: %1").arg(m_cntAvailable));
  statusPanels[3]->setText(QStringLiteral("Фильтр: %1").arg(m_cntFilter));
}

void TfMain::RefreshAfterInstall() {
  // Keys and near spellings of the old list would name other words now.
  m_findAids->discard();
  ShowPage(m_topWord);
  RefreshStatus();
  AdjustWordScroll();
  // Positions kept from the last filter run may now name other words: run it again.
  if (m_lastQuery) {
    filterBy(*m_lastQuery);
  }
}

void TfMain::findAidsLanded() {
  followFindBox();
  if (m_suggestionsPending) {
    showFilterRows();
  }
}

void TfMain::changeIndex(const std::function<void()>& change) {
  m_findAids->suspend();
  try {
    change();
  } catch (...) {
    m_findAids->resume();
    throw;
  }
  m_findAids->resume();
  // What was refused meanwhile asks again.
  findAidsLanded();
}

void TfMain::setHunspellFolder(std::filesystem::path folder) {
  m_findAids->setHunspellFolder(std::move(folder));
}

bool TfMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == lbWord) {
      lbWordKeyDown(key);
    }
    if (watched == meFind) {
      meFindKeyDown(key);
    }
    if (watched == lbHistory && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      lbHistoryDblClick();
    }
  } else if (event->type() == QEvent::Resize && watched == lbWord->viewport()) {
    FormResize();
  } else if (event->type() == QEvent::Wheel && watched == lbWord->viewport()) {
    // The wheel moves the list as the scroll bar's line steps do: page and thumb together.
    const int steps = static_cast<QWheelEvent*>(event)->angleDelta().y() / 40;
    for (int i = 0; i < std::abs(steps); ++i) {
      sbWord->triggerAction(steps > 0 ? QAbstractSlider::SliderSingleStepSub
                                      : QAbstractSlider::SliderSingleStepAdd);
    }
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace verbalon::ui
