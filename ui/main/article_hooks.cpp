// The article view: the page of the chosen word, built once the choice has rested for the show
// timer's 300 ms; the page's pictures and style sheets from the resource package; links, those
// that look a word up among them; and the Ctrl+click word pick.

#include <QLineEdit>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "article/article_page.h"
#include "common/cp1251.h"
#include "htmlview/html_viewer.h"
#include "import/lookup_link.h"
#include "main/main_window.h"
#include "main/word_pick.h"
#include "qtglue/error_box.h"
#include "qtglue/error_text.h"
#include "qtglue/qt_text.h"
#include "storage/storage.h"

namespace verbalon::ui {

void TfMain::startShowTimer(int32_t word) {
  tmShow->stop();
  m_curWord = word;
  ++m_choices;
  tmShow->start();
}

void TfMain::tmShowTimer() {
  tmShow->stop();
  guarded(this, [&] { ShowArticle(m_curWord); });
}

void TfMain::ShowArticle(int32_t w) {
  const PackedLines& slWord = wordIndex().slWord();
  if (w < 0 || static_cast<size_t>(w) >= slWord.size()) {
    return;
  }
  // "LIST" articles get no more columns than the view shows side by side.
  const article::ColumnFit fit = m_listFit.fitFor(*me, m_session->templates());
  me->LoadFromString(m_session->page(static_cast<size_t>(w), me->width(), true, fit));
  reportBrokenDictionaries();
  ++m_articlesShown;
  // One fragment for every part of the entry.
  const std::string_view entry = wordIndex().slIndex()[static_cast<size_t>(w)];
  m_cntArticles =
      entry.empty() ? 0 : static_cast<int32_t>(std::count(entry.begin(), entry.end(), '|') + 1);
  RefreshStatus();
}

void TfMain::reportBrokenDictionaries() {
  QStringList texts;
  for (const article::BrokenPart& part : m_session->takeNewlyBroken()) {
    const dicts::TDict& dict = wordIndex().Dicts()[part.dict];
    texts << QStringLiteral("Словарь «%1» не может показать статью: %2")
                 .arg(toQString(dict.Title.empty() ? dict.FileName : dict.Title),
                      errorText(part.error));
  }
  if (!texts.isEmpty()) {
    showErrorBox(this, texts.join(QStringLiteral("\n\n")));
  }
}

std::string_view TfMain::meImageRequest(const std::string& source) {
  return m_session->resource(source);
}

std::string_view TfMain::mehtStreamRequest(const std::string& target) {
  return m_session->resource("templates\\" + target);
}

void TfMain::meHotSpotClick(const std::string& url, bool& handled) {
  // Imported dictionaries link their cross-references this way: the word goes where a
  // Ctrl+click on it would put it.
  if (const std::optional<std::string> word = import::lookupWord(url)) {
    handled = true;
    meFind->setText(toQString(*word));
    acFilterExecute();
    return;
  }
  // A dictionary from an unknown source must not open local files or start programs: only web
  // and mail addresses go to the desktop. "#" links stay with the view, which scrolls.
  const std::string lowered = cp1251::toLowerAscii(url);
  for (const char* scheme : {"http:", "https:", "ftp:", "mailto:"}) {
    if (lowered.starts_with(scheme)) {
      openUrl(QUrl(toQString(url)));
      return;
    }
  }
}

void TfMain::meMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers keys, QPoint point) {
  if (button != Qt::LeftButton || !keys.testFlag(Qt::ControlModifier)) {
    return;
  }
  const std::string word = pickWord(me->FindTextPosAt(point), [this](int position, QChar& ch) {
    return me->GetCharAtPos(position, ch);
  });
  meFind->setText(toQString(word));
  acFilterExecute();
}

}  // namespace verbalon::ui
