// The installation dialog on application folders of its own: the freshly packed resource package
// and copies of the sample packages, installed and removed through the dialog as a user would.
#include "dialogs/add_dicts.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "dialogs/detail/gauge_progress.h"
#include "index/unopened_package.h"
#include "index/word_index.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "session/session.h"
#include "storage/compound_file.h"
#include "storage/memory_stream.h"
#include "storage/storage.h"
#include "support/app_folder.h"

namespace {

namespace fs = std::filesystem;
using verbalon::StringList;
using verbalon::testing::AppFolder;
using verbalon::ui::TfAddDicts;

// What the message boxes would have shown, and the answer the next questions get.
struct Boxes {
  static inline QStringList errors;
  static inline QStringList messages;
  static inline QStringList questions;
  static inline bool answer = false;
};

const QString kTolkTitle = QStringLiteral("Малый толковый словарь русского языка");
const QString kAlreadyInstalled = QStringLiteral("Выбранный словарь уже установлен");
const QString kNoSelection = QStringLiteral("Выберите словарь в списке");

// A tab-separated source with words no sample package has.
const std::string kWordsSource =
    "#title=Мой словарь\n"
    "зюзяблик\tптица, которой нет\n"
    "кукожиться\tсжиматься\\nот холода\n";

std::string win1251(const char* utf8) {
  return verbalon::cp1251::fromUtf8(utf8);
}

bool hasWord(const verbalon::PackedLines& words, const char* utf8) {
  return std::find(words.begin(), words.end(), win1251(utf8)) != words.end();
}

std::string lowerAscii(const std::string& text) {
  return verbalon::cp1251::toLowerAscii(text);
}

std::string upperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Keeps every installed package that cannot be opened, as the start-up question's «Оставить».
struct KeepUnopened final : verbalon::index::UnopenedPackageQuestion {
  verbalon::index::UnopenedPackageAnswer packageNotOpened(const std::string&,
                                                          const verbalon::Error&) override {
    return verbalon::index::UnopenedPackageAnswer::kKeepForRun;
  }
};

// One run of the program on an application folder, its index loaded, and the dialog over it.
// Without question, a package that cannot be opened fails the load.
struct Run {
  std::vector<std::string> infos;  // the texts shown by double-clicks
  explicit Run(const AppFolder& app, verbalon::index::UnopenedPackageQuestion* question = nullptr)
      : session(app.path()), index(session.index()) {
    session.LoadIndex({question, nullptr});
    dialog = std::make_unique<TfAddDicts>(verbalon::ui::AddDictsContext{
        session, [this] { ++exits; }, [this](const std::string& text) { infos.push_back(text); }});
  }

  template <typename W>
  W* widget(const char* name) const {
    return dialog->findChild<W*>(QString::fromLatin1(name));
  }
  QListWidget* list() const { return widget<QListWidget>("lbDicts"); }
  QPushButton* button(const char* name) const { return widget<QPushButton>(name); }
  int lineOf(const fs::path& name) const {
    const auto& files = dialog->PackageFiles();
    for (size_t i = 0; i < files.size(); ++i) {
      if (files[i].filename() == name) return static_cast<int>(i);
    }
    return -1;
  }
  QListWidgetItem* item(const fs::path& name) const { return list()->item(lineOf(name)); }
  QString text(const fs::path& name) const {
    return item(name) != nullptr ? item(name)->text() : QStringLiteral("(not listed)");
  }
  // The line of name offers a source to import rather than a package.
  bool isSource(const fs::path& name) const {
    const int line = lineOf(name);
    return line >= 0 && !dialog->SourceFiles()[static_cast<size_t>(line)].empty();
  }
  bool checked(const fs::path& name) const {
    return item(name) != nullptr && item(name)->checkState() == Qt::Checked;
  }
  void click(const fs::path& name, const char* buttonName) const {
    list()->setCurrentRow(lineOf(name));
    QTest::mouseClick(button(buttonName), Qt::LeftButton);
  }
  // Shows the dialog anew, which rescans the data folder.
  void reshow() const {
    dialog->hide();
    dialog->show();
  }

  verbalon::session::Session session;
  verbalon::index::WordIndex& index;
  int exits = 0;
  std::unique_ptr<TfAddDicts> dialog;
};

// What the dialog shows at one moment of an operation.
struct Snapshot {
  bool gaugeVisible;
  QString gauge;
  QString status;
  QString counter;
  bool buttonsEnabled;
};

}  // namespace

class AddDictsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init() {
    Boxes::errors.clear();
    Boxes::messages.clear();
    Boxes::questions.clear();
    Boxes::answer = false;
    verbalon::ui::DialogHooks hooks;
    hooks.error = [](const QString& text) { Boxes::errors << text; };
    hooks.message = [](const QString& text) { Boxes::messages << text; };
    hooks.question = [](const QString& text) {
      Boxes::questions << text;
      return Boxes::answer;
    };
    verbalon::ui::setDialogHooks(hooks);
  }

  void cleanupTestCase() { verbalon::ui::setDialogHooks({}); }

  void installsAndRemovesAndSavesEachAtOnce() {
    AppFolder app;
    app.addPackage("tolk", "tolk.brd");
    app.addPackage("sinonim", "sinonim.brd");
    StringList words;
    {
      Run run(app);
      run.dialog->show();
      QCOMPARE(run.list()->count(), 2);
      QCOMPARE(run.item("tolk.brd")->text(), kTolkTitle);
      QVERIFY(!run.checked("tolk.brd"));
      QVERIFY(!run.dialog->Modified);

      run.click("tolk.brd", "btSetupOneDict");
      QCOMPARE(Boxes::errors, QStringList());
      QVERIFY(run.checked("tolk.brd"));
      QVERIFY(!run.checked("sinonim.brd"));
      QVERIFY(run.dialog->Modified);
      QCOMPARE(run.index.Dicts().size(), size_t{1});
      QVERIFY(!run.index.slWord().empty());
      QVERIFY(!run.widget<QProgressBar>("pb")->isVisible());
      words = run.index.slWord().toStringList();
    }
    {
      // The next run loads what was saved and holds the package open in its slot, so the list
      // can only show its title when it does not open the package again.
      Run run(app);
      QVERIFY(run.index.slWord() == words);
      run.dialog->show();
      QVERIFY(run.checked("tolk.brd"));
      QCOMPARE(run.item("tolk.brd")->text(), kTolkTitle);

      run.click("tolk.brd", "Button2");
      QCOMPARE(Boxes::errors, QStringList());
      QVERIFY(!run.checked("tolk.brd"));
      QCOMPARE(run.item("tolk.brd")->text(), kTolkTitle);
      QVERIFY(run.dialog->Modified);
      QVERIFY(run.index.Dicts().empty());
      QVERIFY(run.index.slWord().empty());
    }
    Run run(app);
    QVERIFY(run.index.Dicts().empty());
    QVERIFY(run.index.slWord().empty());
  }

  // The window messages let through during a merge or removal find the gauge and labels
  // showing its progress and every button disabled; pressing anything then, or the main
  // window's action, starts nothing.
  void showsProgressAndStartsNothingElseMeanwhile() {
    AppFolder app;
    app.addPackage("sokr", "sokr.brd");
    app.addPackage("tolk", "tolk.brd");
    Run run(app);
    run.dialog->show();
    run.click("sokr.brd", "btSetupOneDict");

    std::vector<Snapshot> seen;
    QTimer meanwhile;
    meanwhile.setInterval(0);
    connect(&meanwhile, &QTimer::timeout, this, [&] {
      seen.push_back({run.widget<QProgressBar>("pb")->isVisible(),
                      run.widget<QProgressBar>("pb")->text(), run.widget<QLabel>("lb")->text(),
                      run.widget<QLabel>("lbCount")->text(), run.button("Button2")->isEnabled()});
      run.list()->setCurrentRow(run.lineOf("sokr.brd"));
      run.dialog->Button2Click();
      run.dialog->btSetupOneDictClick();
      run.dialog->Button4Click();
      run.dialog->reject();
      run.dialog->acAddDictsExecute([] { QFAIL("refreshed while the merge runs"); });
    });
    // The handlers are called directly: a simulated click may let events run before it.
    run.list()->setCurrentRow(run.lineOf("tolk.brd"));
    meanwhile.start();
    run.dialog->btSetupOneDictClick();
    meanwhile.stop();

    QCOMPARE(Boxes::errors, QStringList());
    QCOMPARE(Boxes::messages, QStringList());
    QCOMPARE(run.index.Dicts().size(), size_t{2});
    QVERIFY(run.checked("sokr.brd"));
    QVERIFY(run.checked("tolk.brd"));
    QVERIFY(run.dialog->isVisible());
    QVERIFY(run.button("Button2")->isEnabled());
    QVERIFY(!run.widget<QProgressBar>("pb")->isVisible());

    const QString last = QString::number(run.index.Dicts()[1].ItemList.size() - 1);
    QStringList counters;
    QStringList gauges;
    for (const Snapshot& s : seen) {
      QVERIFY(!s.buttonsEnabled);
      if (s.gaugeVisible) {
        QCOMPARE(s.status, QStringLiteral("Установка словаря: Толковый"));
        counters << s.counter;
        gauges << s.gauge;
      }
    }
    // Two gauge steps (its maximum is (count - 1) / 100 = 2), then a third beyond it.
    QCOMPARE(counters,
             QStringList({QStringLiteral("0 из ") + last, QStringLiteral("100 из ") + last,
                          QStringLiteral("200 из ") + last}));
    QCOMPARE(gauges,
             QStringList({QStringLiteral("50%"), QStringLiteral("100%"), QStringLiteral("100%")}));
    QCOMPARE(seen.back().status, QStringLiteral("Сохранение результатов..."));
    QCOMPARE(seen.back().counter, QString());

    seen.clear();
    run.list()->setCurrentRow(run.lineOf("sokr.brd"));
    meanwhile.start();
    run.dialog->Button2Click();
    meanwhile.stop();
    QVERIFY(!seen.empty());
    QVERIFY(seen.front().gaugeVisible);
    QCOMPARE(seen.front().status, QStringLiteral("Удаление словаря: Сокращения"));
    QVERIFY(
        std::none_of(seen.begin(), seen.end(), [](const Snapshot& s) { return s.buttonsEnabled; }));
    QVERIFY(!run.checked("sokr.brd"));
    QVERIFY(run.checked("tolk.brd"));
    QCOMPARE(run.index.Dicts().size(), size_t{2});
    QVERIFY(run.index.Dicts()[0].isEmptySlot());
  }

  // Progress above the maximum shows as full; a maximum of 0 shows 0%, not Qt's busy bar.
  void gaugeShowsTruncatedPercentOfItsMaximum() {
    QLabel lb;
    QLabel lbCount;
    QProgressBar pb;
    verbalon::ui::detail::GaugeProgress progress(&lb, &lbCount, &pb);
    progress.setGaugeMax(0);
    progress.setGaugeProgress(1);
    QCOMPARE(pb.text(), QStringLiteral("0%"));
    QCOMPARE(pb.value(), 0);
    progress.setGaugeMax(3);
    progress.setGaugeProgress(2);
    QCOMPARE(pb.text(), QStringLiteral("66%"));
    progress.setGaugeProgress(7);
    QCOMPARE(pb.text(), QStringLiteral("100%"));
    QCOMPARE(pb.value(), pb.maximum());
  }

  // "App/data/Tolk.brd" is listed, compared and stored as "app/data/tolk.brd", a path that
  // names no file, and still opened, also at the next run.
  void packagesWithCapitalLettersInstallOnce() {
    AppFolder app;
    app.addPackage("tolk", "Tolk.brd");
    {
      Run run(app);
      run.dialog->show();
      QVERIFY(run.dialog->PackagePaths() ==
              StringList{lowerAscii((app.dataDir() / "Tolk.brd").string())});
      QCOMPARE(run.item("Tolk.brd")->text(), kTolkTitle);
      run.click("Tolk.brd", "btSetupOneDict");
      QCOMPARE(Boxes::errors, QStringList());
      QVERIFY(run.index.Dicts().at(0).FileName == "tolk.brd");

      run.reshow();
      QVERIFY(run.checked("Tolk.brd"));
      run.dialog->Modified = false;
      run.click("Tolk.brd", "btSetupOneDict");
      QCOMPARE(Boxes::messages, QStringList{kAlreadyInstalled});
      QVERIFY(!run.dialog->Modified);
      QCOMPARE(run.index.Dicts().size(), size_t{1});
    }
    Run run(app);
    run.dialog->show();
    QVERIFY(run.checked("Tolk.brd"));
  }

  // A double-click shows the text about the dictionary, installed or not.
  void doubleClickShowsTheDictionaryInformation() {
    AppFolder app;
    app.addPackage("tolk", "tolk.brd");
    app.addPackage("sokr", "sokr.brd");
    Run run(app);
    run.dialog->show();
    run.click("tolk.brd", "btSetupOneDict");
    for (const char* name : {"tolk.brd", "sokr.brd"}) {
      run.list()->setCurrentRow(run.lineOf(name));
      run.dialog->lbDictsDblClick();
    }
    QCOMPARE(run.infos.size(), size_t{2});
    QVERIFY(verbalon::ui::toQString(run.infos[0]).startsWith(QStringLiteral("Малый толковый")));
    QVERIFY(verbalon::ui::toQString(run.infos[1]).contains(QStringLiteral("сокращений")));
  }

  void refusesToRemoveWhatIsNotInstalledOrToActWithoutSelection() {
    AppFolder app;
    app.addPackage("tolk", "tolk.brd");
    app.addPackage("sokr", "sokr.brd");
    Run run(app);
    run.dialog->show();
    run.click("sokr.brd", "btSetupOneDict");
    const StringList words = run.index.slWord().toStringList();

    run.click("tolk.brd", "Button2");
    QCOMPARE(Boxes::messages, QStringList{QStringLiteral("Выбранный словарь не установлен")});
    QCOMPARE(run.index.Dicts().size(), size_t{1});
    QVERIFY(run.checked("sokr.brd"));
    QVERIFY(run.index.slWord() == words);

    run.list()->setCurrentRow(-1);
    QTest::mouseClick(run.button("btSetupOneDict"), Qt::LeftButton);
    QTest::mouseClick(run.button("Button2"), Qt::LeftButton);
    QCOMPARE(Boxes::errors, QStringList({kNoSelection, kNoSelection}));
    QCOMPARE(run.index.Dicts().size(), size_t{1});
    QVERIFY(run.index.slWord() == words);
  }

  // What the core reports in English for the tool, the dialog says in Russian, naming the file.
  void saysInRussianWhyAPackageCannotBeOpened() {
    AppFolder app;
    app.addPackage("tolk", "tolk.brd");
    app.addPackage("sokr", "damaged.brd");
    {
      verbalon::storage::CompoundFile damaged =
          verbalon::storage::CompoundFile::open(app.dataDir() / "damaged.brd");
      verbalon::storage::WriteStream(damaged, "~dict.ini", "no zlib here", false);
    }
    // Another program holds the package open, exclusively.
    const verbalon::storage::CompoundFile held =
        verbalon::storage::CompoundFile::open(app.dataDir() / "tolk.brd");
    Run run(app);
    run.dialog->show();
    QCOMPARE(run.text("tolk.brd"),
             QStringLiteral("tolk.brd — не читается: Файл tolk.brd занят другой программой."));
    QCOMPARE(run.text("damaged.brd"),
             QStringLiteral("damaged.brd — не читается: Файл повреждён: damaged.brd — раздел "
                            "«~dict.ini» не распаковывается."));

    run.click("tolk.brd", "btSetupOneDict");
    QCOMPARE(Boxes::errors, QStringList{QStringLiteral("Файл tolk.brd занят другой программой.")});
    QVERIFY(run.index.Dicts().empty());
  }

  // Packages in subfolders and names with ".BRD" do not count; the question comes at every
  // showing, and only "&Yes" ends the program.
  void warnsWhenTheDataFolderHoldsNoPackage() {
    AppFolder app;
    app.addPackage("tolk", "sub/tolk.brd");
    app.addPackage("sokr", "SOKR.BRD");
    Run run(app);
    run.dialog->show();
    const QString question = QStringLiteral(
        "Не установлено ни одного словаря для этой словарной оболочки. \r\n"
        "Необходимо установить словари и перезапустить программу.\r\n"
        "Прервать работу программы для установки словарей?");
    QCOMPARE(Boxes::questions, QStringList{question});
    QCOMPARE(run.exits, 0);
    QVERIFY(run.dialog->isVisible());
    QCOMPARE(run.list()->count(), 0);
    QVERIFY(run.dialog->PackagePaths().empty());

    Boxes::answer = true;
    run.reshow();
    QCOMPARE(Boxes::questions, QStringList({question, question}));
    QCOMPARE(run.exits, 1);
  }

  void checkMarksDoNotChangeByClicking() {
    AppFolder app;
    app.addPackage("tolk", "tolk.brd");
    app.addPackage("sokr", "sokr.brd");
    Run run(app);
    run.dialog->show();
    run.click("sokr.brd", "btSetupOneDict");

    run.item("tolk.brd")->setCheckState(Qt::Checked);
    run.item("sokr.brd")->setCheckState(Qt::Unchecked);
    QVERIFY(!run.checked("tolk.brd"));
    QVERIFY(run.checked("sokr.brd"));

    QSignalSpy toggles(run.list(), &QListWidget::itemChanged);
    run.list()->setCurrentRow(run.lineOf("tolk.brd"));
    QTest::keyClick(run.list(), Qt::Key_Space);
    QVERIFY(!toggles.isEmpty());
    QVERIFY(!run.checked("tolk.brd"));
    QCOMPARE(run.index.Dicts().size(), size_t{1});
  }

  // "/DI:" in capitals, blanks around the argument, the path in another ASCII case and a
  // Cyrillic file name, whose letters keep their case.
  void installsThePackageNamedOnTheCommandLine() {
    AppFolder app;
    const fs::path name = "Словарь Tolk.brd";
    app.addPackage("tolk", name);
    app.addPackage("sokr", "sokr.brd");
    Run run(app);
    const QString argument = QStringLiteral(" \t/DI:") +
                             QString::fromStdString(upperAscii(app.dataDir().string())) +
                             QStringLiteral("/Словарь TOLK.BRD  ");
    const std::string expected =
        verbalon::cp1251::fromUtf8(lowerAscii(app.dataDir().string()) + "/Словарь tolk.brd");
    QVERIFY(TfAddDicts::AutoInstallArgument(argument) == expected);
    QVERIFY(!TfAddDicts::AutoInstallArgument(QStringLiteral("/d:x.brd")));

    int refreshes = 0;
    const auto refresh = [&refreshes] { ++refreshes; };
    run.dialog->AutoInstallPath = expected;
    run.dialog->acAutoAddDictExecute(refresh);
    QCOMPARE(Boxes::errors, QStringList());
    QVERIFY(run.checked(name));
    QCOMPARE(verbalon::ui::toQString(run.index.Dicts().at(0).FileName),
             QStringLiteral("Словарь tolk.brd"));
    QCOMPARE(refreshes, 1);
    QVERIFY(!run.dialog->Modified);
    const QString done = QStringLiteral(
        "Установка словаря завершена. \r\n"
        "Прервать работу программы для установки других словарей?");
    QCOMPARE(Boxes::questions, QStringList{done});
    QCOMPARE(run.exits, 0);
    QVERIFY(run.dialog->isVisible());
    QVERIFY(!run.dialog->isModal());

    // Named again: installed already, which still completes the press and asks the question.
    Boxes::answer = true;
    run.dialog->acAutoAddDictExecute(refresh);
    QCOMPARE(Boxes::messages, QStringList{kAlreadyInstalled});
    QCOMPARE(Boxes::questions.size(), 2);
    QCOMPARE(run.exits, 1);
    QCOMPARE(refreshes, 1);

    // A package that is not in the data folder: the list's error, and no question.
    run.dialog->AutoInstallPath = expected + "x";
    run.dialog->acAutoAddDictExecute(refresh);
    QCOMPARE(Boxes::errors, QStringList{kNoSelection});
    QCOMPARE(Boxes::questions.size(), 2);
    QCOMPARE(run.index.Dicts().size(), size_t{1});
  }

  void showsTheDialogModallyAndRefreshesAfterAnInstallation() {
    AppFolder app;
    app.addPackage("sokr", "sokr.brd");
    Run run(app);
    bool shownModally = false;
    QTimer::singleShot(0, run.dialog.get(), [&] {
      shownModally = run.dialog->isVisible() && run.dialog->isModal();
      run.click("sokr.brd", "btSetupOneDict");
      run.dialog->Button4Click();
    });
    int refreshes = 0;
    run.dialog->acAddDictsExecute([&refreshes] { ++refreshes; });
    QVERIFY(shownModally);
    QCOMPARE(refreshes, 1);
    QVERIFY(!run.dialog->Modified);
    QVERIFY(!run.dialog->isVisible());
  }

  // A name Windows-1251 cannot hold and a file that is no package are listed with a note; the
  // packages after them still install.
  void listsUnusableFilesWithANote() {
    AppFolder app;
    app.addPackage("tolk", "漢字.brd");
    std::ofstream(app.dataDir() / "broken.brd") << "not a compound file";
    app.addPackage("sokr", "sokr.brd");
    Run run(app);
    run.dialog->show();
    QCOMPARE(run.list()->count(), 3);
    QCOMPARE(run.dialog->PackagePaths().size(), size_t{3});
    QVERIFY(run.item("漢字.brd")->text().startsWith(QStringLiteral("漢字.brd — ")));
    QVERIFY(run.item("broken.brd")->text().startsWith(QStringLiteral("broken.brd — ")));
    QCOMPARE(Boxes::errors, QStringList());

    run.click("漢字.brd", "btSetupOneDict");
    QCOMPARE(Boxes::messages.size(), 1);
    QVERIFY(Boxes::messages[0].contains(QStringLiteral("Windows-1251")));
    run.click("broken.brd", "btSetupOneDict");
    QCOMPARE(Boxes::errors.size(), 1);
    QVERIFY(run.index.Dicts().empty());
    QVERIFY(!run.checked("漢字.brd"));
    QVERIFY(!run.checked("broken.brd"));

    run.click("sokr.brd", "btSetupOneDict");
    QCOMPARE(Boxes::errors.size(), 1);
    QVERIFY(run.checked("sokr.brd"));
    QCOMPARE(run.index.Dicts().size(), size_t{1});
  }

  // Installed dictionaries kept without their package are listed, checked and marked, and
  // «Удалить» takes them out of the index, which needs no file.
  void listsDictionariesWithoutTheirPackageAndRemovesThem() {
    AppFolder app;
    app.addPackage("tolk", "tolk.brd");
    app.addPackage("sinonim", "sinonim.brd");
    app.addPackage("sokr", "sokr.brd");
    app.install({"tolk.brd", "sinonim.brd", "sokr.brd"});
    fs::remove(app.dataDir() / "sinonim.brd");
    std::ofstream(app.dataDir() / "sokr.brd", std::ios::trunc) << "damaged";
    KeepUnopened keep;
    {
      Run run(app, &keep);
      run.dialog->show();
      QCOMPARE(run.list()->count(), 3);
      QCOMPARE(run.text("tolk.brd"), kTolkTitle);
      QCOMPARE(run.text("sinonim.brd"), QStringLiteral("sinonim.brd (файл не найден)"));
      QCOMPARE(run.text("sokr.brd"),
               QStringLiteral("sokr.brd (не открывается, статьи недоступны)"));
      QVERIFY(run.checked("sinonim.brd"));
      QVERIFY(run.checked("sokr.brd"));

      run.click("sinonim.brd", "Button2");
      QCOMPARE(Boxes::errors, QStringList());
      QVERIFY(!run.checked("sinonim.brd"));
      QVERIFY(run.index.Dicts()[1].isEmptySlot());
      for (const std::string& entry : run.index.slIndex().toStringList()) {
        QVERIFY2(("|" + entry).find("|1:") == std::string::npos, entry.c_str());
      }
      // Installing again what is only marked missing fails as any missing file does.
      run.click("sinonim.brd", "btSetupOneDict");
      QCOMPARE(Boxes::errors.size(), 1);
      QVERIFY(!run.checked("sinonim.brd"));

      run.click("sokr.brd", "Button2");
      QCOMPARE(Boxes::errors.size(), 1);
      QCOMPARE(run.index.Dicts().size(), size_t{2});
    }
    // What was saved needs no answer at the next start.
    Run run(app);
    QCOMPARE(run.index.Dicts().size(), size_t{2});
    run.dialog->show();
    QCOMPARE(run.list()->count(), 2);
    QVERIFY(run.checked("tolk.brd"));
    QVERIFY(!run.checked("sokr.brd"));
  }

  // Sources follow the packages, each named by the title at its head (or its base name) and
  // its format; names that only contain an extension, and subfolders, do not count.
  void listsSourcesAfterThePackagesWithTheirFormat() {
    AppFolder app;
    app.addPackage("tolk", "tolk.brd");
    app.addSource("words.txt", kWordsSource);
    app.addSource("Plain.TSV", "слово\tстатья\n");
    std::string dsl = "\xFF\xFE";
    for (char c : std::string("#NAME \"Mueller\"\r\n\r\nword\r\n\tслово\r\n")) {
      dsl += c;
      dsl += '\0';
    }
    app.addSource("mueller.dsl", dsl);
    app.addSource("book.ifo", "StarDict's dict ifo file\nversion=2.4.2\nbookname=Книга\n");
    app.addSource("db.index", "word\tA\tB\n");
    app.addSource("notes.txt.bak", kWordsSource);
    app.addSource("sub/deep.txt", kWordsSource);
    Run run(app);
    run.dialog->show();

    QCOMPARE(run.list()->count(), 6);
    QCOMPARE(run.dialog->PackagePaths().size(), size_t{6});
    QCOMPARE(run.lineOf("tolk.brd"), 0);
    QVERIFY(!run.isSource("tolk.brd"));
    QCOMPARE(run.text("words.brd"), QStringLiteral("Мой словарь (импорт текста)"));
    QCOMPARE(run.text("Plain.brd"), QStringLiteral("Plain (импорт текста)"));
    QCOMPARE(run.text("mueller.brd"), QStringLiteral("Mueller (импорт DSL)"));
    QCOMPARE(run.text("book.brd"), QStringLiteral("Книга (импорт StarDict)"));
    QCOMPARE(run.text("db.brd"), QStringLiteral("db (импорт dictd)"));
    for (const char* name : {"words.brd", "Plain.brd", "mueller.brd", "book.brd", "db.brd"}) {
      QVERIFY2(run.isSource(name), name);
      QVERIFY2(!run.checked(name), name);
    }
    QVERIFY(run.dialog->SourceFiles()[static_cast<size_t>(run.lineOf("words.brd"))] ==
            app.dataDir() / "words.txt");
    QVERIFY(run.dialog->PackagePaths()[static_cast<size_t>(run.lineOf("words.brd"))] ==
            lowerAscii((app.dataDir() / "words.brd").string()));
    QCOMPARE(Boxes::errors, QStringList());

    // A double-click tells what the source is instead of reading a package.
    run.list()->setCurrentRow(run.lineOf("mueller.brd"));
    run.dialog->lbDictsDblClick();
    QCOMPARE(run.infos.size(), size_t{1});
    const QString info = verbalon::ui::toQString(run.infos[0]);
    QVERIFY2(info.contains(QStringLiteral("DSL")), qPrintable(info));
    QVERIFY2(info.contains(QString::fromStdString((app.dataDir() / "mueller.dsl").string())),
             qPrintable(info));
    QCOMPARE(Boxes::errors, QStringList());
  }

  // Its package, whatever the letter case of its name, stands for the source; so does the
  // first of two sources of one package.
  void aSourceBesideItsPackageIsListedOnceAsThePackage() {
    AppFolder app;
    app.addPackage("tolk", "Tolk.brd");
    app.addSource("tolk.txt", kWordsSource);
    app.addSource("TOLK.dsl", kWordsSource);
    app.addSource("words.txt", kWordsSource);
    app.addSource("words.tsv", kWordsSource);
    Run run(app);
    run.dialog->show();
    QCOMPARE(run.list()->count(), 2);
    QCOMPARE(run.text("Tolk.brd"), kTolkTitle);
    QVERIFY(!run.isSource("Tolk.brd"));
    QVERIFY(run.isSource("words.brd"));
  }

  // The source becomes a package of the data folder, installed at once; the list then shows
  // the package in the source's place, and the next run finds it installed.
  void installingASourceImportsAndInstallsIt() {
    AppFolder app;
    app.addPackage("sokr", "sokr.brd");
    app.addSource("words.txt", kWordsSource);
    {
      Run run(app);
      run.dialog->show();
      run.click("sokr.brd", "btSetupOneDict");
      const size_t before = run.index.slWord().size();
      QVERIFY(!hasWord(run.index.slWord(), "зюзяблик"));

      run.click("words.brd", "btSetupOneDict");
      QCOMPARE(Boxes::errors, QStringList());
      QVERIFY(fs::is_regular_file(app.dataDir() / "words.brd"));
      QCOMPARE(run.index.Dicts().size(), size_t{2});
      QCOMPARE(run.index.slWord().size(), before + 2);
      QVERIFY(hasWord(run.index.slWord(), "зюзяблик"));
      QVERIFY(hasWord(run.index.slWord(), "кукожиться"));
      QVERIFY(run.dialog->Modified);
      QCOMPARE(run.list()->count(), 2);
      QVERIFY(!run.isSource("words.brd"));
      QVERIFY(run.checked("words.brd"));
      QVERIFY(run.checked("sokr.brd"));
      QCOMPARE(run.text("words.brd"), QStringLiteral("Мой словарь"));
      QCOMPARE(run.list()->currentRow(), run.lineOf("words.brd"));
      QVERIFY(run.button("btSetupOneDict")->isEnabled());
      QVERIFY(!run.widget<QProgressBar>("pb")->isVisible());

      run.click("words.brd", "btSetupOneDict");
      QCOMPARE(Boxes::messages, QStringList{kAlreadyInstalled});
    }
    Run run(app);
    QVERIFY(hasWord(run.index.slWord(), "зюзяблик"));
    run.dialog->show();
    QVERIFY(run.checked("words.brd"));
    QCOMPARE(run.list()->count(), 2);
  }

  // Whatever stops an import is shown naming the source, and no package is left for the next
  // showing to list.
  void aSourceThatCannotBeImportedLeavesNoPackage() {
    AppFolder app;
    app.addSource("broken.txt", "#title=Сломанный\nслово без табуляции\n");
    app.addSource("empty.txt", "#title=Пустой\n");
    Run run(app);
    run.dialog->show();
    QCOMPARE(Boxes::questions, QStringList());
    for (const char* name : {"broken.brd", "empty.brd"}) {
      Boxes::errors.clear();
      run.click(name, "btSetupOneDict");
      QCOMPARE(Boxes::errors.size(), 1);
      const QString source =
          QString::fromLatin1(name).replace(QStringLiteral(".brd"), QStringLiteral(".txt"));
      QVERIFY2(Boxes::errors[0].startsWith(
                   QStringLiteral("Не удалось импортировать словарь из файла «") + source + u'»'),
               qPrintable(Boxes::errors[0]));
      QVERIFY(!fs::exists(app.dataDir() / name));
      QVERIFY(run.isSource(name));
      QVERIFY(!run.checked(name));
    }
    QVERIFY(Boxes::errors[0].contains(QStringLiteral("no articles")));
    QVERIFY(run.index.Dicts().empty());
    QVERIFY(run.button("btSetupOneDict")->isEnabled());
    QVERIFY(!run.widget<QProgressBar>("pb")->isVisible());
    QCOMPARE(run.widget<QLabel>("lb")->text(), QString());
    QCOMPARE(std::distance(fs::directory_iterator(app.dataDir()), fs::directory_iterator()), 2);

    run.reshow();
    QCOMPARE(run.list()->count(), 2);
    QVERIFY(run.isSource("broken.brd"));
  }

  // The import lets window messages run as the merge does: they find its progress showing and
  // every button disabled, and the dialog refuses to close or to start anything else.
  void isBusyWhileTheImportRuns() {
    AppFolder app;
    app.addPackage("sokr", "sokr.brd");
    app.addSource("words.txt", kWordsSource);
    Run run(app);
    run.dialog->show();

    std::vector<Snapshot> seen;
    QTimer meanwhile;
    meanwhile.setInterval(0);
    connect(&meanwhile, &QTimer::timeout, this, [&] {
      seen.push_back(
          {run.widget<QProgressBar>("pb")->isVisible(), run.widget<QProgressBar>("pb")->text(),
           run.widget<QLabel>("lb")->text(), run.widget<QLabel>("lbCount")->text(),
           run.button("btSetupOneDict")->isEnabled() || run.button("Button2")->isEnabled() ||
               run.button("Button4")->isEnabled()});
      run.list()->setCurrentRow(run.lineOf("sokr.brd"));
      run.dialog->btSetupOneDictClick();
      run.dialog->Button2Click();
      run.dialog->Button4Click();
      run.dialog->reject();
      run.dialog->close();
      run.dialog->acAddDictsExecute([] { QFAIL("refreshed while the import runs"); });
    });
    run.list()->setCurrentRow(run.lineOf("words.brd"));
    meanwhile.start();
    run.dialog->btSetupOneDictClick();
    meanwhile.stop();

    QCOMPARE(Boxes::errors, QStringList());
    QCOMPARE(Boxes::messages, QStringList());
    QVERIFY(run.dialog->isVisible());
    QCOMPARE(run.index.Dicts().size(), size_t{1});
    QVERIFY(run.checked("words.brd"));
    QVERIFY(!run.checked("sokr.brd"));
    QStringList statuses;
    for (const Snapshot& s : seen) {
      QVERIFY(!s.buttonsEnabled);
      if (statuses.isEmpty() || statuses.last() != s.status) statuses << s.status;
    }
    QVERIFY2(statuses.contains(QStringLiteral("Чтение: words.txt")),
             qPrintable(statuses.join(u'|')));
    QVERIFY2(statuses.contains(QStringLiteral("Импорт словаря: Мой словарь")),
             qPrintable(statuses.join(u'|')));
    // Then the installation, too short for its gauge to let messages run before the saving.
    QCOMPARE(statuses.last(), QStringLiteral("Сохранение результатов..."));
    QVERIFY(std::any_of(seen.begin(), seen.end(), [](const Snapshot& s) {
      return s.gaugeVisible && s.status.startsWith(QStringLiteral("Импорт"));
    }));
    QVERIFY(run.button("Button4")->isEnabled());
  }
};

QTEST_MAIN(AddDictsTest)
#include "add_dicts_test.moc"
