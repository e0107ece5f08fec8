#include "main/list_fit.h"

#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <cmath>

#include "article/advert.h"
#include "article/replace.h"
#include "htmlview/html_viewer.h"
#include "qtglue/qt_text.h"

namespace verbalon::ui {

namespace {

// Wide enough that its row, not the headword's, the title's or the advertisement's, sets the
// narrowest width of a probe page.
std::string probeItem() {
  return std::string(60, 'M');
}

}  // namespace

std::string probePage(const article::PageTemplates& templates, const StringList& items,
                      size_t columns) {
  const std::string list = article::replaceAll(
      article::replaceAll(joinLines(templates.slTplList), "%%TITLE", ""), "%%COLUMN",
      article::layoutColumns(items, columns, templates.slTplColumn));
  const std::string page =
      article::replaceAll(joinLines(templates.slTplDefault), "%%CONTENT", list);
  // A draw from no records empties the advertisement's placeholders.
  article::Advert none{StringList{}};
  return none.FillAdvert(article::replaceAll(page, "%%WORD", ""));
}

std::optional<ListColumnFit::Measure> ListColumnFit::measure(
    THTMLViewer& view, const article::PageTemplates& templates) {
  // Laid out one pixel wide, a page takes the narrowest width its content allows.
  const std::string item = probeItem();
  const auto narrowest = [&](size_t columns) {
    return view.layOutAside(probePage(templates, StringList(columns, item), columns), 1);
  };
  const std::unique_ptr<QTextDocument> one = narrowest(1);
  const std::unique_ptr<QTextDocument> two = narrowest(2);
  const QTextCursor probe = one->find(toQString(item));
  const qreal step = two->size().width() - one->size().width();
  if (probe.isNull() || step <= 0) {
    return std::nullopt;
  }
  const QFont font = probe.charFormat().font();
  const qreal text = QFontMetricsF(font).horizontalAdvance(toQString(item));
  return Measure{font, static_cast<int>(std::ceil(one->size().width() - step)),
                 static_cast<int>(std::ceil(step - text))};
}

article::ColumnFit ListColumnFit::fitFor(THTMLViewer& view,
                                         const article::PageTemplates& templates) {
  if (!m_measured) {
    m_measure = measure(view, templates);
    m_measured = true;
  }
  if (!m_measure) {
    return {};
  }
  int room = view.viewport()->width() - m_measure->around;
  // A page taller than the view gets the vertical scroll bar, which narrows the view.
  if (!view.verticalScrollBar()->isVisible()) {
    room -= view.verticalScrollBar()->sizeHint().width();
  }
  return {room, [metrics = QFontMetricsF(m_measure->font),
                 beside = m_measure->beside](std::string_view item) {
            const QString text = QTextDocumentFragment::fromHtml(toQString(item)).toPlainText();
            return static_cast<int>(std::ceil(metrics.horizontalAdvance(text))) + beside;
          }};
}

}  // namespace verbalon::ui
