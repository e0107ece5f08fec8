// The main window on temporary application folders: start-up, the paged word list, the show
// timer, the article view's hooks, the filter and the history.

#include "main/main_window.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "htmlview/html_viewer.h"
#include "import/source_text.h"
#include "main/detail/tf_main_probe.h"
#include "main/word_page.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"
#include "storage/storage.h"
#include "support/app_folder.h"
#include "window_under_test.h"

using namespace verbalon;
using namespace verbalon::ui;
using verbalon::testing::AppFolder;
using verbalon::testing::child;
using verbalon::testing::openWindow;
using verbalon::testing::SampleAppFolder;

namespace {

QStringList g_errors;

// The controls the tests drive and read.
struct Controls {
  explicit Controls(const TfMain& window)
      : me(child<THTMLViewer>(window, "me")),
        meFind(child<QLineEdit>(window, "meFind")),
        pcList(child<QTabWidget>(window, "pcList")),
        tsFull(child<QWidget>(window, "tsFull")),
        tsFiltered(child<QWidget>(window, "tsFiltered")),
        lbWord(child<QListWidget>(window, "lbWord")),
        sbWord(child<QScrollBar>(window, "sbWord")),
        lbFiltered(child<QListView>(window, "lbFiltered")),
        lbHistory(child<QListWidget>(window, "lbHistory")),
        // The installation dialog has a "Button2" too.
        Button1(child<QPushButton>(*child<QWidget>(window, "tsHistory"), "Button1")),
        Button2(child<QPushButton>(*child<QWidget>(window, "tsHistory"), "Button2")),
        acFilter(child<QAction>(window, "acFilter")),
        acExit(child<QAction>(window, "acExit")) {}
  THTMLViewer* me;
  QLineEdit* meFind;
  QTabWidget* pcList;
  QWidget* tsFull;
  QWidget* tsFiltered;
  QListWidget* lbWord;
  QScrollBar* sbWord;
  QListView* lbFiltered;
  QListWidget* lbHistory;
  QPushButton* Button1;
  QPushButton* Button2;
  QAction* acFilter;
  QAction* acExit;
};

QString statusText(const TfMain& window, int panel) {
  return child<QLabel>(window, qPrintable(QStringLiteral("statusPanels%1").arg(panel)))->text();
}

// The client point over the character at position of the view's text.
QPoint pointOfCharacter(THTMLViewer& view, int position) {
  QTextCursor cursor(view.document());
  cursor.setPosition(position);
  const QRect left = view.cursorRect(cursor);
  cursor.setPosition(position + 1);
  const QRect right = view.cursorRect(cursor);
  return QPoint((left.x() + right.x()) / 2, left.center().y());
}

// The content of "history.dat" as it is on disk now, read from a copy: the window holds the
// package itself open.
StringList historyOnDisk(const AppFolder& folder) {
  const std::filesystem::path copy = folder.path() / "copy.pde";
  std::filesystem::copy_file(folder.path() / "vrbx.pde", copy,
                             std::filesystem::copy_options::overwrite_existing);
  storage::MemoryStream buffer;
  StringList lines = storage::readLines(storage::CompoundFile::open(copy), "history.dat", buffer);
  std::filesystem::remove(copy);
  return lines;
}

// Installs, as the only dictionary of folder, a "MEMO" one whose words "a", "b", ... have the
// articles given, in this order; with sameWord, all of them are articles of that one word.
void installMemoDictionary(const AppFolder& folder, const std::vector<std::string>& articles,
                           const std::string& sameWord = {}) {
  {
    auto package = storage::CompoundFile::create(folder.dataDir() / "memo.brd");
    storage::WriteStream(package, "~dict.ini", "Title=H\r\nShortTitle=H\r\nviewcontrol=MEMO", true);
    storage::WriteStream(package, "~info.dat", "", true);
    std::string words;
    std::string index;
    std::string text;
    for (size_t i = 0; i < articles.size(); ++i) {
      words += (sameWord.empty() ? std::string(1, static_cast<char>('a' + i)) : sameWord) + "\r\n";
      index += "s:" + std::to_string(i) + "\r\n";
      text += articles[i] + "\r\n";
    }
    storage::WriteStream(package, "~items.dat", words, true);
    storage::WriteStream(package, "~index.dat", index, true);
    storage::WriteStream(package, "s", text, true);
  }
  auto stgRes = storage::CompoundFile::open(folder.path() / "vrbx.pde");
  storage::MemoryStream ReadBuf;
  index::WordIndex index;
  index::NoProgress progress;
  index.LoadIndex(stgRes, folder.dataDir(), ReadBuf);
  index.AddDict(folder.dataDir() / "memo.brd", ReadBuf);
  index.InstallDict(0, progress);
  index.SaveIndex(stgRes, progress);
}

// Once the start-up question about a package that cannot be opened shows, keeps its text in
// *text and presses its button of that object name.
void answerUnopenedPackage(const char* button, QString* text) {
  auto* poll = new QTimer(qApp);
  QObject::connect(poll, &QTimer::timeout, [poll, button, text] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box->objectName() != QStringLiteral("unopenedPackageBox")) return;
    poll->stop();
    poll->deleteLater();
    *text = box->text();
    child<QPushButton>(*box, button)->click();
  });
  poll->start(10);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    DialogHooks hooks;
    hooks.error = [](const QString& message) { g_errors << message; };
    setDialogHooks(hooks);
  }
  void init() { g_errors.clear(); }

  void startUpFillsThePageAndTheStatusBar() {
    SampleAppFolder folder({"tolk.brd", "sinonim.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    const auto n = static_cast<int>(window->wordIndex().slWord().size());
    QCOMPARE(window->windowTitle(), QStringLiteral("Вербалон - версия 1.0b"));
    QCOMPARE(statusText(*window, 0), QStringLiteral("Слов: %1").arg(n));
    QCOMPARE(statusText(*window, 1), QStringLiteral("Статей: 0"));
    QCOMPARE(statusText(*window, 2), QStringLiteral("Доступно: 2"));
    QCOMPARE(statusText(*window, 3), QStringLiteral("Фильтр: 0"));
    // Once the list box has its height the page is full: every row that shows, and one more.
    const int rows = rowsOfPage(form.lbWord->viewport()->height(), 16);
    QVERIFY(rows > 5);
    QCOMPARE(form.lbWord->count(), rows);
    QCOMPARE(form.sbWord->pageStep(), rows);
    QCOMPARE(form.sbWord->maximum(), n - (rows - 1));
    QCOMPARE(window->topWord(), 0);
    QCOMPARE(form.lbWord->item(0)->text(), toQString(window->wordIndex().slWord()[0]));
    QCOMPARE(form.pcList->currentWidget(), form.tsFull);
    QVERIFY(g_errors.isEmpty());
  }

  void emptyIndexGivesEmptyPageAndOffersTheDialog() {
    SampleAppFolder folder;
    int offered = 0;
    auto window = std::make_unique<TfMain>(folder.path(), QStringList());
    window->addDictsDialog = [&] { ++offered; };
    const Controls form(*window);
    QVERIFY(window->FormCreate());
    window->show();
    QTRY_COMPARE(offered, 1);
    QCOMPARE(form.lbWord->count(), 0);
    QCOMPARE(form.sbWord->minimum(), 0);
    QCOMPARE(form.sbWord->maximum(), 1);
    QCOMPARE(form.sbWord->value(), 0);
    form.sbWord->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(window->topWord(), 0);
  }

  void keysPageTheListAndLeaveTheThumb() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    QListWidget* list = form.lbWord;
    const int rows = window->pageRows();

    // Up on the first row of the first page: nothing moves.
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(window->topWord(), 0);
    QCOMPARE(list->currentRow(), 0);

    // Down on the last row scrolls by one word and keeps the last row selected.
    list->setCurrentRow(rows - 1);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(window->topWord(), 1);
    QCOMPARE(list->currentRow(), rows - 1);
    QCOMPARE(window->curWord(), rows);
    QCOMPARE(list->item(rows - 1)->text(),
             toQString(window->wordIndex().slWord()[static_cast<size_t>(rows)]));

    // Three Page Downs from the start leave the thumb at the top; a line step of the scroll bar
    // then starts from the page, not from the thumb.
    detail::TfMainProbe::ShowPage(*window, 0);
    detail::TfMainProbe::AdjustWordScroll(*window);
    for (int i = 0; i < 3; ++i)
      QTest::keyClick(list, Qt::Key_PageDown);
    QCOMPARE(window->topWord(), 3 * rows);
    QCOMPARE(form.sbWord->value(), 0);
    form.sbWord->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(window->topWord(), 3 * rows + 1);
    QCOMPARE(form.sbWord->value(), 1);

    // Down on the partly visible last row of the page before the last: the last page holds
    // one row fewer, and the selection stays on the last word.
    const int n = static_cast<int>(window->wordIndex().slWord().size());
    const int whole = rows - 1;
    detail::TfMainProbe::ShowPage(*window, n - rows);
    QCOMPARE(list->count(), rows);
    list->setCurrentRow(rows - 1);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(window->topWord(), n - whole);
    QCOMPARE(list->count(), whole);
    QCOMPARE(window->curWord(), n - 1);

    // Down on the last row of the last page changes nothing.
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(window->topWord(), n - whole);
    QCOMPARE(list->currentRow(), whole - 1);
  }

  // The thumb's last position and End show the last word on the last row that shows whole;
  // Home and End reach the ends of the whole list, wherever the page is.
  void theEndsOfTheListShowWhole() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    QListWidget* list = form.lbWord;
    const PackedLines& slWord = window->wordIndex().slWord();
    const int n = static_cast<int>(slWord.size());
    const int whole = list->viewport()->height() / 16;
    QVERIFY(whole > 3 && n > 3 * whole);
    QCOMPARE(form.sbWord->maximum(), n - whole);
    const auto lastWordShowsWhole = [&] {
      const QListWidgetItem* last = list->item(list->count() - 1);
      return last->text() == toQString(slWord.back()) &&
             list->visualItemRect(last).bottom() < list->viewport()->height();
    };

    form.sbWord->setSliderPosition(form.sbWord->maximum());
    QCOMPARE(window->topWord(), n - whole);
    QVERIFY(lastWordShowsWhole());
    // A line step back from the end moves the page with the thumb.
    form.sbWord->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(window->topWord(), n - whole - 1);
    QCOMPARE(form.sbWord->value(), n - whole - 1);

    detail::TfMainProbe::ShowPage(*window, n / 2);
    list->setCurrentRow(2);
    QTest::keyClick(list, Qt::Key_End);
    QVERIFY(lastWordShowsWhole());
    QCOMPARE(list->currentItem()->text(), toQString(slWord.back()));
    QCOMPARE(window->curWord(), n - 1);
    QCOMPARE(form.sbWord->value(), form.sbWord->maximum());
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(window->topWord(), 0);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(window->curWord(), 0);
    QCOMPARE(form.sbWord->value(), 0);

    // Fewer rows after a resize: the end of the range follows, and the thumb stays.
    form.sbWord->setSliderPosition(5);
    window->resize(window->width(), window->height() - 64);
    QTRY_COMPARE(form.sbWord->maximum(), n - list->viewport()->height() / 16);
    QCOMPARE(form.sbWord->value(), 5);
    form.sbWord->setSliderPosition(form.sbWord->maximum());
    QVERIFY(lastWordShowsWhole());
  }

  void enlargingAtTheEndKeepsThePageFull() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    const int n = static_cast<int>(window->wordIndex().slWord().size());
    detail::TfMainProbe::ShowPage(*window, n);
    const int rowsBefore = window->pageRows();
    QCOMPARE(window->topWord(), n - (rowsBefore - 1));
    const int thumb = form.sbWord->value();
    window->resize(window->width(), window->height() + 160);
    QTRY_VERIFY(window->pageRows() > rowsBefore);
    const int whole = window->pageRows() - 1;
    QCOMPARE(window->topWord(), n - whole);
    QCOMPARE(form.lbWord->count(), whole);
    QCOMPARE(form.sbWord->value(), thumb);  // a resize leaves the thumb alone
  }

  void quickChoicesShowOnlyTheLastWord() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    detail::TfMainProbe::ShowPage(*window, 10);
    for (int row = 1; row <= 3; ++row) {
      form.lbWord->setCurrentRow(row);
      if (row < 3) QTest::qWait(100);
    }
    QCOMPARE(window->curWord(), 13);
    QTest::qWait(200);
    QCOMPARE(window->articlesShown(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(window->articlesShown(), 1, 1000);
    QTest::qWait(400);
    QCOMPARE(window->articlesShown(), 1);
    const QString headword = toQString(window->wordIndex().slWord()[13]);
    QVERIFY(form.me->toPlainText().contains(headword));
    // The page's picture and style sheet came from the resource package.
    QCOMPARE(form.me->failedResources(), QStringList());
    QVERIFY(g_errors.isEmpty());
  }

  // A 10 MB line and a 1 MB word kept the view laying out for minutes; the page that reaches it
  // now is cut and broken, so showing either is a matter of moments.
  void aHostileArticleLeavesTheWindowResponsive() {
    SampleAppFolder folder;
    installMemoDictionary(folder, {std::string(10 << 20, 'x'), std::string(1 << 20, 'y')});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    for (int32_t w = 0; w < 2; ++w) {
      QElapsedTimer timer;
      timer.start();
      detail::TfMainProbe::ShowArticle(*window, w);
      // The layout of the whole page, which the view would otherwise do while painting.
      QVERIFY(form.me->document()->size().height() > 0);
      QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
      QVERIFY(form.me->toPlainText().contains(QStringLiteral("статья сокращена")));
    }
    QVERIFY(g_errors.isEmpty());
  }

  // The templates put every article inside the cells of their tables: a "#" link scrolls there
  // all the same, to an anchor named by an A or by the id of a table or of its row, which Qt
  // keeps no anchor for.
  void anchorLinksScrollWithinTheTemplatesTables() {
    SampleAppFolder folder;
    std::string lines;
    for (int i = 0; i < 150; ++i) {
      lines += "<BR>строка";
    }
    installMemoDictionary(folder,
                          {cp1251::fromUtf8("<a href=\"#end\">вниз</a>" + lines +
                                            "<BR><a name=\"end\">конец</a>" + lines),
                           cp1251::fromUtf8("<a href=\"#x\">вниз</a>" + lines +
                                            "<table id=x><tr><td>конец</td></tr></table>" + lines),
                           cp1251::fromUtf8("<a href=\"#y\">вниз</a>" + lines +
                                            "<table><tr><td>a</td></tr><tr id='y'><td>"
                                            "конец</td></tr></table>" +
                                            lines)});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    QScrollBar* scroll = form.me->verticalScrollBar();
    for (int32_t w = 0; w < 3; ++w) {
      detail::TfMainProbe::ShowArticle(*window, w);
      QCOMPARE(scroll->value(), 0);
      const QString text = form.me->toPlainText();
      QTest::mouseClick(form.me->viewport(), Qt::LeftButton, Qt::NoModifier,
                        pointOfCharacter(*form.me, static_cast<int>(text.indexOf(u"вниз")) + 1));
      // The anchor's line now stands at the top of the view.
      const QPoint end = pointOfCharacter(*form.me, static_cast<int>(text.indexOf(u"конец")));
      QVERIFY2(scroll->value() > 0 && end.y() >= 0 && end.y() < 40,
               qPrintable(QStringLiteral("word %1: scrolled to %2, anchor at %3")
                              .arg(w)
                              .arg(scroll->value())
                              .arg(end.y())));
    }
    QVERIFY(g_errors.isEmpty());
  }

  // The view lays a long page out as it shows it, not all at once: a "#" link in the first of
  // many fragments still reaches an anchor in the last, far below what was laid out first.
  void anAnchorLinkReachesTheLastFragmentOfALongPage() {
    SampleAppFolder folder;
    std::string lines;
    for (int i = 0; i < 20; ++i) {
      lines += "<BR>строка";
    }
    std::vector<std::string> articles(40, cp1251::fromUtf8("текст" + lines));
    articles.front() = cp1251::fromUtf8("<a href=\"#end\">вниз</a>" + lines);
    articles.back() = cp1251::fromUtf8("<a name=\"end\">конец</a>" + lines);
    installMemoDictionary(folder, articles, "a");
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    QScrollBar* scroll = form.me->verticalScrollBar();
    detail::TfMainProbe::ShowArticle(*window, 0);

    const QString text = form.me->toPlainText();
    QTest::mouseClick(form.me->viewport(), Qt::LeftButton, Qt::NoModifier,
                      pointOfCharacter(*form.me, static_cast<int>(text.indexOf(u"вниз")) + 1));
    const QPoint end = pointOfCharacter(*form.me, static_cast<int>(text.indexOf(u"конец")));
    QVERIFY2(scroll->value() > 0 && end.y() >= 0 && end.y() < 40,
             qPrintable(
                 QStringLiteral("scrolled to %1, anchor at %2").arg(scroll->value()).arg(end.y())));
    QVERIFY(g_errors.isEmpty());
  }

  // The rule of 15 pixels a headword letter gives «дом» seven columns in a 345-pixel view, more
  // than its synonyms leave room for: the columns are capped at what fits, so neither the list
  // nor the title above it scrolls sideways; a wide view still gets more columns.
  void listArticlesNeverScrollSideways() {
    SampleAppFolder folder({"sinonim.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    auto* splitter = child<QSplitter>(*window, "Splitter1");
    const std::optional<size_t> dom = window->session().findWord(cp1251::fromUtf8("дом"));
    QVERIFY(dom);
    // The page of «дом» in a view width pixels wide: whether it fits the view, and the columns
    // of its synonyms (0 when the view did not take that width).
    struct Shown {
      bool fits = false;
      int columns = 0;
    };
    const auto show = [&](int width) {
      splitter->setSizes({splitter->width() - splitter->handleWidth() - width, width});
      if (!QTest::qWaitFor([&] { return form.me->width() == width; })) return Shown{};
      detail::TfMainProbe::ShowArticle(*window, static_cast<int32_t>(*dom));
      QTextDocument* page = form.me->document();
      const QTextCursor item = page->find(QStringLiteral("здание"));
      const bool titled = !page->find(QStringLiteral("Краткий словарь синонимов")).isNull();
      return Shown{titled && page->size().width() <= form.me->viewport()->width() &&
                       form.me->horizontalScrollBar()->maximum() == 0,
                   item.currentTable() ? item.currentTable()->columns() : 0};
    };
    const Shown narrow = show(345);
    QVERIFY(narrow.fits);
    QVERIFY(narrow.columns >= 1 && narrow.columns < 7);
    window->resize(1400, window->height());
    const Shown wide = show(1100);
    QVERIFY(wide.fits);
    QVERIFY2(wide.columns > narrow.columns,
             qPrintable(QStringLiteral("%1 and %2").arg(narrow.columns).arg(wide.columns)));
    // A view narrower than the longest synonym still shows one column.
    QCOMPARE(show(150).columns, 1);
    QVERIFY(g_errors.isEmpty());
  }

  void ctrlClickPicksTheWordIntoTheFilter() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    form.me->LoadFromString(cp1251::fromUtf8("<html><body><p>слово (дом), ещё</p></body></html>"));
    const QString text = form.me->toPlainText();
    const QPoint onO = pointOfCharacter(*form.me, static_cast<int>(text.indexOf(u'о', 7)));

    // Without Ctrl, or with the right button, nothing is picked.
    QTest::mouseClick(form.me->viewport(), Qt::LeftButton, Qt::NoModifier, onO);
    QTest::mouseClick(form.me->viewport(), Qt::RightButton, Qt::ControlModifier, onO);
    QCOMPARE(form.meFind->text(), QString());

    QTest::mouseClick(form.me->viewport(), Qt::LeftButton, Qt::ControlModifier, onO);
    QCOMPARE(form.meFind->text(), QStringLiteral("дом"));
    QCOMPARE(form.pcList->currentWidget(), form.tsFiltered);
    QCOMPARE(toQString(window->wordIndex().slHistory().front()), QStringLiteral("дом"));

    // Over no text the pick is empty and the filter still runs.
    QTest::mouseClick(form.me->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      QPoint(5, form.me->viewport()->height() - 5));
    QCOMPARE(form.meFind->text(), QString());
    QCOMPARE(window->wordIndex().slHistory().front(), std::string());
  }

  // The cross-references of imported dictionaries: a click runs the filter on the linked word
  // as a Ctrl+click on it would, and the address goes nowhere else.
  void lookupLinksLookTheWordUp() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    QList<QUrl> opened;
    window->openUrl = [&](const QUrl& url) { opened << url; };
    form.me->LoadFromString(
        cp1251::fromUtf8("<html><body><p>см. " + import::lookupLink("Дом", "первое") + "</p><p>и " +
                         import::lookupLink("café crème", "второе") + "</p></body></html>"));
    QVERIFY(form.me->failedResources().isEmpty());
    const auto click = [&](const QString& text) {
      const int at = static_cast<int>(form.me->toPlainText().indexOf(text)) + 1;
      QTest::mouseClick(form.me->viewport(), Qt::LeftButton, Qt::NoModifier,
                        pointOfCharacter(*form.me, at));
    };

    click(QStringLiteral("первое"));
    QCOMPARE(form.meFind->text(), QStringLiteral("Дом"));
    QCOMPARE(form.pcList->currentWidget(), form.tsFiltered);
    QCOMPARE(toQString(window->wordIndex().slHistory().front()), QStringLiteral("дом"));
    QVERIFY(!window->flFiltered().Words.empty());
    QVERIFY(toQString(window->flFiltered().Words.front()).startsWith(QStringLiteral("дом")));

    // Windows-1251 has no "é": the word is folded as the importer folds its headwords.
    click(QStringLiteral("второе"));
    QCOMPARE(form.meFind->text(), QStringLiteral("cafe creme"));
    QCOMPARE(toQString(window->wordIndex().slHistory().front()), QStringLiteral("cafe creme"));
    QVERIFY(opened.isEmpty());
    QVERIFY(g_errors.isEmpty());

    bool handled = false;
    detail::TfMainProbe::meHotSpotClick(*window, "LOOKUP:%D0%B4%D0%BE%D0%BC", handled);
    QVERIFY(handled);
    QCOMPARE(form.meFind->text(), QStringLiteral("дом"));
    QVERIFY(opened.isEmpty());
  }

  void onlyWebAndMailLinksLeaveTheProgram() {
    SampleAppFolder folder;
    auto window = std::make_unique<TfMain>(folder.path(), QStringList());
    QList<QUrl> opened;
    window->openUrl = [&](const QUrl& url) { opened << url; };
    for (const char* url :
         {"http://example.org/a", "HTTPS://example.org", "ftp://h/f", "mailto:a@b.c",
          "file:///etc/passwd", "/bin/sh", "calc.exe", "javascript:x", "#top"}) {
      bool handled = false;
      detail::TfMainProbe::meHotSpotClick(*window, url, handled);
      QVERIFY(!handled);
    }
    QCOMPARE(opened.size(), 4);
    QCOMPARE(opened.front(), QUrl(QStringLiteral("http://example.org/a")));
  }

  void filterRunsAreRecordedAndSaved() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    const int page = window->topWord();
    form.meFind->setText(QStringLiteral("  ДО  "));
    QTest::keyClick(form.meFind, Qt::Key_Return);
    QCOMPARE(form.pcList->currentWidget(), form.tsFiltered);
    const auto& result = window->flFiltered();
    QVERIFY(!result.Words.empty());
    QCOMPARE(form.lbFiltered->model()->rowCount(), static_cast<int>(result.Words.size()));
    QCOMPARE(form.lbHistory->item(0)->text(), QStringLiteral("до"));
    // Saved at once: a killed program loses no query.
    QCOMPARE(historyOnDisk(folder), StringList{cp1251::fromUtf8("до")});

    // A choice in the result shows that word, and the full list's page stays.
    form.lbFiltered->setCurrentIndex(form.lbFiltered->model()->index(1, 0));
    QCOMPARE(window->curWord(), result.Indexes[1]);
    QTRY_COMPARE(window->articlesShown(), 1);
    QTest::qWait(400);
    QCOMPARE(window->articlesShown(), 1);
    QCOMPARE(window->topWord(), page);

    // Nothing matching still records the query and brings the tab to the front.
    form.pcList->setCurrentWidget(form.tsFull);
    form.meFind->setText(QStringLiteral("щщщ"));
    form.acFilter->trigger();
    QCOMPARE(form.lbFiltered->model()->rowCount(), 0);
    QCOMPARE(form.pcList->currentWidget(), form.tsFiltered);
    QCOMPARE(form.lbHistory->count(), 2);
  }

  // Enter in the find box and a history row run the filter alike: the first match is chosen
  // and its article shown. Down then takes the focus into the list on show.
  void aRunWithMatchesChoosesTheFirstAndDownEntersTheList() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    form.meFind->setFocus();
    const auto firstChosen = [&](int shownBefore) {
      const auto& result = window->flFiltered();
      return !result.Indexes.empty() && form.lbFiltered->currentIndex().row() == 0 &&
             form.lbFiltered->selectionModel()->isRowSelected(0) &&
             window->curWord() == result.Indexes.front() &&
             QTest::qWaitFor([&] { return window->articlesShown() == shownBefore + 1; }, 1000);
    };

    form.meFind->setText(QStringLiteral("до"));
    QTest::keyClick(form.meFind, Qt::Key_Return);
    QVERIFY(firstChosen(0));
    QVERIFY(form.me->toPlainText().contains(toQString(window->flFiltered().Words.front())));
    QVERIFY(form.meFind->hasFocus());

    form.pcList->setCurrentWidget(child<QWidget>(*window, "tsHistory"));
    form.lbHistory->setCurrentRow(0);
    QTest::keyClick(form.lbHistory, Qt::Key_Return);
    QVERIFY(firstChosen(1));

    // Nothing matching chooses nothing.
    const int32_t chosen = window->curWord();
    form.meFind->setText(QStringLiteral("щщщ"));
    QTest::keyClick(form.meFind, Qt::Key_Return);
    QTest::qWait(400);
    QCOMPARE(window->curWord(), chosen);
    QCOMPARE(window->articlesShown(), 2);

    // Down on the tab "Фильтр" goes into the result, at its first row.
    form.meFind->setText(QStringLiteral("до"));
    QTest::keyClick(form.meFind, Qt::Key_Return);
    form.lbFiltered->setCurrentIndex(form.lbFiltered->model()->index(2, 0));
    form.meFind->setFocus();
    QTest::keyClick(form.meFind, Qt::Key_Down);
    QVERIFY(form.lbFiltered->hasFocus());
    QCOMPARE(form.lbFiltered->currentIndex().row(), 2);
    QCOMPARE(window->curWord(), window->flFiltered().Indexes[2]);

    // Elsewhere into the full list, on its current row or its first.
    form.pcList->setCurrentWidget(child<QWidget>(*window, "tsHistory"));
    form.meFind->setFocus();
    QTest::keyClick(form.meFind, Qt::Key_Down);
    QCOMPARE(form.pcList->currentWidget(), form.tsFull);
    QVERIFY(form.lbWord->hasFocus());
    QCOMPARE(form.lbWord->currentRow(), 0);
    QVERIFY(form.lbWord->item(0)->isSelected());
    QCOMPARE(window->curWord(), window->topWord());
    form.lbWord->setCurrentRow(3);
    form.meFind->setFocus();
    QTest::keyClick(form.meFind, Qt::Key_Down);
    QCOMPARE(form.lbWord->currentRow(), 3);
    QVERIFY(g_errors.isEmpty());
  }

  // After an installation the filter result is made again, so its rows still name their words.
  void installationRefreshesPageStatusAndFilterResult() {
    SampleAppFolder folder({"sinonim.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    form.meFind->setText(QStringLiteral("до"));
    form.acFilter->trigger();
    const size_t before = window->flFiltered().Words.size();

    index::NoProgress progress;
    index::WordIndex& words = window->wordIndex();
    words.AddDict(folder.dataDir() / "tolk.brd", window->session().ReadBuf());
    words.InstallDict(words.Dicts().size() - 1, progress);
    window->RefreshAfterInstall();

    const auto& result = window->flFiltered();
    QVERIFY(result.Words.size() > before);
    for (size_t i = 0; i < result.Words.size(); ++i) {
      QCOMPARE(words.slWord()[static_cast<size_t>(result.Indexes[i])], result.Words[i]);
    }
    QCOMPARE(form.lbFiltered->model()->rowCount(), static_cast<int>(result.Words.size()));
    QCOMPARE(statusText(*window, 0), QStringLiteral("Слов: %1").arg(words.slWord().size()));
    QCOMPARE(form.sbWord->maximum(),
             static_cast<int>(words.slWord().size()) - (window->pageRows() - 1));
  }

  // An installed package whose file is gone: the start asks, in Russian and naming the file,
  // and does what the answer says; nothing is reported as an error. Runs before the first test
  // that ends the program: once acExit has left the event loops, no later modal box waits.
  void startUpAsksWhatToDoWithAPackageThatCannotBeOpened() {
    for (const char* button : {"btKeepDict", "btRemoveDict", "btExitProgram"}) {
      SampleAppFolder folder({"tolk.brd", "sinonim.brd"});
      std::filesystem::remove(folder.dataDir() / "sinonim.brd");
      QString asked;
      answerUnopenedPackage(button, &asked);
      auto window = std::make_unique<TfMain>(folder.path(), QStringList());
      QVERIFY(window->FormCreate());
      window->createSecondaryWindows();
      window->addDictsDialog = [] {};
      window->show();
      QTRY_VERIFY(!asked.isEmpty());
      QVERIFY2(
          asked.contains(QStringLiteral("Не удалось открыть установленный словарь «sinonim.brd»")),
          qPrintable(asked));
      QVERIFY(asked.contains(QStringLiteral("Файл sinonim.brd не найден")));
      QVERIFY(!child<QWidget>(*window, "fLogo")->isVisible());
      const index::WordIndex& index = window->wordIndex();
      const std::string which = button;
      if (which == "btExitProgram") {
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(g_errors, QStringList());
        continue;
      }
      QTRY_VERIFY(Controls(*window).lbWord->count() > 0);
      QCOMPARE(g_errors, QStringList());
      QVERIFY(!child<QProgressBar>(*window, "pbLoad")->isVisible());
      const std::optional<size_t> dom = window->session().findWord(cp1251::fromUtf8("дом"));
      QVERIFY(dom);
      if (which == "btKeepDict") {
        QCOMPARE(index.Dicts().size(), size_t{2});
        QVERIFY(index.Dicts()[1].isUnopened());
        QCOMPARE(statusText(*window, 2), QStringLiteral("Доступно: 1"));
        // The page of a word both know shows the article that can be read.
        QVERIFY(index.slIndex()[*dom].find('|') != std::string::npos);
        detail::TfMainProbe::ShowArticle(*window, static_cast<int32_t>(*dom));
        const QString page = Controls(*window).me->toPlainText();
        QVERIFY2(page.contains(QStringLiteral("Жилое здание.")), qPrintable(page));
        QVERIFY(!page.contains(QStringLiteral("строение")));
      } else {
        QCOMPARE(index.Dicts().size(), size_t{1});
        QVERIFY(index.slIndex()[*dom].find('|') == std::string::npos);
      }
      QCOMPARE(g_errors, QStringList());
    }
  }

  void historyRowsRunAgainAndButtonsOnlyTakeRowsOffTheScreen() {
    SampleAppFolder folder({"tolk.brd"});
    auto window = openWindow(folder);
    QVERIFY(window);
    const Controls form(*window);
    for (const QString& query : {QStringLiteral("дом"), QStringLiteral("кот")}) {
      form.meFind->setText(query);
      form.acFilter->trigger();
    }
    QListWidget* history = form.lbHistory;
    QCOMPARE(history->item(0)->text(), QStringLiteral("кот"));

    // "Удалить" without a selection does nothing; with one, only that row goes.
    form.Button1->click();
    QCOMPARE(history->count(), 2);
    history->setCurrentRow(1);
    QTest::keyClick(history, Qt::Key_Return);  // Enter runs «дом» again
    QCOMPARE(form.meFind->text(), QStringLiteral("дом"));
    QCOMPARE(history->count(), 3);
    QCOMPARE(history->item(0)->text(), QStringLiteral("дом"));
    history->setCurrentRow(1);
    form.Button1->click();
    QCOMPARE(history->count(), 2);
    form.Button2->click();
    QCOMPARE(history->count(), 0);
    QCOMPARE(window->wordIndex().slHistory().size(), size_t{3});

    // The next run shows the whole history again, and the next start too.
    form.acFilter->trigger();
    QCOMPARE(history->count(), 4);
    form.acExit->trigger();
    window.reset();
    auto again = openWindow(folder);
    QVERIFY(again);
    QCOMPARE(Controls(*again).lbHistory->count(), 4);
    QCOMPARE(Controls(*again).lbHistory->item(0)->text(), QStringLiteral("дом"));
  }

  void firstArgumentNamesThePackageToInstall() {
    SampleAppFolder folder({"tolk.brd"});
    QStringList seen;
    for (const QString& argument :
         {QStringLiteral("  /DI:/Home/Ann/Data/Толк.BRD\t"), QStringLiteral("x/di:abc")}) {
      auto window = std::make_unique<TfMain>(folder.path(),
                                             QStringList{argument, QStringLiteral("/di:second")});
      window->autoAddDict = [&](const std::string& path) { seen << toQString(path); };
      QVERIFY(window->FormCreate());
      window->show();
      QTRY_COMPARE(Controls(*window).lbWord->count() > 0, true);
    }
    QCOMPARE(seen,
             (QStringList{QStringLiteral("/home/ann/data/Толк.brd"), QStringLiteral(":abc")}));
  }

  void missingResourcePackageEndsTheStart() {
    SampleAppFolder folder;
    std::filesystem::remove(folder.path() / "vrbx.pde");
    TfMain window(folder.path(), {});
    QVERIFY(!window.FormCreate());
    QCOMPARE(g_errors.size(), 1);
    QVERIFY(g_errors.front().contains(QStringLiteral("vrbx.pde")));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
