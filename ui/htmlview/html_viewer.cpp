#include "htmlview/html_viewer.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextDocument>
#include <exception>

#include "qtglue/qt_text.h"

namespace verbalon::ui {

THTMLViewer::THTMLViewer(QWidget* parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, &THTMLViewer::anchorClick);
}

void THTMLViewer::LoadFromString(const std::string& html) {
  m_failed.clear();
  // Resources are cached by the document; a new page asks for them again.
  document()->clear();
  setHtml(toQString(html));
}

QByteArray THTMLViewer::request(const StreamRequest& handler, const std::string& source) {
  if (!handler) return {};
  try {
    const std::string_view bytes = handler(source);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
  } catch (const std::exception& e) {
    m_failed << toQString(source) + QStringLiteral(": ") + errorText(e);
  }
  return {};
}

QVariant THTMLViewer::loadResource(int type, const QUrl& name) {
  // Qt percent-encodes a backslash in the source; the path gives the text back as written.
  const std::string source = fromQString(name.path());
  if (type == QTextDocument::ImageResource) {
    QImage image;
    const QByteArray bytes = request(OnImageRequest, source);
    if (!bytes.isEmpty() && image.loadFromData(bytes)) return image;
    return {};
  }
  if (type == QTextDocument::StyleSheetResource) {
    return QString::fromLatin1(request(OnhtStreamRequest, source));
  }
  return {};
}

void THTMLViewer::anchorClick(const QUrl& url) {
  const QString text = url.toString();
  bool handled = false;
  if (OnHotSpotClick) OnHotSpotClick(fromQString(text), handled);
  if (!handled && text.startsWith(QLatin1Char('#'))) scrollToAnchor(text.mid(1));
}

void THTMLViewer::mouseReleaseEvent(QMouseEvent* event) {
  QTextBrowser::mouseReleaseEvent(event);
  if (OnMouseUp) OnMouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

int THTMLViewer::FindTextPosAt(QPoint clientPoint) const {
  const QPointF point(clientPoint.x() + horizontalScrollBar()->value(),
                      clientPoint.y() + verticalScrollBar()->value());
  return document()->documentLayout()->hitTest(point, Qt::ExactHit);
}

bool THTMLViewer::GetCharAtPos(int pos, QChar& ch) const {
  if (pos < 0 || pos >= document()->characterCount() - 1) return false;
  ch = document()->characterAt(pos);
  return true;
}

}  // namespace verbalon::ui
