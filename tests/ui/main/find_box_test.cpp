// The find box beyond the filter: the full list following the typing, and the suggestions the
// tab "Фильтр" offers under its heading when the filter finds nothing.

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "dialogs/logo.h"
#include "htmlview/html_viewer.h"
#include "main/detail/tf_main_probe.h"
#include "main/filter_result_model.h"
#include "main/main_window.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "suggest/dictionary_forms.h"
#include "support/app_folder.h"

using namespace verbalon;
using namespace verbalon::ui;
using verbalon::testing::SampleAppFolder;

namespace {

// A window on an application folder, shown and loaded, with the controls the find box drives.
class Window {
 public:
  explicit Window(const SampleAppFolder& folder)
      : m_window(std::make_unique<TfMain>(folder.path(), QStringList())) {
    m_window->addDictsDialog = [] {};
  }

  bool open() {
    if (!m_window->FormCreate()) return false;
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get())) return false;
    return QTest::qWaitFor([&] { return lbWord()->count() > 0; });
  }

  TfMain& operator*() { return *m_window; }
  TfMain* operator->() { return m_window.get(); }

  template <typename T>
  T* control(const char* name) const {
    T* found = m_window->findChild<T*>(QString::fromLatin1(name));
    if (!found) qFatal("no control named %s", name);
    return found;
  }
  QLineEdit* meFind() const { return control<QLineEdit>("meFind"); }
  QListWidget* lbWord() const { return control<QListWidget>("lbWord"); }
  QListView* lbFiltered() const { return control<QListView>("lbFiltered"); }

  // Types text into the emptied find box key by key, as a person does (QTest's own typing
  // takes Latin-1 only).
  void type(const QString& text) {
    meFind()->clear();
    typeKeys(text);
  }
  void typeKeys(const QString& text) {
    for (const QChar ch : text) {
      for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent key(type, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(meFind(), &key);
      }
    }
  }
  void enter() { QTest::keyClick(meFind(), Qt::Key_Return); }
  void settle() { detail::TfMainProbe::waitForFindAids(*m_window); }

  QString word(int32_t line) const {
    return toQString(m_window->wordIndex().slWord()[static_cast<size_t>(line)]);
  }
  QStringList filteredRows() const {
    QStringList rows;
    const QAbstractItemModel* model = lbFiltered()->model();
    for (int r = 0; r < model->rowCount(); ++r)
      rows << model->index(r, 0).data().toString();
    return rows;
  }
  const FilterResultModel& filteredModel() const {
    return *static_cast<const FilterResultModel*>(lbFiltered()->model());
  }

 private:
  std::unique_ptr<TfMain> m_window;
};

const QString kHeading = QStringLiteral("Возможно, вы искали:");

}  // namespace

class FindBoxTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    DialogHooks hooks;
    hooks.error = [](const QString& message) { QFAIL(qPrintable(message)); };
    setDialogHooks(hooks);
  }

  // Rows below the heading name the words they show; the heading and the cut note name none.
  void resultRowsMapToWordsAroundHeadingAndNote() {
    const StringList slWord = {"a", "b", "c", "d"};
    index::TFilteredListWord matches{{"b"}, {1}};
    suggest::Suggestions offered;
    offered.items = {{3, suggest::Source::kWildcard}, {0, suggest::Source::kWildcard}};
    offered.cut = true;
    FilterResultModel model;
    model.setResult(matches, PackedLines(slWord), offered);
    QCOMPARE(model.rowCount(), 5);
    const int32_t none = -1;
    const std::vector<int32_t> expected = {1, none, 3, 0, none};
    for (int r = 0; r < model.rowCount(); ++r) {
      const auto word = model.wordOfRow(r);
      QCOMPARE(word.value_or(none), expected[static_cast<size_t>(r)]);
      const bool choosable = model.flags(model.index(r, 0)) & Qt::ItemIsSelectable;
      QCOMPARE(choosable, word.has_value());
    }
    QCOMPARE(model.index(1, 0).data().toString(), kHeading);
    QVERIFY(model.index(4, 0).data().toString().contains(QStringLiteral("10000")));
    QVERIFY(!model.wordOfRow(5));

    // Without suggestions there is no heading.
    model.setResult(matches, PackedLines(slWord), {});
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.wordOfRow(0), std::optional<int32_t>(1));
  }

  void typingMovesTheFullListToTheWord() {
    SampleAppFolder folder({"tolk.brd", "sinonim.brd"});
    Window window(folder);
    QVERIFY(window.open());
    auto* tabs = window.control<QTabWidget>("pcList");
    auto* sbWord = window.control<QScrollBar>("sbWord");

    window.type(QStringLiteral("кни"));
    window.settle();
    QCOMPARE(window.lbWord()->currentItem()->text(), QStringLiteral("книга"));
    QCOMPARE(window.word(window->topWord()), QStringLiteral("книга"));
    QCOMPARE(window.word(window->curWord()), QStringLiteral("книга"));
    QCOMPARE(sbWord->value(), window->topWord());  // the thumb goes along
    QCOMPARE(tabs->currentWidget(), window.control<QWidget>("tsFull"));
    // Its article follows through the show timer, as for a click.
    QTRY_COMPARE(window->articlesShown(), 1);
    QVERIFY(window.control<THTMLViewer>("me")->toPlainText().contains(QStringLiteral("книга")));

    // The keys' comparison, not the spelling: case, hyphens and «ё» do not count.
    window.type(QStringLiteral("СЕВЕРОЗ"));
    QCOMPARE(window.lbWord()->currentItem()->text(), QStringLiteral("северо-запад"));
    window.type(QStringLiteral("актер"));
    QCOMPARE(window.lbWord()->currentItem()->text(), QStringLiteral("актёр"));

    // Deleting a letter follows too; an empty box goes to the first word.
    QTest::keyClick(window.meFind(), Qt::Key_Backspace);
    QVERIFY(window.lbWord()->currentItem()->text().startsWith(QStringLiteral("акт")));
    window.type(QString());
    QTest::keyClick(window.meFind(), Qt::Key_A);
    QTest::keyClick(window.meFind(), Qt::Key_Backspace);
    QCOMPARE(window->topWord(), 0);
    QCOMPARE(window.lbWord()->currentRow(), 0);

    // Past the last word the last page shows (the thumb's last position), with no word chosen.
    window.type(QStringLiteral("яяяя"));
    QCOMPARE(window->topWord(), window.control<QScrollBar>("sbWord")->maximum());
    QCOMPARE(window.lbWord()->currentRow(), -1);
  }

  // Until the keys are built the list cannot follow; when they come, a word chosen meanwhile
  // keeps its article.
  void lateKeysLeaveAChoiceMadeMeanwhile() {
    SampleAppFolder folder({"tolk.brd"});
    Window window(folder);
    QVERIFY(window.open());
    window.typeKeys(QStringLiteral("к"));
    window.lbWord()->setCurrentRow(2);
    const int32_t chosen = window->curWord();
    window.settle();
    QVERIFY(window.word(window->topWord() + window.lbWord()->currentRow()).startsWith(u'к'));
    QCOMPARE(window->curWord(), chosen);
  }

  void theOtherLayoutIsOfferedUnderAHeadingThatCannotBeChosen() {
    SampleAppFolder folder({"tolk.brd", "sinonim.brd"});
    Window window(folder);
    QVERIFY(window.open());
    window.type(QStringLiteral("ljv"));
    window.enter();
    window.settle();  // no rows made again under the clicks below
    QCOMPARE(window.control<QTabWidget>("pcList")->currentWidget(),
             window.control<QWidget>("tsFiltered"));
    QVERIFY(window->flFiltered().Words.empty());  // the filter itself found nothing
    QCOMPARE(toQString(window->wordIndex().slHistory().front()), QStringLiteral("ljv"));
    const QStringList rows = window.filteredRows();
    QVERIFY(rows.size() >= 2);
    QCOMPARE(rows.front(), kHeading);
    QCOMPARE(rows[1], QStringLiteral("дом"));

    QListView* list = window.lbFiltered();
    const QModelIndex heading = list->model()->index(0, 0);
    QVERIFY(!(heading.flags() & (Qt::ItemIsSelectable | Qt::ItemIsEnabled)));
    const int32_t before = window->curWord();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(heading).center());
    QVERIFY(list->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(window->curWord(), before);

    // A suggestion shows its article as a match does; the keys never stop on the heading.
    list->setCurrentIndex(list->model()->index(1, 0));
    QCOMPARE(window.word(window->curWord()), QStringLiteral("дом"));
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(list->currentIndex().row(), 1);
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(list->currentIndex().row(), 1);
    QTRY_COMPARE(window->articlesShown(), 1);
    QVERIFY(window.control<THTMLViewer>("me")->toPlainText().contains(QStringLiteral("дом")));
  }

  // Near spellings are built when a filter first finds nothing; the rows are made again when
  // they land.
  void nearSpellingsArriveAfterTheFilterRan() {
    SampleAppFolder folder({"tolk.brd"});
    Window window(folder);
    QVERIFY(window.open());
    window.meFind()->setText(QStringLiteral("кнега"));
    window.enter();
    window.settle();
    const QStringList rows = window.filteredRows();
    QVERIFY(rows.size() >= 2);
    QCOMPARE(rows.front(), kHeading);
    QVERIFY(rows.contains(QStringLiteral("книга")));
  }

  void anInflectedFormOffersItsDictionaryForm() {
    if (!std::filesystem::exists(std::filesystem::path(suggest::kSystemHunspellFolder) /
                                 "ru_RU.dic")) {
      QSKIP("hunspell-ru is not installed in /usr/share/hunspell");
    }
    SampleAppFolder folder({"tolk.brd", "sinonim.brd"});
    Window window(folder);
    QVERIFY(window.open());
    window.type(QStringLiteral("книгами"));
    window.settle();
    window.enter();
    const QStringList rows = window.filteredRows();
    QVERIFY(rows.size() >= 2);
    QCOMPARE(rows.front(), kHeading);
    QCOMPARE(rows[1], QStringLiteral("книга"));
    QCOMPARE(rows.count(QStringLiteral("книга")), 1);  // offered by two sources, shown once
  }

  // A pattern matches whole words, letter case ignored, under the heading.
  void aPatternListsWholeWordMatches() {
    SampleAppFolder folder({"tolk.brd"});
    Window window(folder);
    QVERIFY(window.open());
    const auto offered = [&](const QString& pattern) {
      window.type(pattern);
      window.enter();
      QStringList rows = window.filteredRows();
      if (rows.isEmpty() || rows.takeFirst() != kHeading) qFatal("no heading");
      return rows;
    };
    QStringList rows = offered(QStringLiteral("Д?м"));
    QVERIFY(rows.contains(QStringLiteral("дом")));
    for (const QString& row : rows)
      QVERIFY2(row.size() == 3 && row.startsWith(u'д') && row.endsWith(u'м'), qPrintable(row));
    rows = offered(QStringLiteral("*КА"));
    QVERIFY(rows.size() > 1);
    for (const QString& row : rows)
      QVERIFY2(row.endsWith(QStringLiteral("ка")), qPrintable(row));
  }

  // After an installation the suggestions come from the new list, and their rows name the words
  // they show.
  void installationRebuildsTheSuggestions() {
    SampleAppFolder folder({"sinonim.brd"});
    Window window(folder);
    QVERIFY(window.open());
    window.type(QStringLiteral("кнега"));
    window.enter();
    window.settle();
    QVERIFY(window.filteredRows().contains(QStringLiteral("книга")));

    index::NoProgress progress;
    index::WordIndex& words = window->wordIndex();
    words.AddDict(folder.dataDir() / "tolk.brd", window->session().ReadBuf());
    words.InstallDict(words.Dicts().size() - 1, progress);
    window->RefreshAfterInstall();
    window.settle();
    const QStringList rows = window.filteredRows();
    QVERIFY(rows.contains(QStringLiteral("книга")));
    for (int r = 0; r < rows.size(); ++r) {
      if (const auto line = window.filteredModel().wordOfRow(r)) {
        QCOMPARE(window.word(*line), rows[r]);
      }
    }
    // The list follows by the index's own keys now.
    window.type(QStringLiteral("кни"));
    QCOMPARE(window.lbWord()->currentItem()->text(), QStringLiteral("книга"));
  }

  void aboutWindowSaysWhenDictionaryFormsAreOff() {
    SampleAppFolder folder({"tolk.brd"});
    for (const bool present : {false, true}) {
      const std::filesystem::path hunspell =
          present ? std::filesystem::path(suggest::kSystemHunspellFolder) : folder.path();
      if (present && !std::filesystem::exists(hunspell / "ru_RU.dic")) continue;
      TfMain window(folder.path(), {});
      window.setHunspellFolder(hunspell);
      QVERIFY(window.FormCreate());
      window.createSecondaryWindows();
      auto* fLogo = window.findChild<TfLogo*>(QStringLiteral("fLogo"));
      auto* note = fLogo->findChild<QLabel*>(QStringLiteral("lbNote"));
      QString shown;
      QTimer::singleShot(50, fLogo, [&] {
        shown = note->isVisible() ? note->text() : QString();
        fLogo->close();
      });
      window.findChild<QAction*>(QStringLiteral("acAbout"))->trigger();
      QCOMPARE(shown.contains(QStringLiteral("Hunspell")), !present);
    }
  }
};

QTEST_MAIN(FindBoxTest)
#include "find_box_test.moc"
