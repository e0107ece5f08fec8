#include "htmlview/html_viewer.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextDocument>
#include <exception>

#include "htmlview/detail/page_references.h"
#include "qtglue/error_box.h"
#include "qtglue/qt_text.h"

namespace verbalon::ui {

THTMLViewer::THTMLViewer(QWidget* parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, &THTMLViewer::anchorClick);
}

void THTMLViewer::LoadFromString(const std::string& html) {
  m_references.clear();
  m_keys.clear();
  m_failed.clear();
  const QString page = detail::rewriteReferences(
      toQString(html),
      [this](detail::ReferenceKind kind, const QString& text) { return keyFor(kind, text); });
  setHtml(page);
}

// Keys are absolute URLs of a scheme of their own, so Qt resolves nothing against them and
// hands them back unchanged.
QString THTMLViewer::keyFor(detail::ReferenceKind kind, const QString& text) {
  const QString id = QString::number(static_cast<int>(kind)) + QLatin1Char(':') + text;
  if (const auto known = m_keys.constFind(id); known != m_keys.cend()) {
    return *known;
  }

  Reference reference{text, {}};
  if (kind == detail::ReferenceKind::Image) {
    if (const auto bytes = request(OnImageRequest, text)) {
      QImage image;
      if (image.loadFromData(*bytes)) {
        reference.content = image;
      } else {
        m_failed << text + QStringLiteral(": not a picture in a format the viewer reads");
      }
    }
  } else if (kind == detail::ReferenceKind::StyleSheet) {
    if (const auto bytes = request(OnhtStreamRequest, text)) {
      reference.content =
          toQString(std::string_view(bytes->constData(), static_cast<size_t>(bytes->size())));
    }
  }
  QString key = QStringLiteral("verbalon:%1").arg(m_references.size());
  m_references.insert(key, reference);
  m_keys.insert(id, key);
  return key;
}

std::optional<QByteArray> THTMLViewer::request(const StreamRequest& handler,
                                               const QString& source) {
  if (!handler) {
    return std::nullopt;
  }
  try {
    const std::string_view bytes = handler(fromQString(source));
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
  } catch (const std::exception& e) {
    m_failed << source + QStringLiteral(": ") + errorText(e);
  } catch (...) {
    m_failed << source + QStringLiteral(": unknown error");
  }
  return std::nullopt;
}

QVariant THTMLViewer::loadResource(int /*type*/, const QUrl& name) {
  // Only what LoadFromString fetched: the viewer reads no files and asks for nothing twice.
  return m_references.value(name.toString()).content;
}

void THTMLViewer::anchorClick(const QUrl& url) {
  const auto reference = m_references.constFind(url.toString());
  const QString href = reference != m_references.cend() ? reference->text : url.toString();
  bool handled = false;
  if (OnHotSpotClick && !guarded(this, [&] { OnHotSpotClick(fromQString(href), handled); })) {
    return;
  }
  if (!handled && href.startsWith(QLatin1Char('#'))) {
    scrollToAnchor(href.mid(1));
  }
}

void THTMLViewer::mouseReleaseEvent(QMouseEvent* event) {
  QTextBrowser::mouseReleaseEvent(event);
  if (!OnMouseUp) {
    return;
  }
  guarded(this,
          [&] { OnMouseUp(event->button(), event->modifiers(), event->position().toPoint()); });
}

int THTMLViewer::FindTextPosAt(QPoint clientPoint) const {
  const QPointF point(clientPoint.x() + horizontalScrollBar()->value(),
                      clientPoint.y() + verticalScrollBar()->value());
  return document()->documentLayout()->hitTest(point, Qt::ExactHit);
}

bool THTMLViewer::GetCharAtPos(int pos, QChar& ch) const {
  // The document's last character is the paragraph end that every document has; it is not text.
  if (pos < 0 || pos >= document()->characterCount() - 1) {
    return false;
  }
  ch = document()->characterAt(pos);
  return true;
}

}  // namespace verbalon::ui
