// The arithmetic of the paged word list and the word pick, without a window.

#include <QString>
#include <QTest>

#include "main/word_page.h"
#include "main/word_pick.h"
#include "qtglue/qt_text.h"

using namespace verbalon::ui;

namespace {

// The word picked at the index of the first occurrence of at (plus offset) in text.
QString pick(const QString& text, const QString& at, int offset = 0) {
  const int position = at.isEmpty() ? -1 : static_cast<int>(text.indexOf(at)) + offset;
  const std::string word = pickWord(position, [&](int p, QChar& ch) {
    if (p < 0 || p >= text.size()) return false;
    ch = text.at(p);
    return true;
  });
  return toQString(word);
}

}  // namespace

class WordListLogicTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void pageStartIsClamped() {
    // A list of 100 words with pages of 10 rows, 9 of them whole: the last page starts where
    // the last word stands on the last whole row.
    QCOMPARE(ClampPageStart(-5, 100, 10), 0);
    QCOMPARE(ClampPageStart(90, 100, 10), 90);
    QCOMPARE(ClampPageStart(95, 100, 10), 91);
    QCOMPARE(ClampPageStart(int64_t{1} << 40, 100, 10), 91);
    // Shorter than the whole rows, or empty: the page starts at the first word.
    QCOMPARE(ClampPageStart(3, 9, 10), 0);
    QCOMPARE(ClampPageStart(3, 10, 10), 1);
    QCOMPARE(ClampPageStart(0, 0, 1), 0);
    // A list box lower than a row still shows one word whole at the end.
    QCOMPARE(ClampPageStart(150, 100, 1), 99);
  }

  void rowsCountThePartlyVisibleRow() {
    QCOMPARE(rowsOfPage(100, 16), 7);
    QCOMPARE(rowsOfPage(96, 16), 7);  // an exact multiple still gets the row below
    QCOMPARE(rowsOfPage(0, 16), 1);
    QCOMPARE(wholeRows(7), 6);
    QCOMPARE(wholeRows(1), 1);
  }

  void thumbAndPageMapBothWays() {
    QCOMPARE(lastPageStart(1000, 9), int64_t{991});
    QCOMPARE(lastPageStart(5, 9), int64_t{0});
    QCOMPARE(scrollMax(0), 1);
    QCOMPARE(scrollMax(991), 991);
    // With Max the last page's start both directions are the identity, up to the last page.
    QCOMPARE(thumbToPage(991, 991, 991), int64_t{991});
    QCOMPARE(thumbToPage(1, 0, 1), int64_t{0});  // shorter than a page: the page stays first
    QCOMPARE(pageToThumb(990, 991, 991), 990);
    QCOMPARE(pageToThumb(5, 0, 1), 0);
    // Rounding of the page-to-thumb direction: halves go to the even neighbour.
    QCOMPARE(pageToThumb(1, 2, 1), 0);  // 0.5
    QCOMPARE(pageToThumb(3, 2, 1), 2);  // 1.5
    QCOMPARE(pageToThumb(2, 3, 2), 1);  // 1.33
    // A million-word list does not overflow the products.
    QCOMPARE(thumbToPage(999'990, 999'990, 999'990), int64_t{999'990});
  }

  void pickFindsTheWordUnderTheMouse() {
    const QString text = QStringLiteral("слово (дом), ещё");
    QCOMPARE(pick(text, QStringLiteral("ом")), QStringLiteral("дом"));
    QCOMPARE(pick(text, QStringLiteral("(")), QStringLiteral("дом"));  // delimiter: the next run
    QCOMPARE(pick(text, QStringLiteral("),")), QStringLiteral(""));
    QCOMPARE(pick(QStringLiteral("a b"), QStringLiteral(" ")), QStringLiteral("b"));
    QCOMPARE(pick(QStringLiteral("a, b"), QStringLiteral(",")), QStringLiteral(""));
    QCOMPARE(pick(QStringLiteral("a b"), QString()), QStringLiteral(""));  // over no text
  }

  void pickKeepsHyphensDigitsAndNoBreakSpace() {
    QCOMPARE(pick(QStringLiteral("это кое-что, да"), QStringLiteral("что")),
             QStringLiteral("кое-что"));
    QCOMPARE(pick(QStringLiteral("в 1990-х годах"), QStringLiteral("0")), QStringLiteral("1990-х"));
    QCOMPARE(pick(QStringLiteral("10\u00a0км."), QStringLiteral("км")),
             QString(QStringLiteral("10\u00a0км")));
    // A character the code page lacks ends the word like a delimiter.
    QCOMPARE(pick(QStringLiteral("αβ дом"), QStringLiteral("дом")), QStringLiteral("дом"));
    QCOMPARE(pick(QStringLiteral("до\u4e2dм"), QStringLiteral("до")), QStringLiteral("до"));
  }
};

QTEST_GUILESS_MAIN(WordListLogicTest)
#include "word_list_logic_test.moc"
